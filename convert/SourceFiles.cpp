#include "SourceFiles.h"

#include <algorithm>
#include <dirent.h>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <utility>

#include "CueSheet.h"

namespace {

using TFolderId = std::pair<dev_t, ino_t>;
using TFileId = TFolderId;  // a file is told by the same two numbers

bool FileIdOf(const std::string& path, TFileId& id) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

bool IsFolder(const std::string& path, TFolderId* id = nullptr) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (id) *id = {st.st_dev, st.st_ino};
    return true;
}

bool IsLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// What a search found: the supported files, and how many more had a
// supported name but were no file (a pipe, a socket, a device, a dangling
// link).
struct TSearch {
    std::set<TFolderId> visited;  // every folder searched so far
    std::vector<std::string> found;
    std::vector<std::string> notFiles;
    const std::atomic<bool>* stop = nullptr;
};

// Collects the supported files below `folder` into `search`.
void SearchFolder(const std::string& folder, TSearch& search) {
    TFolderId id;
    if (!IsFolder(folder, &id) || !search.visited.insert(id).second) return;
    std::unique_ptr<DIR, TDirCloser> dir(::opendir(folder.c_str()));
    if (!dir) return;
    const std::string prefix = folder == "/" ? folder : folder + "/";
    // Folders reached through a link are searched after the real ones, so
    // that a folder linked from elsewhere in the tree is found where it is.
    std::vector<std::string> subfolders, linkedFolders;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (search.stop && search.stop->load()) return;
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = prefix + name;
        struct stat st {};
        const bool exists = ::stat(path.c_str(), &st) == 0;
        if (exists && S_ISDIR(st.st_mode)) {
            (IsLink(path) ? linkedFolders : subfolders).push_back(path);
        } else if (IsSupportedExtension(name)) {
            // Only files can be converted; anything else of such a name
            // would block the probe or fail, and is no reason to.
            if (exists && S_ISREG(st.st_mode))
                search.found.push_back(path);
            else
                search.notFiles.push_back(path);
        }
    }
    dir.reset();
    std::sort(subfolders.begin(), subfolders.end());
    std::sort(linkedFolders.begin(), linkedFolders.end());
    for (const auto* list : {&subfolders, &linkedFolders})
        for (const std::string& sub : *list) SearchFolder(sub, search);
}

// The tracks of `sheet` as source files under `root`, those of the images
// `ownImage` accepts (all without it), then the entry that tells what is
// wrong with the sheet, if anything.
template <typename TAccept>
void AddSheetTracks(const std::string& path, const TCueSheet& sheet, const std::string& root,
                    std::vector<TSourceFile>& sources, TAccept ownImage) {
    for (const TSheetTrack& track : sheet.Tracks)
        if (ownImage(track.Image)) sources.push_back({track.Image, root, track.Track, {}});
    if (!sheet.Error.empty()) sources.push_back({path, root, std::nullopt, sheet.Error});
}

// The files a folder search found, in path order, with its sheets turned
// into their tracks: each image a sheet names goes to the first sheet (in
// path order) that names it, and is not taken whole as well.
void AddFound(std::vector<std::string>& found, const std::string& root, std::vector<TSourceFile>& sources) {
    std::map<size_t, TCueSheet> sheets;
    std::map<TFileId, size_t> owner;  // image -> the sheet that takes it
    for (size_t i = 0; i < found.size(); ++i) {
        if (!IsCueSheetName(found[i])) continue;
        TCueSheet& sheet = sheets[i] = ReadCueSheet(found[i]);
        for (const TSheetTrack& track : sheet.Tracks) {
            TFileId id;
            if (FileIdOf(track.Image, id)) owner.emplace(id, i);
        }
    }
    for (size_t i = 0; i < found.size(); ++i) {
        const auto sheet = sheets.find(i);
        if (sheet != sheets.end()) {
            AddSheetTracks(found[i], sheet->second, root, sources, [&](const std::string& image) {
                TFileId id;
                if (!FileIdOf(image, id)) return true;
                const auto taker = owner.find(id);
                return taker == owner.end() || taker->second == i;
            });
            continue;
        }
        TFileId id;
        if (FileIdOf(found[i], id) && owner.count(id)) continue;
        sources.push_back({std::move(found[i]), root, std::nullopt, {}});
    }
}

} // namespace

const std::vector<std::string>& VideoExtensions() {
    static const std::vector<std::string> extensions = {
        ".avi", ".avm", ".asf", ".wmv", ".avs", ".flv", ".mkv", ".mov", ".3gp",  ".mp4", ".mpg", ".mpeg", ".dat",
        ".ogm", ".vob", ".rm",  ".rmvb", ".ts", ".tp",  ".ifo", ".nsv", ".swf", ".webm", ".mts", ".m2ts",
    };
    return extensions;
}

const std::vector<std::string>& AudioExtensions() {
    static const std::vector<std::string> extensions = {
        ".mp3", ".aac", ".wav", ".wma", ".cda", ".flac", ".m4a", ".mid", ".mka", ".mp2",  ".mpa", ".mpc", ".ape",
        ".ofr", ".ogg", ".ra",  ".wv",  ".tta", ".ac3",  ".dts", ".opus", ".oga", ".aif", ".aiff", ".m4b", ".caf",
    };
    return extensions;
}

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot);
    // Only ASCII letters are folded: every extension the program knows is plain ASCII.
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

bool IsSupportedExtension(const std::string& fileName) {
    const std::string extension = LowerExtension(fileName);
    if (extension.empty()) return false;
    for (const auto* list : {&VideoExtensions(), &AudioExtensions()})
        if (std::find(list->begin(), list->end(), extension) != list->end()) return true;
    return extension == ".cue";
}

std::string RelativeFolder(const TSourceFile& file) {
    if (file.Root.empty()) return {};
    const std::string prefix = file.Root == "/" ? file.Root : file.Root + "/";
    if (file.Path.compare(0, prefix.size(), prefix) != 0) return {};
    const size_t slash = file.Path.rfind('/');
    if (slash == std::string::npos || slash < prefix.size()) return {};
    return file.Path.substr(prefix.size(), slash + 1 - prefix.size());
}

std::string MirroredFolder(const TSourceFile& file, const std::string& outputFolder) {
    std::string folder = outputFolder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + RelativeFolder(file);
}

std::vector<TSourceFile> ExpandSources(const std::vector<std::string>& names, bool searchFolders,
                                       const std::atomic<bool>* stop, std::vector<TSourceFile>* notFiles) {
    std::vector<TSourceFile> sources;
    TSearch search;
    search.stop = stop;
    for (const std::string& name : names) {
        if (stop && stop->load()) break;
        if (!searchFolders || !IsFolder(name)) {
            if (IsCueSheetName(name) && !IsFolder(name))
                AddSheetTracks(name, ReadCueSheet(name), {}, sources, [](const std::string&) { return true; });
            else
                sources.push_back({name, {}, std::nullopt, {}});
            continue;
        }
        const std::string root = WithoutTrailingSeparators(name);
        search.found.clear();
        search.notFiles.clear();
        SearchFolder(root, search);
        std::sort(search.found.begin(), search.found.end());
        AddFound(search.found, root, sources);
        if (notFiles)
            for (std::string& path : search.notFiles) notFiles->push_back({std::move(path), root, std::nullopt, {}});
    }
    return sources;
}
