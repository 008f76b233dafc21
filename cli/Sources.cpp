#include "Sources.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <unistd.h>

#include "EmbeddedTracks.h"
#include "FFDecode.h"
#include "StopSignals.h"
#include "UnicodeProtocol.h"

namespace {

// The whole content of the file `name` ("-": standard input); false with
// errno set.
bool ReadAll(const std::string& name, std::string& text) {
    const int fd = name == "-" ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (got > 0) {
            text.append(buffer, static_cast<size_t>(got));
        } else if (errno != EINTR || StopRequested()) {
            break;
        }
    }
    const int code = errno;
    if (fd != STDIN_FILENO) ::close(fd);
    errno = code;
    return got == 0;
}

bool OneOf(const std::string& extension, std::initializer_list<const char*> list) {
    return std::any_of(list.begin(), list.end(), [&](const char* e) { return extension == e; });
}

} // namespace

std::vector<std::string> SplitNameList(const std::string& text, bool nulSeparated) {
    const char separator = nulSeparated ? '\0' : '\n';
    std::vector<std::string> names;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (end > start) names.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string ShardKey(const TSourceFile& file) {
    if (file.Root.empty()) return file.Path;
    const size_t prefix = file.Root == "/" ? 1 : file.Root.size() + 1;
    return file.Path.size() > prefix ? file.Path.substr(prefix) : file.Path;
}

bool InShard(const TSourceFile& file, int index, int count) {
    return count <= 1 || Fnv1a64(ShardKey(file)) % static_cast<uint64_t>(count) == static_cast<uint64_t>(index - 1);
}

bool CollectSources(const TCliOptions& options, std::vector<TSourceFile>& sources, std::string& error,
                    size_t* notFiles) {
    std::vector<std::string> names = options.Files;
    if (!options.FilesFrom.empty()) {
        std::string text;
        if (!ReadAll(options.FilesFrom, text)) {
            const std::string shown = options.FilesFrom == "-" ? "standard input" : ShownName(options.FilesFrom);
            error = "--files-from: cannot read " + shown + ": " + std::strerror(errno);
            return false;
        }
        for (std::string& name : SplitNameList(text, options.NulSeparated)) names.push_back(std::move(name));
    }
    sources.clear();
    std::vector<TSourceFile> others;
    for (TSourceFile& file : ExpandSources(names, options.Recursive, &StopFlag(), &others))
        if (InShard(file, options.ShardIndex, options.ShardCount)) sources.push_back(std::move(file));
    if (notFiles) {
        // Counted where they would have gone, so that the shards of a batch
        // add up.
        *notFiles = 0;
        for (const TSourceFile& file : others) *notFiles += InShard(file, options.ShardIndex, options.ShardCount);
    }
    return true;
}

bool MayHoldTracks(const std::string& path, bool splitChapters) {
    const std::string extension = LowerExtension(path);
    // A cue sheet is embedded in a FLAC file (its CUESHEET block or a tag)
    // or in APE tags.
    if (OneOf(extension, {".flac", ".ape", ".wv", ".tta"})) return true;
    return splitChapters && OneOf(extension, {".m4b", ".m4a", ".mp4", ".mov", ".3gp", ".mka", ".mkv", ".webm",
                                              ".ogg", ".oga", ".opus", ".mp3"});
}

void ExpandEmbeddedTracks(std::vector<TSourceFile>& sources, bool splitChapters, std::ostream& err) {
    TFFDecoder probe;
    TStopCheck stopCheck;
    // Most files hold no tracks: the list is only made anew from the first
    // one that does.
    std::vector<TSourceFile> expanded;
    bool changed = false;
    for (size_t i = 0; i < sources.size(); ++i) {
        TSourceFile& file = sources[i];
        std::vector<TSourceTrack> tracks;
        // A file that cannot be opened here stays whole: its conversion
        // reports why.
        if (!file.Track && file.Problem.empty() && !StopRequested() && MayHoldTracks(file.Path, splitChapters) &&
            probe.LoadFile(Utf8ToWide(file.Path))) {
            std::string problem;
            tracks = EmbeddedTracks(file.Path, probe, splitChapters, &problem);
            probe.CloseFile();
            if (!problem.empty()) err << ShownName(problem) << "\n" << std::flush;
        }
        if (tracks.empty()) {
            if (changed) expanded.push_back(std::move(file));
            continue;
        }
        if (!changed) {
            expanded.reserve(sources.size() + tracks.size());
            std::move(sources.begin(), sources.begin() + static_cast<std::ptrdiff_t>(i), std::back_inserter(expanded));
            changed = true;
        }
        for (TSourceTrack& track : tracks) expanded.push_back({file.Path, file.Root, std::move(track), {}});
    }
    if (changed) sources = std::move(expanded);
}
