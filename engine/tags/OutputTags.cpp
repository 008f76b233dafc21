// The tags of an output: gathered from what the metadata maps and the
// automatic copy put into it, written under the names its container's
// readers use, the encoder named as this program, and the ID3 tags the
// library's muxers do not write (or not as players read them).
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "FFLog.h"
#include "CoverArt.h"
#include "Id3Tag.h"
#include "OutputMux.h"
#include "UserTags.h"

namespace {

// Reads the finished file beside the muxer's own handle, which only writes.
class TFileReader {
public:
    explicit TFileReader(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~TFileReader() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFileReader(const TFileReader&) = delete;
    TFileReader& operator=(const TFileReader&) = delete;
    bool Read(int64_t pos, void* buf, size_t size) const {
        return fd_ >= 0 && ::pread(fd_, buf, size, pos) == static_cast<ssize_t>(size);
    }

private:
    int fd_;
};

void SetEntries(AVDictionary** dict, const std::vector<std::pair<std::string, std::string>>& entries) {
    for (const auto& [key, value] : entries) ff::av_dict_set(dict, key.c_str(), value.c_str(), 0);
}

// Keeps of `dict` only what `keep` accepts.
template <typename Keep>
void Filter(AVDictionary** dict, Keep keep) {
    AVDictionary* kept = nullptr;
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = ff::av_dict_get(*dict, "", entry, AV_DICT_IGNORE_SUFFIX)))
        if (keep(std::string(entry->key))) ff::av_dict_set(&kept, entry->key, entry->value, 0);
    ff::av_dict_free(dict);
    *dict = kept;
}

