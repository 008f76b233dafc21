#include "CueSheet.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "OutputNaming.h"
#include "SheetText.h"
#include "SourceFiles.h"
#include "TextEncoding.h"

extern "C" {
#include <libcue.h>
}

namespace {

// Sheets are a few kilobytes; anything this large is some other file.
constexpr off_t MaxSheetBytes = 4 << 20;

// What the sheet says of one track, before its file is looked for.
struct TParsedTrack {
    int Number = 0;
    std::string File;  // as the sheet names it
    long Start = 0;    // INDEX 01, CD frames from the start of its file
    std::string Title, Performer;
};

struct TParsedSheet {
    bool Parsed = false;
    int Total = 0;
    int NoStart = 0;  // the first track without an INDEX 01
    std::string Title, Performer, Date;
    std::vector<TParsedTrack> Tracks;
};

// libcue's parser keeps its state in globals: one sheet at a time.
std::mutex& ParserLock() {
    static std::mutex lock;
    return lock;
}

struct TCdDeleter {
    void operator()(Cd* cd) const { cd_delete(cd); }
};

std::string Text(const char* text) { return text ? text : ""; }

TParsedSheet ParseSheet(const TPreparedSheet& prepared) {
    TParsedSheet sheet;
    // Nothing to read (and no complaint of the parser's on the terminal).
    if (prepared.TrackFiles.empty()) return sheet;
    std::lock_guard<std::mutex> hold(ParserLock());
    const std::unique_ptr<Cd, TCdDeleter> cd(cue_parse_string(prepared.Text.c_str()));
    if (!cd) return sheet;
    sheet.Parsed = true;
    const Cdtext* album = cd_get_cdtext(cd.get());
    sheet.Title = Text(cdtext_get(PTI_TITLE, album));
    sheet.Performer = Text(cdtext_get(PTI_PERFORMER, album));
    sheet.Date = Text(rem_get(REM_DATE, cd_get_rem(cd.get())));
    const int count = cd_get_ntrack(cd.get());
    const bool ownFiles = static_cast<int>(prepared.TrackFiles.size()) == count;
    for (int i = 1; i <= count; ++i) {
        const Track* track = cd_get_track(cd.get(), i);
        // The data track of a CD that also holds programs is no sound.
        if (!track || track_get_mode(track) != MODE_AUDIO) continue;
        ++sheet.Total;
        // libcue's own start and length leave the pregaps out; the program
        // measures from the indexes.
        const long start = track_get_index(track, 1);
        if (start < 0) {
            if (!sheet.NoStart) sheet.NoStart = i;
            continue;
        }
        const Cdtext* cdtext = track_get_cdtext(track);
        const std::string file = ownFiles ? prepared.TrackFiles[i - 1] : Text(track_get_filename(track));
        sheet.Tracks.push_back({i, file, start, Text(cdtext_get(PTI_TITLE, cdtext)),
                                Text(cdtext_get(PTI_PERFORMER, cdtext))});
    }
    return sheet;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

std::string LastComponent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The names in `folder` ("" the current one), sorted, so that a choice
// between names that fit alike falls the same way every time.
std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, TDirCloser> dir(::opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The file beside the sheet that a FILE line names: the name itself, else a
// name that differs from it only in the case of its letters, else a media
// file of the same stem (rippers rename "album.wav" to "album.flac" once it is
// compressed, and leave the sheet as it was). Names on disk written in a
// legacy encoding count as they would decode. "" when none is there.
class TImageFinder {
public:
    explicit TImageFinder(std::string folder) : folder_(std::move(folder)) {}

    std::string Find(std::string named) {
        if (named.empty()) return {};
        // Sheets written on other systems separate folders with backslashes.
        std::replace(named.begin(), named.end(), '\\', '/');
        if (named.front() != '/' && IsRegularFile(folder_ + named)) return folder_ + named;
        if (named.front() == '/' && IsRegularFile(named)) return named;
        const std::string wanted = LowerAscii(LastComponent(named));
        if (!listed_) {
            names_ = FolderNames(folder_);
            listed_ = true;
        }
        for (const std::string& name : names_)
            if (SameName(name, wanted) && IsRegularFile(folder_ + name)) return folder_ + name;
        const std::string stem = StripExtension(wanted);
        for (const std::string& name : names_) {
            if (IsCueSheetName(name) || !IsSupportedExtension(name)) continue;
            if (SameName(StripExtension(name), stem) && IsRegularFile(folder_ + name)) return folder_ + name;
        }
        return {};
    }

private:
    static bool SameName(const std::string& onDisk, const std::string& wantedLower) {
        return LowerAscii(onDisk) == wantedLower || LowerAscii(LegacyTextToUtf8(onDisk)) == wantedLower;
    }

    std::string folder_;
    bool listed_ = false;
    std::vector<std::string> names_;
};

// The program's tracks from what the sheet said. A track runs to the next
// track's INDEX 01 when that is in the same file (`oneFile`: every track is),
// else to the end of its file. `cannot` begins the text of a sheet that
// gives no tracks.
TCueSheet SheetTracks(const TParsedSheet& parsed, const TSheetRemarks& remarks, bool oneFile,
                      const std::function<std::string(const std::string&)>& imageOf, const std::string& cannot) {
    TCueSheet sheet;
    if (!parsed.Parsed || parsed.Total == 0) {
        sheet.Error = cannot + ": it describes no tracks";
        return sheet;
    }
    if (parsed.NoStart) {
        sheet.Error = cannot + ": its track " + std::to_string(parsed.NoStart) + " has no INDEX 01";
        return sheet;
    }
    std::vector<std::string> missing;
    for (size_t i = 0; i < parsed.Tracks.size(); ++i) {
        const TParsedTrack& t = parsed.Tracks[i];
        const TParsedTrack* next = i + 1 < parsed.Tracks.size() ? &parsed.Tracks[i + 1] : nullptr;
        if (next && !oneFile && next->File != t.File) next = nullptr;
        if (next && next->Start <= t.Start) {
            sheet.Tracks.clear();
            sheet.Images.clear();
            sheet.Error = cannot + ": its track " + std::to_string(next->Number) + " starts before the one before it";
            return sheet;
        }
        const std::string image = imageOf(t.File);
        if (image.empty()) {
            if (std::find(missing.begin(), missing.end(), t.File) == missing.end()) missing.push_back(t.File);
            continue;
        }
        if (std::find(sheet.Images.begin(), sheet.Images.end(), image) == sheet.Images.end())
            sheet.Images.push_back(image);
        TSourceTrack track;
        track.Cut.Start = t.Start;
        track.Cut.Length = next ? next->Start - t.Start : -1;
        track.Number = t.Number;
        track.Total = parsed.Total;
        track.Disc = remarks.Disc;
        track.DiscTotal = remarks.DiscTotal;
        track.Title = t.Title;
        track.Performer = t.Performer.empty() ? parsed.Performer : t.Performer;
        track.Album = parsed.Title;
        track.AlbumArtist = parsed.Performer;
        track.Date = parsed.Date;
        track.Genre = remarks.Genre;
        track.Comment = remarks.Comment;
        sheet.Tracks.push_back({image, std::move(track)});
    }
    if (!missing.empty()) {
        std::string names;
        for (const std::string& name : missing) names += (names.empty() ? "" : ", ") + name;
        sheet.Error = missing.size() == 1 ? "The cue sheet names a file that is not there: " + names
                                          : "The cue sheet names files that are not there: " + names;
    }
    return sheet;
}

// The bytes of the file at `path`, or false with `problem` saying why not.
bool ReadSheetFile(const std::string& path, std::string& bytes, std::string& problem) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode)) {
        problem = "it is no file";
        ok = false;
    } else if (ok && st.st_size > MaxSheetBytes) {
        problem = "it is far larger than a cue sheet";
        ok = false;
    }
    char buffer[65536];
    while (ok && bytes.size() <= static_cast<size_t>(MaxSheetBytes)) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            problem = std::strerror(errno);
            ok = false;
        }
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok;
}

} // namespace

bool IsCueSheetName(const std::string& path) {
    return LowerExtension(path) == ".cue";
}

TCueSheet ReadCueSheet(const std::string& path) {
    std::string bytes, problem;
    if (!ReadSheetFile(path, bytes, problem)) {
        TCueSheet sheet;
        sheet.Error = "The cue sheet cannot be read: " + path + ": " + problem;
        return sheet;
    }
    const TPreparedSheet prepared = PrepareSheet(SheetTextToUtf8(bytes));
    TImageFinder finder(FolderOf(path));
    return SheetTracks(ParseSheet(prepared), prepared.Remarks, false,
                       [&](const std::string& named) { return finder.Find(named); },
                       "The cue sheet cannot be read: " + path);
}

TCueSheet ReadEmbeddedCueSheet(const std::string& text, const std::string& image) {
    const TPreparedSheet prepared = PrepareSheet(SheetTextToUtf8(text));
    return SheetTracks(ParseSheet(prepared), prepared.Remarks, true,
                       [&](const std::string&) { return image; },
                       "The cue sheet in " + image + " cannot be read");
}
