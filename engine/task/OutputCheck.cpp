// Every completed output is checked against what was read for it: the
// samples its encoder gave the muxer against the samples decoded for it, and
// the duration its container reports once the file is closed and opened
// again (and the packets it really holds). An output that lacks more than one encoder frame (any sample, when
// lossless) fails its task, so a silent truncation never ends as "Finish".
#include "OutputCheck.h"

#include <algorithm>
#include <cmath>

#include "FFLog.h"
#include "Format.h"
#include "RunTables.h"

namespace {

std::string Seconds(double seconds) { return Format(seconds >= 0.1 ? "%.1f" : "%.3f", seconds); }

// The index of audio stream number `ordinal` of `ic`, or -1.
int AudioStream(const AVFormatContext* ic, int ordinal) {
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        if (ic->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && ordinal-- == 0) return static_cast<int>(i);
    return -1;
}

// How long audio stream number `ordinal` of output `url` lasts: the duration
// its container reports, but no longer than the packets that are really
// there (a header written first may promise more than the file holds), in
// seconds; -1 when the file cannot be read back. `tick`: the container's
// clock step, by which each time stamp may be rounded.
double ReadBackDuration(const std::string& url, int ordinal, double& tick) {
    AVFormatContext* raw = nullptr;
    if (OpenInputURL(&raw, url, nullptr, nullptr) < 0) return -1;
    InputContextPtr ic(raw);
    const int index = ff::avformat_find_stream_info(ic.get(), nullptr) < 0 ? -1 : AudioStream(ic.get(), ordinal);
    if (index < 0) return -1;
    const AVStream* st = ic->streams[index];
    const double tb = av_q2d(st->time_base);
    tick = tb;
    // Raw streams (ADTS) only estimate a duration from their bit rate.
    double reported = -1;
    if (ic->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0) reported = st->duration * tb;
        else if (ic->duration != AV_NOPTS_VALUE && ic->duration > 0) reported = ic->duration / 1e6;
    }
    PacketPtr pkt = MakePacket();
    if (!pkt) return reported;
    int64_t total = 0, first = INT64_MAX, end = INT64_MIN;
    while (ff::av_read_frame(ic.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == index) {
            total += std::max<int64_t>(pkt->duration, 0);
            if (pkt->pts != AV_NOPTS_VALUE) {
                first = std::min(first, pkt->pts);
                end = std::max(end, pkt->pts + pkt->duration);
            }
        }
        ff::av_packet_unref(pkt.get());
    }
    // Durations in a coarse time base are rounded (ASF counts milliseconds),
    // and some packets have none: the longer of their sum and their span.
    const double held = std::max(total, end > first ? end - first : 0) * tb;
    return reported < 0 ? held : std::min(reported, held);
}

} // namespace

std::string ShorterOutputText(double missing, const std::string& figures) {
    return "Output is " + Seconds(missing) + " s shorter than its source (" + figures + ")";
}

void TCustomFFmpeg::NoteOutputChecks() {
    OutputChecks_.clear();
    for (TOutputStream* ost : Run_->OutputStreams) {
        // Joined files write through the first file's streams, which count for all.
        if (&LeadOf(*ost) != ost || !ost->NeedsEncoding || !ost->Encoder) continue;
        const AVCodecContext* enc = ost->Encoder.get();
        const AVFormatContext* oc = OutputFiles[ost->FileIndex];
        if (enc->codec_type != AVMEDIA_TYPE_AUDIO || enc->sample_rate <= 0 || !oc || !oc->pb) continue;
        const AVCodecDescriptor* codec = ff::avcodec_descriptor_get(enc->codec_id);
        TOutputCheck check;
        check.Url = oc->url;
        check.Name = OutputPaths[ost->FileIndex];
        for (unsigned i = 0; i < static_cast<unsigned>(ost->StreamIndex) && i < oc->nb_streams; ++i)
            if (oc->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) ++check.AudioOrdinal;
        check.SampleRate = enc->sample_rate;
        check.Tolerance = codec && (codec->props & AV_CODEC_PROP_LOSSLESS) ? 0 : std::max(enc->frame_size, 0);
        check.SamplesDecoded = ost->SamplesDecoded;
        check.SamplesWritten = ost->SamplesWritten;
        check.WrittenKnown = !ost->PacketWithoutDuration;
        OutputChecks_.push_back(std::move(check));
    }
}

void TCustomFFmpeg::VerifyOutputs() {
    std::vector<TOutputCheck> checks = std::move(OutputChecks_);
    OutputChecks_.clear();
    if (!Completed || Failed || StopRequested) return;
    for (const TOutputCheck& check : checks) {
        const double rate = check.SampleRate;
        const double decoded = check.SamplesDecoded / rate;
        const double tolerance = check.Tolerance / rate;
        if (check.WrittenKnown && check.SamplesWritten + check.Tolerance < check.SamplesDecoded) {
            Completed = false;
            throw FFmpegException(ShorterOutputText(
                (check.SamplesDecoded - check.SamplesWritten) / rate,
                Format("%d of %d samples written", check.SamplesWritten, check.SamplesDecoded)));
        }
        double tick = 0;
        const double lasts = ReadBackDuration(check.Url, check.AudioOrdinal, tick);
        GlobalLogger()->LogFmt(this, llVerbose, "%s: %d samples decoded, %d written, %s s in its container", check.Name,
                               check.SamplesDecoded, check.SamplesWritten,
                               lasts < 0 ? std::string("unknown") : Format("%.6f", lasts));
        if (lasts < 0) continue;
        // Half a sample and the rounding to the container's clock (at both
        // ends of the packets' span) are no loss.
        if (lasts + tolerance + 0.5 / rate + 2 * tick + 2e-6 < decoded) {
            Completed = false;
            // A small difference needs the milliseconds to show.
            const char* precision = decoded - lasts < 0.1 ? "%.3f" : "%.2f";
            throw FFmpegException(ShorterOutputText(
                decoded - lasts, Format("%s lasts %s s, its source %s s", check.Name, Format(precision, lasts),
                                        Format(precision, decoded))));
        }
    }
}
