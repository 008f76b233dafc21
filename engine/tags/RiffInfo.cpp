// RIFF INFO fields of a WAV file. Their readers decode them as Latin-1 (or
// their code page), whatever a writer meant: a field holds what Latin-1 can
// (a letter it lacks as its base letter, typographic quotes and dashes as
// plain ones, anything else as "?"), and the ID3 chunk beside it the whole
// text.
#include <mutex>

#include <taglib/infotag.h>

#include "TagFill.h"

using namespace TagLib;

namespace {

// U+0100 … U+017F (Latin Extended-A) by their base letters; '\0' for the
// ligatures, which become two.
constexpr char ExtendedA[] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi\0\0JjKkkLlLlLlLlLlNnNnNnnNnOoOoOo\0\0RrRrRrSsSsSsSsTtTtTt"
    "UuUuUuUuUuUuWwYyYZzZzZzs";
static_assert(sizeof ExtendedA - 1 == 0x80);

void AppendLatin1(ByteVector& out, unsigned code) {
    if (code <= 0xFF) {
        out.append(static_cast<char>(code));
        return;
    }
    const char* text = "?";
    char letter[2] = {};
    if (code >= 0x100 && code < 0x180) {
        letter[0] = ExtendedA[code - 0x100];
        text = letter[0] ? letter : code == 0x132 ? "IJ" : code == 0x133 ? "ij" : code == 0x152 ? "OE" : "oe";
    } else if (code >= 0x2010 && code <= 0x2015) {
        text = "-";
    } else if (code >= 0x2018 && code <= 0x201B) {
        text = "'";
    } else if (code >= 0x201C && code <= 0x201F) {
        text = "\"";
    } else if (code == 0x2026) {
        text = "...";
    } else if (code == 0x20AC) {
        text = "EUR";
    }
    out.append(ByteVector(text));
}

class TLatin1Handler : public RIFF::Info::StringHandler {
public:
    String parse(const ByteVector& data) const override { return String(data, String::Latin1); }
    ByteVector render(const String& s) const override {
        ByteVector out;
        for (auto it = s.begin(); it != s.end(); ++it) {
            const auto code = static_cast<unsigned>(*it);
            // TagLib's strings are UTF-16: one character beyond the BMP, one "?".
            if (code >= 0xDC00 && code < 0xE000) continue;
            AppendLatin1(out, code);
        }
        return out;
    }
};

// The fields the library's RIFF reader and writer know, with the value each takes.
struct TInfoField {
    const char* Id;
    const char* Common;
};
constexpr TInfoField InfoFields[] = {
    {"INAM", "title"}, {"IART", "artist"},    {"IPRD", "album"},    {"IPRT", "track"},
    {"ICRD", "date"},  {"IGNR", "genre"},     {"ICMT", "comment"},  {"ICOP", "copyright"},
    {"ILNG", "language"}, {"ITCH", "encoded_by"},
};

} // namespace

void UseLatin1RiffInfo() {
    static const TLatin1Handler handler;
    static std::once_flag once;
    std::call_once(once, [] { RIFF::Info::Tag::setStringHandler(&handler); });
}

void FillRiffInfo(RIFF::Info::Tag& tag, const TTagJob& job) {
    const RIFF::Info::FieldListMap fields = tag.fieldListMap();
    for (const auto& field : fields) tag.removeField(field.first);
    for (const TInfoField& field : InfoFields) {
        const std::string value = TagValue(job.Tags, field.Common);
        if (!value.empty()) tag.setFieldText(field.Id, Text(value));
    }
    tag.setFieldText("ISFT", Text(ProgramEncoderName()));
}
