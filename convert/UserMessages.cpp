#include "UserMessages.h"

#include <cstdio>

#include "AVCodecStubs.h"
#include "FormatPresets.h"

namespace {

// A stream as a user knows it: by its kind ("the audio"). The engine's
// numbers count every stream of the file, whatever its kind.
std::string StreamWords(std::string type) {
    for (char& c : type)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return "the " + type;
}

// The name of a coding, "" for none or when the libraries are not there.
std::string CodecName(int id) {
    if (id <= 0 || !ff::avcodec_descriptor_get) return {};
    const AVCodecDescriptor* codec = ff::avcodec_descriptor_get(static_cast<AVCodecID>(id));
    return codec && codec->name ? codec->name : "";
}

bool Matches(const std::string& text, const char* pattern, int& id, int& file, int& stream, char (&type)[32]) {
    int used = 0;
    return std::sscanf(text.c_str(), pattern, &id, &file, &stream, type, &used) == 4 && used > 0;
}

} // namespace

std::string UserErrorText(const std::string& engineText, int format) {
    int id = 0, file = 0, stream = 0;
    char type[32] = {};
    if (std::sscanf(engineText.c_str(), "Output file #%d does not contain any stream", &file) == 1) {
        if (format >= 0 && format < AudioFormatCount) return "the source holds no audio to convert";
        return "the source holds neither pictures nor sound to convert";
    }
    if (Matches(engineText, "Decoder (codec id %d) not found for input stream #%d.%d (%31[A-Za-z])%n", id, file,
                stream, type)) {
        const std::string name = CodecName(id);
        return StreamWords(type) + " of the source is " +
               (name.empty() ? "in a coding" : "coded as " + name + ", which is one") +
               " this program cannot decode";
    }
    if (Matches(engineText, "Encoder (codec id %d) not found for output stream #%d.%d (%31[A-Za-z])%n", id, file,
                stream, type)) {
        const std::string name = CodecName(id);
        return "this program has no encoder for " + StreamWords(type) + " of this format" +
               (name.empty() ? "" : " (" + name + ")");
    }
    if (std::sscanf(engineText.c_str(), "Error while opening decoder for input stream #%d.%d (%31[A-Za-z])", &file,
                    &stream, type) == 3)
        return StreamWords(type) + " of the source cannot be decoded: its decoder refuses it";
    if (std::sscanf(engineText.c_str(), "Error while opening codec for output stream #%d.%d (%31[A-Za-z])", &file,
                    &stream, type) == 3)
        return StreamWords(type) +
               " encoder refuses the settings (bit rate, sample rate, channels or picture size) asked of it";
    return engineText;
}
