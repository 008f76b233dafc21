#pragma once
// The files of a batch: the FILE arguments, then the names of a list file,
// folders searched when asked, and only the files of the batch's shard.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Fnv1a.h"
#include "SourceFiles.h"

// The names in `text`: one per line, or each ended by a NUL byte; bytes kept
// as they are; empty entries skipped.
std::vector<std::string> SplitNameList(const std::string& text, bool nulSeparated);

// What a file is shared out by: its path below the folder it was found
// under, or its name as given. The same file gives the same key on every
// machine that finds it under the same folder, whatever else it finds.
std::string ShardKey(const TSourceFile& file);
// Whether `file` belongs to part `index` (1..count) of `count`.
bool InShard(const TSourceFile& file, int index, int count);

// The files of the batch `options` describes, in order: the arguments, then
// the list's names; folders expanded with -r and cue sheets turned into their
// tracks (ExpandSources), then only the shard's files kept. `notFiles`, when
// given, counts the shard's names of media files found below a folder that
// are no files (ExpandSources). False with `error` (the list and why) when
// the list cannot be read.
bool CollectSources(const TCliOptions& options, std::vector<TSourceFile>& sources, std::string& error,
                    size_t* notFiles = nullptr);

// Whether a file of this name may hold tracks of its own: a format that can
// carry an embedded cue sheet, or with `splitChapters` one that can carry
// chapters. Only such files are opened to look.
bool MayHoldTracks(const std::string& path, bool splitChapters);

// Each whole file of `sources` that holds tracks of its own (EmbeddedTracks:
// an embedded cue sheet, or with `splitChapters` its chapters) is replaced by
// them, in its place; an embedded sheet that cannot be read is told on `err`
// and its file stays whole. Only files MayHoldTracks accepts are opened, one
// at a time, and nothing of them is kept but their tracks. Needs the libraries
// loaded; stops early (what is left stays whole) when a stop is asked for.
void ExpandEmbeddedTracks(std::vector<TSourceFile>& sources, bool splitChapters, std::ostream& err);
