// The three property records of TCustomDecoder and the codec description.
#include <cctype>
#include <climits>

#include "FFDecode.h"
#include "FFUtils.h"
#include "Format.h"

namespace {

constexpr AVRational Microseconds{1, 1000000};

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

// The leading decimal number of a tag ("2011-05-01" → 2011, "7/12" → 7); 0 when none.
int32_t LeadingNumber(const std::string& text) {
    std::string t = Trim(text);
    int64_t value = 0;
    size_t i = 0;
    for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])) && value < INT32_MAX; ++i)
        value = value * 10 + (t[i] - '0');
    return value > INT32_MAX ? 0 : static_cast<int32_t>(value);
}

int32_t ClampBitRate(int64_t rate) {
    return rate > INT32_MAX ? INT32_MAX : rate < INT32_MIN ? INT32_MIN : static_cast<int32_t>(rate);
}

// A time base of n/0 counts as n/n and 0/0 as 0/1 (repaired in the stream itself,
// so later conversions agree).
void RepairTimeBase(AVStream* st) {
    if (st->time_base.den == 0) st->time_base.den = st->time_base.num;
    if (st->time_base.den == 0) st->time_base.den = 1;
}

template <typename Info>
void FillTimes(AVStream* st, Info& info) {
    RepairTimeBase(st);
    info.StreamStartTime = st->start_time;
    if (st->start_time != AV_NOPTS_VALUE)
        info.StartTime = ff::av_rescale_q(st->start_time, st->time_base, Microseconds);
    info.StreamDuration = st->duration;
    if (st->duration != AV_NOPTS_VALUE)
        info.Duration = ff::av_rescale_q(st->duration, st->time_base, Microseconds);
}

// What audio and video streams report alike.
template <typename Info>
void FillStreamCommon(AVStream* st, const AVCodecContext* codec, const std::string& description, Info& info) {
    info.Language = MetadataValue(st->metadata, "language", "");
    info.CodecDesc = description;
    FillTimes(st, info);
    info.BitRate = ClampBitRate(codec->bit_rate);
}

}  // namespace

bool TCustomDecoder::GetFileStreamInfo(TFileStreamInfo& info) {
    info = TFileStreamInfo{};
    if (!formatContext_) {
        ReportError(LevelWarning, "file not loaded.");
        return false;
    }
    const AVFormatContext* c = formatContext_;
    info.StartTime = c->start_time == AV_NOPTS_VALUE ? -1 : c->start_time;
    info.Duration = c->duration == AV_NOPTS_VALUE ? -1 : c->duration;
    info.BitRate = ClampBitRate(c->bit_rate);
    // The container's timestamp, year and track fields became metadata entries.
    info.Timestamp = 0;
    std::string created = MetadataValue(c->metadata, "creation_time", "");
    int64_t when = 0;
    if (!created.empty() && ff::av_parse_time(&when, created.c_str(), 0) == 0) info.Timestamp = when;
    std::string year = MetadataValue(c->metadata, "date", "");
    info.Year = LeadingNumber(year.empty() ? MetadataValue(c->metadata, "year", "") : year);
    info.Track = LeadingNumber(MetadataValue(c->metadata, "track", ""));
    info.Title = MetadataValue(c->metadata, "title", "");
    // Containers now name the author "artist"; the old key still wins when present.
    info.Author = MetadataValue(c->metadata, "author", MetadataValue(c->metadata, "artist", ""));
    info.CopyrightNotice = MetadataValue(c->metadata, "copyright", "");
    info.Comment = MetadataValue(c->metadata, "comment", "");
    info.Album = MetadataValue(c->metadata, "album", "");
    info.Genre = MetadataValue(c->metadata, "genre", "");
    return true;
}