std::string LittleEndian(uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

bool Seekable(const AVFormatContext* oc) { return oc->pb && (oc->pb->seekable & AVIO_SEEKABLE_NORMAL); }

void WriteAt(AVIOContext* pb, int64_t pos, const std::string& bytes) {
    ff::avio_seek(pb, pos, SEEK_SET);
    ff::avio_write(pb, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
}

// The MP3 muxer's tag holds its own frames (the pictures), then the padding
// it was asked to leave: `frames` go there. The problem, or "".
std::string FillId3Padding(AVIOContext* pb, const TFileReader& reader, const std::string& frames) {
    unsigned char header[10];
    const size_t end = reader.Read(0, header, sizeof header) ? Id3v2TagSize(header) : 0;
    if (end == 0) return "the muxer wrote no ID3 tag";
    size_t pos = 10;
    unsigned char frame[10];
    while (pos + 10 <= end && reader.Read(static_cast<int64_t>(pos), frame, sizeof frame) && frame[0] != 0)
        pos += 10 + Id3v2Syncsafe(frame + 4);
    if (pos + frames.size() > end) return "no room for the tags in its ID3 tag";
    WriteAt(pb, static_cast<int64_t>(pos), frames);
    return {};
}

// A WAV file takes the tag as an "id3 " chunk after its others; the RIFF
// size (in the ds64 chunk of an RF64 file) grows by it. The problem, or "".
std::string AppendId3Chunk(AVIOContext* pb, const TFileReader& reader, const std::string& frames) {
    unsigned char header[12];
    if (!reader.Read(0, header, sizeof header)) return "its header cannot be read";
    const bool rf64 = std::memcmp(header, "RF64", 4) == 0;
    if ((!rf64 && std::memcmp(header, "RIFF", 4) != 0) || std::memcmp(header + 8, "WAVE", 4) != 0)
        return "no RIFF header for the ID3 chunk";
    int64_t size = ff::avio_size(pb);
    const std::string tag = Id3v2Tag(frames, 0);
    // Chunks start at even positions.
    std::string chunk = size % 2 ? std::string(1, '\0') : std::string();
    chunk += "id3 " + LittleEndian(tag.size(), 4) + tag;
    if (tag.size() % 2) chunk.push_back('\0');
    if (size < 12 || (!rf64 && size + static_cast<int64_t>(chunk.size()) - 8 > UINT32_MAX))
        return "no room for an ID3 chunk";
    WriteAt(pb, size, chunk);
    size += static_cast<int64_t>(chunk.size());
    WriteAt(pb, rf64 ? 20 : 4, LittleEndian(size - 8, rf64 ? 8 : 4));
    return {};
}

} // namespace

void TOutputMux::PlaceTags() {
    AVFormatContext* oc = oc_;
    const TTagStyle style = TagStyleOf(oc->oformat->name);
    TUserTags tags;
    GatherUserTags(oc->metadata, tags);

    Filter(&oc->metadata, [&](const std::string& key) { return key == "creation_time" && style != TTagStyle::Id3; });
    SetEntries(&oc->metadata, ContainerEntries(tags, style));
    for (unsigned i = 0; i < oc->nb_streams; ++i) {
        // An audio file's tags are the file's; its audio stream keeps its
        // language and the Ogg cover comment. Other streams (a cover's
        // picture) keep what describes them.
        const bool audioFile =
            style != TTagStyle::Generic && oc->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
        Filter(&oc->streams[i]->metadata,
               [&](const std::string& key) {
                   return audioFile ? key == "language" || key == "METADATA_BLOCK_PICTURE" : !IsContainerKey(key);
               });
    }
    if (style == TTagStyle::Vorbis) {
        // The Ogg muxer takes the encoder from the stream before the file's
        // (which the library names as itself) and has written its comments
        // before the header.
        for (unsigned i = 0; i < oc->nb_streams; ++i)
            ff::av_dict_set(&oc->streams[i]->metadata, "encoder", ProgramEncoderName().c_str(), 0);
    }
    if (style == TTagStyle::Id3 || style == TTagStyle::Riff) {
        pendingId3Frames_ = Id3v2Frames(tags, ProgramEncoderName());
        // The MP3 muxer writes a tag of its own (with the pictures): ours goes
        // into its padding. Its Info header keeps the library's short name:
        // readers trust the gapless figures there only under that name.
        if (std::string(oc->oformat->name) == "mp3")
            oc->metadata_header_padding = static_cast<int>(pendingId3Frames_.size());
    }
}

void TOutputMux::NameEncoder() {
    AVFormatContext* oc = oc_;
    // The muxer's set-up has named the library as the encoder.
    const TTagStyle style = TagStyleOf(oc->oformat->name);
    ff::av_dict_set(&oc->metadata, "encoder", style == TTagStyle::Id3 ? nullptr : ProgramEncoderName().c_str(), 0);
    // MP4 files name it as their encoding tool.
    const std::string name = oc->oformat->name;
    if (name == "mp4" || name == "ipod" || name == "mov")
        ff::av_dict_set(&oc->metadata, "encoding_tool", ProgramEncoderName().c_str(), 0);
    if (style == TTagStyle::Id3 && name != "mp3" && oc->pb) {
        // Raw streams (MP2, AAC) take the tag in front of their first frame,
        // with the cover in it: readers look at the first tag only.
        std::string frames = pendingId3Frames_;
        if (cover_ && cover_->Carrier == ccId3Tag) {
            const std::vector<uint8_t> frame = Id3v2PictureFrame(cover_->Picture);
            frames.append(frame.begin(), frame.end());
            cover_->Carrier = ccNone;  // it travels in this tag
        }
        const std::string tag = Id3v2Tag(frames, 0);
        ff::avio_write(oc->pb, reinterpret_cast<const unsigned char*>(tag.data()), static_cast<int>(tag.size()));
        pendingId3Frames_.clear();
    }
}

void TOutputMux::CompleteTags() {
    AVFormatContext* oc = oc_;
    if (pendingId3Frames_.empty()) return;
    const std::string frames = std::move(pendingId3Frames_);
    pendingId3Frames_.clear();
    if (!Seekable(oc)) return;
    ff::avio_flush(oc->pb);
    const TFileReader reader(path_);
    const std::string name = oc->oformat->name;
    const std::string problem = name == "mp3" ? FillId3Padding(oc->pb, reader, frames)
                                              : AppendId3Chunk(oc->pb, reader, frames);
    if (!problem.empty()) GlobalLogger()->Log(logSender_, llWarning, path_ + ": " + problem);
    ff::avio_flush(oc->pb);
}
