#pragma once
// Naming the output files: the source's name (a track's "NN - Title") with
// the format's extension, never the name of a file that exists already.
#include <set>
#include <string>

#include "OutputNames.h"
#include "SourceTrack.h"

// The output names the files of one batch have taken while queued, before
// their files exist (a file is created only when its conversion starts).
// The queueing thread only.
class TNameReservations {
public:
    bool Reserved(const std::string& path) const { return paths_.count(path) != 0; }
    void Reserve(const std::string& path) { paths_.insert(path); }

private:
    std::set<std::string> paths_;
};

// The path with a trailing separator. An empty path stays empty, so that it
// keeps meaning "the current folder" instead of turning into the root.
std::string IncludeBackslash(const std::string& path);

// The name without the extension of its last path component.
std::string StripExtension(const std::string& fileName);

// `name` when it is free in `folder`, else the first free of name(1).ext,
// name(2).ext, … name(32767).ext (each shortened to fit the file system's
// limit, see CounterName); "" when none can be had, with `problem` (when
// given) saying why: every one is taken, or the name is too long for the
// file system, or the folder cannot be examined. A name is taken by anything
// of that name in the folder (also a symbolic link, dangling or not) and by
// `reserved`. The name is never interpreted.
std::string UniqueFileName(const std::string& name, const std::string& folder,
                           const TNameReservations* reserved = nullptr, std::string* problem = nullptr);

// What the output of `source` is named after: the source's name without its
// folder and extension, or, for a track of it, TrackOutputStem. Every name an
// output of the source may get (numbered, temporary, stopped) comes from it.
std::string OutputStem(const std::string& source, const TSourceTrack* track = nullptr);

// The output file of stem `stem` (OutputStem): the stem with the format's
// extension, made unique in `outputDir` against the files that exist there
// now and the names in `reserved`; empty when no name can be had (`problem`
// says why).
std::wstring OutputFileNameFor(const std::string& stem, const std::string& outputDir, int format,
                               const TNameReservations* reserved = nullptr, std::string* problem = nullptr);
// The name OutputFileNameFor numbers: the stem with the format's extension
// in `outputDir`, the stem shortened (FitName) when the name would be too
// long for the file system.
std::wstring PlainOutputFileName(const std::string& stem, const std::string& outputDir, int format);
