// The picture records of the formats that have no picture stream: the FLAC
// picture block (carried base64-coded in Vorbis comments), the ID3v2 APIC
// frame and the WM/Picture value of ASF.
#include "CoverArt.h"

namespace {

constexpr uint8_t FrontCover = 3;  // picture type shared by ID3v2, FLAC and ASF

void Append(std::vector<uint8_t>& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }
void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void BigEndian32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void LittleEndian32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// Seven bits per byte, as ID3v2 sizes are written.
void SyncSafe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 21; shift >= 0; shift -= 7) out.push_back(static_cast<uint8_t>((value >> shift) & 0x7F));
}

// UTF-16LE with its terminating zero; the text is UTF-8.
void Utf16Terminated(std::vector<uint8_t>& out, const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < text.size(); ++k) code = (code << 6) | (text[i + k] & 0x3F);
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            const uint32_t high = 0xD800 + (code >> 10), low = 0xDC00 + (code & 0x3FF);
            out.insert(out.end(), {static_cast<uint8_t>(high), static_cast<uint8_t>(high >> 8),
                                   static_cast<uint8_t>(low), static_cast<uint8_t>(low >> 8)});
        } else {
            out.insert(out.end(), {static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)});
        }
    }
    out.insert(out.end(), {0, 0});
}

} // namespace

std::vector<uint8_t> FlacPictureBlock(const TCoverPicture& picture) {
    const std::string mime = PictureMimeType(picture.Codec);
    std::vector<uint8_t> block;
    BigEndian32(block, FrontCover);
    BigEndian32(block, static_cast<uint32_t>(mime.size()));
    Append(block, mime);
    BigEndian32(block, static_cast<uint32_t>(picture.Description.size()));
    Append(block, picture.Description);
    BigEndian32(block, static_cast<uint32_t>(picture.Width));
    BigEndian32(block, static_cast<uint32_t>(picture.Height));
    BigEndian32(block, static_cast<uint32_t>(picture.Depth));
    BigEndian32(block, 0);  // colours: none for pictures without a palette
    BigEndian32(block, static_cast<uint32_t>(picture.Data.size()));
    Append(block, picture.Data);
    return block;
}

std::string Base64(const std::vector<uint8_t>& bytes) {
    static const char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const uint32_t group = (bytes[i] << 16) | (left > 1 ? bytes[i + 1] << 8 : 0) | (left > 2 ? bytes[i + 2] : 0);
        text += Digits[(group >> 18) & 63];
        text += Digits[(group >> 12) & 63];
        text += left > 1 ? Digits[(group >> 6) & 63] : '=';
        text += left > 2 ? Digits[group & 63] : '=';
    }
    return text;
}

std::vector<uint8_t> Id3v2PictureFrame(const TCoverPicture& picture) {
    std::vector<uint8_t> body;
    body.push_back(3);  // text encoding UTF-8
    Append(body, PictureMimeType(picture.Codec));
    body.push_back(0);
    body.push_back(FrontCover);
    Append(body, picture.Description);
    body.push_back(0);
    Append(body, picture.Data);

    std::vector<uint8_t> frame{'A', 'P', 'I', 'C'};
    SyncSafe32(frame, static_cast<uint32_t>(body.size()));
    frame.insert(frame.end(), {0, 0});
    Append(frame, body);
    return frame;
}

std::vector<uint8_t> AsfPictureValue(const TCoverPicture& picture) {
    std::vector<uint8_t> value;
    value.push_back(FrontCover);
    LittleEndian32(value, static_cast<uint32_t>(picture.Data.size()));
    Utf16Terminated(value, PictureMimeType(picture.Codec));
    Utf16Terminated(value, picture.Description);
    Append(value, picture.Data);
    return value;
}
