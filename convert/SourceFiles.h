#pragma once
// The files a batch is given: single files as named, and folders searched for
// the media files below them. Each file remembers the folder it was found
// under, so that its output can be written to the same place below the output
// folder.
#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "SourceTrack.h"

// The extensions, lower case with their dot, that the converter reads: the
// ones of video containers and the ones of audio files. A folder is searched
// for these; the add dialog's filter and the drop filter take the same.
const std::vector<std::string>& VideoExtensions();
const std::vector<std::string>& AudioExtensions();

// Whether the extension of the last path component, ASCII letters folded, is
// one of VideoExtensions or AudioExtensions, or names a cue sheet (".cue"),
// which stands for the tracks of its image. A name without an extension
// never is.
bool IsSupportedExtension(const std::string& fileName);

// The extension of the last path component with its dot, ASCII letters
// folded to lower case; "" when it has none.
std::string LowerExtension(const std::string& path);

struct TSourceFile {
    std::string Path;  // byte for byte, as named or as found
    // The folder it was found under, as named, without a trailing separator;
    // "" for a file named by itself.
    std::string Root;
    // A track of the image at Path (its sheet's or chapter's), converted on
    // its own; none for a file converted whole.
    std::optional<TSourceTrack> Track = {};
    // Set when the name was meant to give files to convert but gives none:
    // a cue sheet that cannot be read, or whose FILE is not there. Path is
    // then the sheet, and this the line that tells the user why, in the
    // program's words; such an entry is reported, never opened.
    std::string Problem = {};
};

// The folder of `file` relative to its root, with a trailing separator: ""
// for a file named by itself or lying directly in its root, "a/b/" for
// Root/a/b/song.mp3.
std::string RelativeFolder(const TSourceFile& file);

// Where the output of `file` goes when the folder structure is kept: the
// output folder followed by RelativeFolder(file).
std::string MirroredFolder(const TSourceFile& file, const std::string& outputFolder);

// Turns names into source files, in the order given. A folder (when
// `searchFolders`) becomes every regular file (or link to one) below it, at
// any depth, whose extension IsSupportedExtension accepts, sorted by path; a
// folder reached twice (a symbolic link back up the tree, or to a folder
// already searched) is searched only once, so a link loop ends. Pipes,
// sockets, devices and dangling links of such names below a folder are left
// out, and added to `notFiles` when given. Other names, and folders when
// not `searchFolders`, stay as named: whoever opens them reports what is
// wrong. Folders that cannot be read are skipped. `stop`, when set, ends the
// search early with what was found so far.
//
// A cue sheet, named or found, becomes its tracks in its place: one entry
// per track, whose Path is the image it is cut from, with Track set and the
// sheet's Root. In a folder search an image that a sheet found there names
// is taken once, as the tracks of the first such sheet in path order, and
// not again whole or as another sheet's tracks; an image named by itself is
// converted whole. A sheet that gives no tracks, or names a FILE that is not
// there, gives an entry with its Problem set, in its place (after the tracks
// it did give).
std::vector<TSourceFile> ExpandSources(const std::vector<std::string>& names, bool searchFolders,
                                       const std::atomic<bool>* stop = nullptr,
                                       std::vector<TSourceFile>* notFiles = nullptr);
