#include "Id3Tag.h"

#include <cstring>

namespace {

constexpr char Utf8Encoding = 3;
// ID3 names an unknown language so.
constexpr const char* UnknownLanguage = "XXX";

// Sizes in ID3v2.4 are 28-bit numbers, seven bits a byte.
void PutSyncsafe(std::string& out, size_t size) {
    for (int shift = 21; shift >= 0; shift -= 7) out.push_back(static_cast<char>((size >> shift) & 0x7F));
}

void PutFrame(std::string& out, const char* id, const std::string& body) {
    out.append(id, 4);
    PutSyncsafe(out, body.size());
    out.append(2, '\0');
    out += body;
}

void PutText(std::string& out, const char* id, const std::string& text) {
    PutFrame(out, id, std::string(1, Utf8Encoding) + text);
}

// COMM and USLT: encoding, language, an empty description, the text.
void PutLanguageText(std::string& out, const char* id, const std::string& text) {
    PutFrame(out, id, std::string(1, Utf8Encoding) + UnknownLanguage + std::string(1, '\0') + text);
}

const char* TextFrameOf(const std::string& key) {
    static const std::pair<const char*, const char*> frames[] = {
        {"title", "TIT2"},     {"artist", "TPE1"},    {"album", "TALB"},       {"album_artist", "TPE2"},
        {"date", "TDRC"},      {"genre", "TCON"},     {"composer", "TCOM"},    {"copyright", "TCOP"},
        {"publisher", "TPUB"}, {"performer", "TPE3"}, {"encoded_by", "TENC"},  {"language", "TLAN"},
        {"grouping", "TIT1"},  {"compilation", "TCMP"}, {"lyricist", "TEXT"},
    };
    for (const auto& [name, frame] : frames)
        if (key == name) return frame;
    return nullptr;
}

} // namespace

std::string Id3v2Frames(const TUserTags& tags, const std::string& encoder) {
    std::string out;
    for (const TUserTag& tag : tags) {
        if (tag.Key == "track") PutText(out, "TRCK", NumberWithTotal(tags, "track"));
        else if (tag.Key == "disc") PutText(out, "TPOS", NumberWithTotal(tags, "disc"));
        else if (tag.Key == "track_total" || tag.Key == "disc_total") continue;
        else if (tag.Key == "comment") PutLanguageText(out, "COMM", tag.Value);
        else if (tag.Key == "lyrics") PutLanguageText(out, "USLT", tag.Value);
        else if (const char* id = TextFrameOf(tag.Key)) PutText(out, id, tag.Value);
        else PutFrame(out, "TXXX", std::string(1, Utf8Encoding) + tag.Key + std::string(1, '\0') + tag.Value);
    }
    if (!encoder.empty()) PutText(out, "TSSE", encoder);
    return out;
}

std::string Id3v2Tag(const std::string& frames, size_t padding) {
    std::string tag = "ID3";
    tag.push_back(4);   // version 2.4.0
    tag.push_back(0);
    tag.push_back(0);   // no flags
    PutSyncsafe(tag, frames.size() + padding);
    tag += frames;
    tag.append(padding, '\0');
    return tag;
}

size_t Id3v2Syncsafe(const unsigned char* p) {
    size_t size = 0;
    for (int i = 0; i < 4; ++i) size = (size << 7) | (p[i] & 0x7F);
    return size;
}

size_t Id3v2TagSize(const unsigned char* h) {
    if (std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF) return 0;
    if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return 0;
    // A footer repeats the header at the end.
    return 10 + Id3v2Syncsafe(h + 6) + ((h[5] & 0x10) ? 10 : 0);
}
