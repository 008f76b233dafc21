#include "FlacCueSheet.h"

#include <cstdint>
#include <fstream>

namespace {

constexpr int StreamInfoBlock = 0;
constexpr int CueSheetBlock = 5;
// The CUESHEET block's fixed part: catalogue (128), lead-in (8), flags and
// reserved (1 + 258), track count (1); a track's: offset (8), number (1),
// ISRC (12), flags and reserved (1 + 13), index count (1); an index's:
// offset (8), number (1), reserved (3).
constexpr size_t SheetHead = 396, TrackHead = 36, IndexSize = 12;
// Sheets of 99 tracks with a few indexes each are a few kilobytes.
constexpr uint32_t MaxSheetBlock = 1 << 20;
constexpr uint32_t MaxStreamInfoBlock = 1024;  // 34 bytes, as every FLAC file writes it

uint64_t BigEndian(const std::string& bytes, size_t at, size_t count) {
    uint64_t value = 0;
    for (size_t i = 0; i < count; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

// Moves `in` past an ID3v2 tag some writers put before the FLAC marker.
void SkipId3(std::ifstream& in) {
    char head[10];
    if (!in.read(head, sizeof head) || std::string(head, 3) != "ID3") {
        in.clear();
        in.seekg(0);
        return;
    }
    uint64_t size = 0;
    for (int i = 6; i < 10; ++i) size = size << 7 | (static_cast<uint8_t>(head[i]) & 0x7F);
    const bool footer = (static_cast<uint8_t>(head[5]) & 0x10) != 0;
    in.seekg(static_cast<std::streamoff>(10 + size + (footer ? 10 : 0)));
}

struct TSheetTrack {
    uint64_t Start = 0;  // INDEX 01 (else its first), samples
    bool Audio = true;
    bool LeadOut = false;
};

std::vector<TSheetTrack> SheetTracks(const std::string& block) {
    std::vector<TSheetTrack> tracks;
    if (block.size() < SheetHead) return {};
    const bool cd = (static_cast<uint8_t>(block[136]) & 0x80) != 0;
    const size_t count = static_cast<uint8_t>(block[SheetHead - 1]);
    size_t at = SheetHead;
    for (size_t t = 0; t < count; ++t) {
        if (at + TrackHead > block.size()) return {};
        const uint64_t offset = BigEndian(block, at, 8);
        const int number = static_cast<uint8_t>(block[at + 8]);
        TSheetTrack track;
        track.Audio = (static_cast<uint8_t>(block[at + 21]) & 0x80) == 0;
        track.LeadOut = number == (cd ? 170 : 255);
        const size_t indexes = static_cast<uint8_t>(block[at + TrackHead - 1]);
        at += TrackHead;
        if (at + indexes * IndexSize > block.size()) return {};
        bool started = false;
        for (size_t i = 0; i < indexes; ++i, at += IndexSize) {
            const uint64_t point = offset + BigEndian(block, at, 8);
            const int index = static_cast<uint8_t>(block[at + 8]);
            if (!started || index == 1) track.Start = point;
            started = started || index == 1;
        }
        if (indexes == 0) track.Start = offset;
        tracks.push_back(track);
    }
    return tracks;
}

} // namespace

std::vector<TChapterInfo> FlacCueSheetChapters(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    SkipId3(in);
    char marker[4];
    if (!in.read(marker, 4) || std::string(marker, 4) != "fLaC") return {};
    int rate = 0;
    std::string sheet;
    for (bool last = false; !last && in;) {
        char head[4];
        if (!in.read(head, 4)) break;
        last = (static_cast<uint8_t>(head[0]) & 0x80) != 0;
        const int type = static_cast<uint8_t>(head[0]) & 0x7F;
        const auto size = static_cast<uint32_t>(BigEndian(std::string(head, 4), 1, 3));
        const bool wanted =
            (type == StreamInfoBlock && size <= MaxStreamInfoBlock) || (type == CueSheetBlock && size <= MaxSheetBlock);
        if (wanted) {
            std::string block(size, '\0');
            if (!in.read(block.data(), size)) break;
            if (type == StreamInfoBlock && size >= 13) rate = static_cast<int>(BigEndian(block, 10, 3) >> 4);
            if (type == CueSheetBlock) sheet = std::move(block);
        } else {
            in.seekg(size, std::ios::cur);
        }
    }
    if (rate <= 0 || sheet.empty()) return {};
    const std::vector<TSheetTrack> tracks = SheetTracks(sheet);
    std::vector<TChapterInfo> chapters;
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i].LeadOut || !tracks[i].Audio) continue;
        TChapterInfo chapter;
        chapter.Start = static_cast<int64_t>(tracks[i].Start);
        chapter.End = i + 1 < tracks.size() ? static_cast<int64_t>(tracks[i + 1].Start) : chapter.Start;
        chapter.TimeBaseNum = 1;
        chapter.TimeBaseDen = rate;
        chapters.push_back(chapter);
    }
    return chapters;
}
