// The progress report of a run: the status line, the values handed to the
// progress relay, and the byte totals of the final report.
#include <array>
#include <atomic>
#include <cmath>

#include "FFLog.h"
#include "RunTables.h"
#include "VideoOutput.h"
#include "Format.h"
#include "MyUtilStubs.h"

namespace {

// The status line is built with the C runtime's printf rules, piece by piece,
// within 1023 characters.
class TStatusText {
public:
    template <typename... Args>
    void Append(const char* format, Args... args) {
        const size_t used = text_.size();
        if (used >= 1023) return;
        char piece[1024];
        ff::snprintf(piece, sizeof piece - used, format, args...);
        text_ += piece;
    }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

double Psnr(double x) { return -10.0 * std::log10(x); }

// The QP histogram shared by every task of the process.
std::array<std::atomic<int64_t>, 52>& QpHistogramCounters() {
    static std::array<std::atomic<int64_t>, 52> counters{};
    return counters;
}

int64_t WrittenBytes(AVFormatContext* output) {
    if (!output || !output->pb) return 0;
    const int64_t size = ff::avio_size(output->pb);
    return size >= 0 ? size : ff::avio_seek(output->pb, 0, SEEK_CUR);
}

// Per plane, from the last picture or, in the final report, from the whole
// run; then all planes together.
void AppendPsnr(TStatusText& status, const TOutputStream& ost, const TCodedFrame& last, const AVCodecContext& enc,
                bool final) {
    status.Append("PSNR=");
    double errorSum = 0, scaleSum = 0;
    for (int plane = 0; plane < 3; ++plane) {
        double error = static_cast<double>(final ? enc.error[plane] : last.Error[plane]);
        double scale = static_cast<double>(enc.width) * enc.height * 255.0 * 255.0;
        if (final) scale *= ost.FrameNumber;
        if (plane > 0) scale /= 4;
        status.Append("%c:%2.2f ", "YUV"[plane], Psnr(error / scale));
        errorSum += error;
        scaleSum += scale;
    }
    status.Append("*:%2.2f ", Psnr(errorSum / scaleSum));
}

} // namespace

void TCustomFFmpeg::ReportProgress(bool final, int fileIndex) {
    const int64_t totalSize = OutputFileCount > 0 ? WrittenBytes(OutputFiles[0]) : 0;
    TStatusText status;
    double time = NoOutputTimeSeconds;
    int frameNumber = -1, fps = -1;
    float quality = -1.0f;
    bool videoSeen = false;
    for (TOutputStream* ost : Run_->OutputStreams) {
        const AVCodecContext* enc = EncoderOf(*ost);
        const bool video = OutputTypeOf(*ost, enc) == AVMEDIA_TYPE_VIDEO;
        // A copied stream has no encoder to ask.
        const auto* stage = video && ost->NeedsEncoding && enc ? dynamic_cast<const TVideoOutput*>(ost->Stage.get()) : nullptr;
        const bool encoded = stage != nullptr;
        const float streamQuality =
            encoded ? static_cast<float>(stage->CodedFrame().Quality) / static_cast<float>(FF_QP2LAMBDA) : -1.0f;
        if (videoSeen && video) status.Append("q=%2.1f ", static_cast<double>(streamQuality));
        if (!videoSeen && video && ost->Active == 1) {
            const float elapsed = static_cast<float>(ff::av_gettime() - Run_->TimerStart) / 1000000.0f;
            frameNumber = ost->FrameNumber;
            if (frameNumber < 1) return;
            fps = elapsed > 1 ? static_cast<int>(frameNumber / elapsed + 0.5f) : 0;
            quality = streamQuality;
            status.Append("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, static_cast<double>(quality));
            if (final) status.Append("L");
            if (Opt.QpHistogram) {
                const int qp = static_cast<int>(std::nearbyint(quality));
                if (qp >= 0 && qp < 52) QpHistogramCounters()[qp].fetch_add(1);
                for (int j = 0; j < 32; ++j)
                    status.Append("%X", static_cast<int>(std::nearbyint(
                                            std::log(static_cast<double>(QpHistogramCounters()[j].load()) + 1) /
                                            std::log(2.0))));
            }
            if (encoded && (enc->flags & AV_CODEC_FLAG_PSNR)) AppendPsnr(status, *ost, stage->CodedFrame(), *enc, final);
            videoSeen = true;
        }
        const int64_t end = ff::av_stream_get_end_pts(ost->Stream);
        const double t = end == NoPts ? 0.0 : static_cast<double>(end) * av_q2d(ost->Stream->time_base);
        if (t > 0 && t < time) time = t;
    }
    if (time < 0.01) time = 0.01;
    if (ProgressRelay || Opt.Verbose > 0 || final) {
        const double bitRate = static_cast<double>(totalSize) * 8 / time / 1000;
        status.Append("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", totalSize / 1024.0, time, bitRate);
        if (Run_->Counters.FramesDuplicated || Run_->Counters.FramesDropped) {
            status.Append(" dup=%d drop=%d", Run_->Counters.FramesDuplicated, Run_->Counters.FramesDropped);
            if (Run_->Counters.DupDropPending && Opt.Verbose >= 0 && ProgressRelay) {
                Run_->Counters.DupDropPending = false;
                GlobalLogger()->Log(this, llVerbose, status.Text());
            }
        }
        if (ProgressRelay)
            ProgressRelay(this, fileIndex, frameNumber, fps, quality, static_cast<float>(bitRate), totalSize,
                          static_cast<int64_t>(time * 1000000), TotalDuration);
        else if (Opt.Verbose >= 0)
            GlobalLogger()->Log(this, llVerbose, status.Text());
    }
    if (final && Opt.Verbose >= 0) {
        const double raw = static_cast<double>(Run_->Counters.VideoSize + Run_->Counters.AudioSize + Run_->Counters.ExtraSize);
        GlobalLogger()->LogFmt(this, llVerbose,
                               "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
                               Run_->Counters.VideoSize / 1024.0, Run_->Counters.AudioSize / 1024.0, Run_->Counters.ExtraSize / 1024.0,
                               raw > 0 ? 100.0 * (static_cast<double>(totalSize) - raw) / raw : 0.0);
    }
}
