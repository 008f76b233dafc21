// Time and media type texts, metadata look-up, whole-file reading and the time
// stamp correction heuristic.
#include "FFUtils.h"

#include "AVUtilStubs.h"
#include "Format.h"
#include "TextEncoding.h"
#include "MyUtilStubs.h"

std::string TimeText(int64_t t) {
    if (t == AV_NOPTS_VALUE) return "N/A";
    // Truncating division throughout: a negative time prints its parts negative.
    int64_t seconds = t / 1000000;
    int64_t hours = seconds / 3600;
    int64_t minutes = (seconds / 60) % 60;
    int64_t wholeSeconds = seconds % 60;
    int64_t milliseconds = (t % 1000000) * 1000 / 1000000;
    return Format("%.2d:%.2d:%.2d.%.3d", hours, minutes, wholeSeconds, milliseconds);
}

std::string MediaTypeName(int type) {
    switch (type) {
    case AVMEDIA_TYPE_VIDEO: return "Video";
    case AVMEDIA_TYPE_AUDIO: return "Audio";
    case AVMEDIA_TYPE_DATA: return "Data";
    case AVMEDIA_TYPE_SUBTITLE: return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT: return "Attachment";
    default: return "Unknown";
    }
}

std::string MetadataValue(const AVDictionary* metadata, const std::string& key, const std::string& def) {
    const AVDictionaryEntry* e = ff::av_dict_get(metadata, key.c_str(), nullptr, 0);
    // Some containers hand over their bytes as stored (RIFF INFO).
    return e && e->value ? LegacyTextToUtf8(e->value) : def;
}

namespace {

struct FileCloser {
    void operator()(FILE* f) const { ff::fclose(f); }
};

} // namespace

int ReadWholeFile(const std::string& fileName, char** buffer, size_t* size) {
    *buffer = nullptr;
    *size = 0;
    std::unique_ptr<FILE, FileCloser> file(ff::fopen(fileName.c_str(), "rb"));
    if (!file) return -1;
    // A file that cannot be measured (a pipe, a failing device) counts as unreadable
    // rather than as a huge allocation request.
    if (ff::fseeko(file.get(), 0, SEEK_END) != 0) return -1;
    off_t length = ff::ftello(file.get());
    if (length < 0 || ff::fseeko(file.get(), 0, SEEK_SET) != 0) return -1;
    char* data = static_cast<char*>(ff::av_malloc(static_cast<size_t>(length) + 1));
    if (!data) return AVERROR(ENOMEM);
    size_t got = ff::fread(data, 1, static_cast<size_t>(length), file.get());
    data[got] = 0;
    *buffer = data;
    *size = got + 1;
    return 0;
}

void ResetPtsCorrection(TPtsCorrection& record) {
    record.FaultyPtsCount = 0;
    record.FaultyDtsCount = 0;
    record.LastPts = INT64_MIN;
    record.LastDts = INT64_MIN;
}

int64_t GuessCorrectPts(TPtsCorrection& record, int64_t dts, int64_t reorderedPts) {
    if (dts != AV_NOPTS_VALUE) {
        if (dts <= record.LastDts) ++record.FaultyDtsCount;
        record.LastDts = dts;
    }
    if (reorderedPts != AV_NOPTS_VALUE) {
        if (reorderedPts <= record.LastPts) ++record.FaultyPtsCount;
        record.LastPts = reorderedPts;
    }
    if (record.FaultyDtsCount < record.FaultyPtsCount && dts != AV_NOPTS_VALUE) return dts;
    if (reorderedPts != AV_NOPTS_VALUE) return reorderedPts;
    return dts;
}