AVStream* TCustomDecoder::CheckStreamIndex(int& index, AVMediaType type) {
    bool audio = type == AVMEDIA_TYPE_AUDIO;
    if (!formatContext_) {
        ReportError(LevelWarning, "file not loaded.");
        return nullptr;
    }
    if (index < 0) {
        index = audio ? firstAudioStream_ : firstVideoStream_;
        if (index < 0) {
            ReportError(LevelError, audio ? "no audio stream." : "no video stream.");
            return nullptr;
        }
    } else if (index >= streamCount_) {
        ReportError(LevelError, Format("stream index #%d is invalid.", index));
        return nullptr;
    }
    AVStream* st = formatContext_->streams[index];
    if (st->codecpar->codec_type != type) {
        ReportError(LevelError, Format(audio ? "stream #%d is not audio stream."
                                             : "stream #%d is not video stream.",
                                       index));
        return nullptr;
    }
    return st;
}

bool TCustomDecoder::GetAudioStreamInfo(int streamIndex, TAudioStreamInfo& info) {
    info = TAudioStreamInfo{};
    AVStream* st = CheckStreamIndex(streamIndex, AVMEDIA_TYPE_AUDIO);
    if (!st) return false;
    const AVCodecContext* codec = StreamCodec(streamIndex);
    FillStreamCommon(st, codec, CodecDescription(codec), info);
    info.Channels = codec->ch_layout.nb_channels;
    info.SampleRate = codec->sample_rate;
    info.SampleFormat = codec->sample_fmt;
    return true;
}

bool TCustomDecoder::GetVideoStreamInfo(int streamIndex, TVideoStreamInfo& info) {
    info = TVideoStreamInfo{};
    AVStream* st = CheckStreamIndex(streamIndex, AVMEDIA_TYPE_VIDEO);
    if (!st) return false;
    const AVCodecContext* codec = StreamCodec(streamIndex);
    FillStreamCommon(st, codec, CodecDescription(codec), info);
    info.Height = codec->height;
    info.Width = codec->width;
    info.PixelFormat = codec->pix_fmt;
    // An unknown sample aspect (0/1, 0/0) or a zero height gives 0, not a division fault.
    AVRational sar = codec->sample_aspect_ratio;
    info.AspectRatio = sar.num != 0 && sar.den != 0 && codec->height != 0
                           ? static_cast<float>(static_cast<double>(sar.num) / sar.den * codec->width /
                                                codec->height)
                           : 0.0f;
    AVRational rate = st->avg_frame_rate.num != 0 && st->avg_frame_rate.den != 0 ? st->avg_frame_rate
                                                                                 : st->r_frame_rate;
    info.FrameRateNum = rate.num;
    info.FrameRateDen = rate.den;
    return true;
}

std::string TCustomDecoder::CodecDescription(const AVCodecContext* codec) {
    if (!codec) return "";
    if (const AVCodec* decoder = ff::avcodec_find_decoder(codec->codec_id)) {
        std::string longName = Trim(decoder->long_name ? decoder->long_name : "");
        return longName.empty() ? std::string(decoder->name)
                                : Format("%s(%s)", decoder->name, longName);
    }
    if (codec->codec_id == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
    // The context lost its codec name field; the library's descriptor names
    // codecs it knows without having a decoder for them.
    if (const AVCodecDescriptor* d = ff::avcodec_descriptor_get(codec->codec_id)) {
        std::string name = Trim(d->name ? d->name : "");
        if (!name.empty()) return name;
    }
    unsigned tag = codec->codec_tag;
    char c[4] = {static_cast<char>(tag & 0xFF), static_cast<char>((tag >> 8) & 0xFF),
                 static_cast<char>((tag >> 16) & 0xFF), static_cast<char>((tag >> 24) & 0xFF)};
    bool printable = true;
    for (char ch : c) printable = printable && ch >= 32 && ch <= 126;
    if (printable)
        return Format("%s%s%s%s / 0x%04X", std::string(1, c[0]), std::string(1, c[1]),
                      std::string(1, c[2]), std::string(1, c[3]), tag);
    return Format("0x%04x", tag);
}
