// Helpers of output stream creation that need no open output: format and
// rate choice against what an encoder supports, the output stream record, and
// time parsing.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "FFLog.h"
#include "CustomFFmpeg.h"
#include "StreamHelpers.h"
#include "Format.h"

void ChooseSampleFormat(AVCodecContext* encoder, const AVCodec* codec) {
    const AVSampleFormat* formats = codec ? codec->sample_fmts : nullptr;
    if (!formats || formats[0] == AV_SAMPLE_FMT_NONE) return;
    for (const AVSampleFormat* f = formats; *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == encoder->sample_fmt) return;
    // Encoders of this generation often take only planar samples; a request
    // for "s16" still means 16-bit samples, laid out as the encoder wants them.
    if (encoder->sample_fmt != AV_SAMPLE_FMT_NONE) {
        const AVSampleFormat packed = ff::av_get_packed_sample_fmt(encoder->sample_fmt);
        for (const AVSampleFormat* f = formats; *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (ff::av_get_packed_sample_fmt(*f) == packed) {
                encoder->sample_fmt = *f;
                return;
            }
        }
    }
    encoder->sample_fmt = formats[0];
}

void ChooseSampleRate(AVCodecContext* encoder, const AVCodec* codec) {
    const int* rates = codec ? codec->supported_samplerates : nullptr;
    if (!rates || rates[0] == 0) return;
    int best = rates[0];
    int64_t bestDistance = INT64_MAX;
    for (const int* r = rates; *r != 0; ++r) {
        const int64_t distance = std::llabs(static_cast<int64_t>(*r) - encoder->sample_rate);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = *r;
        }
    }
    if (bestDistance != 0)
        GlobalLogger()->LogFmt(nullptr, llWarning, "Requested sampling rate unsupported using closest supported (%d)",
                               best);
    encoder->sample_rate = best;
}

namespace {

// The layouts Opus in Ogg names, by channel count: mono and stereo, and those
// of its mapping family 1 (Vorbis's). The Opus encoder takes no other, yet
// does not list them.
uint64_t OpusLayoutMask(int channels) {
    switch (channels) {
    case 1: return AV_CH_LAYOUT_MONO;
    case 2: return AV_CH_LAYOUT_STEREO;
    case 3: return AV_CH_LAYOUT_SURROUND;
    case 4: return AV_CH_LAYOUT_QUAD;
    case 5: return AV_CH_LAYOUT_5POINT0_BACK;
    case 6: return AV_CH_LAYOUT_5POINT1_BACK;
    case 7: return AV_CH_LAYOUT_6POINT1;
    case 8: return AV_CH_LAYOUT_7POINT1;
    default: return 0;
    }
}

} // namespace

void ChooseChannelLayout(AVCodecContext* encoder, const AVCodec* codec) {
    if (!codec) return;
    AVChannelLayout& own = encoder->ch_layout;
    if (codec->id == AV_CODEC_ID_OPUS && std::strcmp(codec->name, "libopus") == 0) {
        const uint64_t mask = OpusLayoutMask(own.nb_channels);
        if (mask == 0 || (own.order == AV_CHANNEL_ORDER_NATIVE && own.u.mask == mask)) return;
        ff::av_channel_layout_uninit(&own);
        ff::av_channel_layout_from_mask(&own, mask);
        return;
    }
    const AVChannelLayout* layouts = codec->ch_layouts;
    if (!layouts || layouts[0].nb_channels == 0) return;
    const AVChannelLayout* same = nullptr;
    for (const AVChannelLayout* l = layouts; l->nb_channels != 0; ++l) {
        if (ff::av_channel_layout_compare(l, &own) == 0) return;
        if (!same && l->nb_channels == own.nb_channels) same = l;
    }
    if (!same) return;
    AVChannelLayout taken{};
    if (ff::av_channel_layout_copy(&taken, same) < 0) return;
    ff::av_channel_layout_uninit(&own);
    own = taken;
}

void ChoosePixelFormat(AVCodecContext* encoder, const AVCodec* codec) {
    const AVPixelFormat* own = codec ? codec->pix_fmts : nullptr;
    if (!own || own[0] == AV_PIX_FMT_NONE) return;
    static const AVPixelFormat MjpegFormats[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV420P,
                                                 AV_PIX_FMT_YUV422P, AV_PIX_FMT_NONE};
    static const AVPixelFormat LjpegFormats[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ444P,
                                                 AV_PIX_FMT_YUV420P,  AV_PIX_FMT_YUV422P,  AV_PIX_FMT_YUV444P,
                                                 AV_PIX_FMT_BGRA,     AV_PIX_FMT_NONE};
    const AVPixelFormat* searched = own;
    if (encoder->strict_std_compliance < 0 && codec->id == AV_CODEC_ID_MJPEG) searched = MjpegFormats;
    else if (encoder->strict_std_compliance < 0 && codec->id == AV_CODEC_ID_LJPEG) searched = LjpegFormats;
    for (const AVPixelFormat* f = searched; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == encoder->pix_fmt) return;
    encoder->pix_fmt = own[0];
}

int64_t ParseTimeOrRaise(const std::string& optionName, const std::string& text, bool isDuration) {
    int64_t us = 0;
    if (ff::av_parse_time(&us, text.c_str(), isDuration ? 1 : 0) < 0)
        throw FFmpegException(
            Format("Invalid %s specification for %s: %s", isDuration ? "duration" : "date", optionName, text));
    return us;
}

std::vector<int64_t> ParseForcedKeyFrames(const std::string& text, const AVCodecContext* encoder) {
    const size_t count = std::count(text.begin(), text.end(), ',') + 1;
    std::vector<int64_t> times;
    try {
        times.reserve(count);
    } catch (const std::bad_alloc&) {
        throw Exception("Could not allocate forced key frames array.");
    }
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int64_t us = 0;
        if (ff::av_parse_time(&us, part.c_str(), 1) < 0)
            throw FFmpegException(
                Format("Invalid %s specification for %s: %s", "duration", "force_key_frames", text.substr(start)));
        times.push_back(ff::av_rescale_q(us, AVRational{1, AV_TIME_BASE}, encoder->time_base));
        start = comma == std::string::npos ? text.size() : comma + 1;
    }
    return times;
}

TOutputStream* TCustomFFmpeg::NewOutputStreamRecord(AVFormatContext* output, int fileIndex) {
    auto& list = OutputStreamsForFile.at(fileIndex);
    const int count = static_cast<int>(output->nb_streams);
    if (count <= 0) throw Exception("Could not alloc output stream");
    GrowList(list, count);
    try {
        list[count - 1] = std::make_unique<TOutputStream>();
    } catch (const std::bad_alloc&) {
        throw Exception("Could not alloc output stream");
    }
    TOutputStream* record = list[count - 1].get();
    record->FileIndex = fileIndex;
    record->StreamIndex = count - 1;
    record->Stream = output->streams[count - 1];
    return record;
}
