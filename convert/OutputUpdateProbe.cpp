// Telling an output cut short from a whole one without decoding: the length
// of its packets against the length of its source.
#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

#include "AVCodecStubs.h"
#include "AVFormatStubs.h"
#include "AVUtilStubs.h"
#include "FFPtr.h"
#include "MediaIO.h"
#include "PacketTime.h"
#include "OutputUpdate.h"
#include "UnicodeProtocol.h"

namespace {

// Frames of a codec whose frames vary (Vorbis blocks) are at most this long.
constexpr int LongestAudioFrame = 8192;

struct TLength {
    bool Readable = false;
    double Seconds = -1;  // -1: unknown
    double Margin = 0;    // what an encoder's delay and padding and the clock's rounding may add
};

// One frame of `st`, in seconds. A coded length may count an encoder's
// delay and padding, up to a frame at each end, which decoding drops.
double FrameSeconds(const AVStream* st) {
    const AVCodecParameters* par = st->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0) {
        const AVCodecDescriptor* codec = ff::avcodec_descriptor_get(par->codec_id);
        const bool pcm = codec && codec->name && std::string(codec->name).rfind("pcm_", 0) == 0;
        const int frame = pcm ? 1 : par->frame_size > 0 ? par->frame_size : LongestAudioFrame;
        return static_cast<double>(frame) / par->sample_rate;
    }
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0)
        return static_cast<double>(st->avg_frame_rate.den) / st->avg_frame_rate.num;
    return 0;
}

// The length of `st` its container gives, -1 when it gives none: its
// duration, or the tag some containers keep it in ("00:03:25.120000000").
double StreamSeconds(const AVStream* st) {
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) return st->duration * av_q2d(st->time_base);
    const AVDictionaryEntry* tag = ff::av_dict_get(st->metadata, "DURATION", nullptr, 0);
    int hours = 0, minutes = 0, seconds = 0, used = 0;
    if (!tag || std::sscanf(tag->value, "%d:%d:%d%n", &hours, &minutes, &seconds, &used) != 3) return -1;
    // The fraction is read by hand: the locale's decimal mark may be another.
    double fraction = 0, scale = 0.1;
    if (tag->value[used] == '.')
        for (const char* c = tag->value + used + 1; *c >= '0' && *c <= '9'; ++c, scale /= 10) fraction += (*c - '0') * scale;
    return hours * 3600.0 + minutes * 60.0 + seconds + fraction;
}

// How long the media of `path` lasts: its longest audio stream when it has
// one (the part a conversion keeps), else its longest stream. The length its
// container reports, unless that is an estimate from the bit rate; the
// packets are counted when the container's figure is an estimate, unknown,
// or (`countPackets`) not to be trusted further than the packets go.
TLength MeasureLength(const std::string& path, bool countPackets) {
    TLength length;
    AVFormatContext* raw = nullptr;
    if (OpenInputURL(&raw, FileNameToURL(Utf8ToWide(path)), nullptr, nullptr) < 0) return length;
    InputContextPtr ic(raw);
    if (ff::avformat_find_stream_info(ic.get(), nullptr) < 0) return length;
    std::vector<bool> counted(ic->nb_streams, false);
    bool anyAudio = false;
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        anyAudio = anyAudio || ic->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
    bool anyCounted = false, othersToo = false;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
        if (st->codecpar->codec_type != (anyAudio ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO)) {
            othersToo = true;
            continue;
        }
        counted[i] = anyCounted = true;
        length.Margin = std::max(length.Margin, 2 * FrameSeconds(st) + 2 * av_q2d(st->time_base));
    }
    if (!anyCounted) return length;
    length.Readable = true;

    double reported = -1;
    if (ic->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            if (counted[i]) reported = std::max(reported, StreamSeconds(ic->streams[i]));
        // The container's length is its longest stream's: a picture may go
        // on after the sound ends.
        if (reported < 0 && ic->duration != AV_NOPTS_VALUE && ic->duration > 0) {
            if (!othersToo) reported = ic->duration / 1e6;
            else if (!countPackets) return length;  // not worth reading every picture for
        }
    }
    if (reported >= 0 && !countPackets) {
        length.Seconds = reported;
        return length;
    }

    for (unsigned i = 0; i < ic->nb_streams; ++i)
        if (!counted[i]) ic->streams[i]->discard = AVDISCARD_ALL;
    const std::vector<TPacketTime> times = ReadPacketTimes(ic.get());
    if (times.empty()) return length;
    double held = 0;
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        if (counted[i]) held = std::max(held, times[i].Seconds);
    // Packets counted are all there is to go by: a container's own figure may
    // be an estimate short of a whole file (a program stream's).
    length.Seconds = held;
    return length;
}

// How long the stretch `cut` of a source of `whole` seconds lasts.
double StretchSeconds(double whole, const TSourceCut& cut) {
    if (cut.Whole() || cut.TimeBaseDen <= 0) return whole;
    const double rest = whole - CutStartMicroseconds(cut) / 1e6;
    return cut.Length < 0 ? rest : std::min(CutLengthMicroseconds(cut, -1) / 1e6, rest);
}

bool RegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool OutputCutShort(const std::string& output, const std::string& source, const TSourceCut& cut) {
    // A source that is not a file is not read here: the open reports it.
    if (!RegularFile(source)) return false;
    const TLength out = MeasureLength(output, true);
    if (!out.Readable) return true;
    const TLength src = MeasureLength(source, false);
    if (!src.Readable || src.Seconds <= 0 || out.Seconds < 0) return false;
    return out.Seconds + out.Margin + src.Margin < StretchSeconds(src.Seconds, cut);
}
