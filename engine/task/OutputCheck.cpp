// Every completed output is checked against what was read for it: the
// samples its encoder gave the muxer against the samples decoded for it, and
// the duration its container reports once the file is closed and opened
// again. An output that lacks more than one encoder frame (any sample, when
// lossless) fails its task, so a silent truncation never ends as "Finish".
#include "OutputCheck.h"

#include <cmath>

#include "FFLog.h"
#include "Format.h"
#include "RunTables.h"

namespace {

std::string Seconds(double seconds) { return Format(seconds >= 0.1 ? "%.1f" : "%.3f", seconds); }

// The duration the container of `url` reports for stream `index`, in
// seconds; -1 when it cannot say. Raw streams without an index (ADTS) only
// estimate theirs from the bit rate: their frames are counted instead.
double ContainerDuration(const std::string& url, int index) {
    AVFormatContext* raw = nullptr;
    if (OpenInputURL(&raw, url, nullptr, nullptr) < 0) return -1;
    InputContextPtr ic(raw);
    if (ff::avformat_find_stream_info(ic.get(), nullptr) < 0 || index >= static_cast<int>(ic->nb_streams)) return -1;
    const AVStream* st = ic->streams[index];
    if (ic->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) {
        PacketPtr pkt = MakePacket();
        int64_t total = 0;
        while (pkt && ff::av_read_frame(ic.get(), pkt.get()) >= 0) {
            if (pkt->stream_index == index) total += pkt->duration;
            ff::av_packet_unref(pkt.get());
        }
        return total > 0 ? total * av_q2d(st->time_base) : -1;
    }
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) return st->duration * av_q2d(st->time_base);
    if (ic->duration != AV_NOPTS_VALUE && ic->duration > 0) return ic->duration / 1e6;
    return -1;
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
        check.StreamIndex = ost->StreamIndex;
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
        const double lasts = ContainerDuration(check.Url, check.StreamIndex);
        GlobalLogger()->LogFmt(this, llVerbose, "%s: %d samples decoded, %d written, %s s in its container", check.Name,
                               check.SamplesDecoded, check.SamplesWritten,
                               lasts < 0 ? std::string("unknown") : Format("%.6f", lasts));
        if (lasts < 0) continue;
        // Half a sample and the container's rounding to microseconds are no loss.
        if (lasts + tolerance + 0.5 / rate + 2e-6 < decoded) {
            Completed = false;
            throw FFmpegException(ShorterOutputText(
                decoded - lasts, Format("%s lasts %s s, its source %s s", check.Name, Format("%.2f", lasts),
                                        Format("%.2f", decoded))));
        }
    }
}
