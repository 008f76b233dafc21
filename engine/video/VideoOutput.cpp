#include "VideoOutput.h"

#include <algorithm>
#include <cmath>

#include "FFLog.h"
#include "Format.h"
#include "TaskTypes.h"
#include "VideoPath.h"

namespace {

// Rounded to the nearest whole number, halves to even.
int64_t RoundEven(double value) { return static_cast<int64_t>(std::nearbyint(value)); }

} // namespace

TVideoOutput::TVideoOutput(const TStageLinks& links, const AVFormatContext* output, const TVideoSettings& settings,
                           TPictureViewer& viewer, const std::atomic<bool>& stopRequested,
                           TVideoStatistics* statistics)
    : links_(links),
      settings_(settings),
      viewer_(viewer),
      stopRequested_(stopRequested),
      statistics_(statistics),
      variableRate_(settings.SyncMethod == 2 ||
                    (settings.SyncMethod < 0 && (output->oformat->flags & AVFMT_VARIABLE_FPS))) {}

int TVideoOutput::FramesToWrite() {
    TOutputStream& ost = *links_.Stream;
    const AVCodecContext* enc = Encoder();
    const TInputStream& sync = *ost.SyncSource;
    // Where the sync source is, in frames of the output.
    const double inputFrames =
        static_cast<double>(sync.Pts - settings_.StartTime) / 1000000.0 / av_q2d(enc->time_base);
    if (settings_.SyncMethod == 0) {
        ost.SyncPosition = RoundEven(inputFrames);
        return 1;
    }
    const double delta = inputFrames - static_cast<double>(ost.SyncPosition);
    if (delta < -1.1) return 0;
    if (variableRate_) {
        if (delta <= -0.6) return 0;
        if (delta > 0.6) ost.SyncPosition = RoundEven(inputFrames);
        return 1;
    }
    return delta <= 1.1 ? 1 : static_cast<int>(RoundEven(delta));
}

void TVideoOutput::Push(TInputStream& ist, const TDecodedData& decoded) {
    AVFrame* picture = decoded.Picture;
    if (!picture) return;
    TOutputStream& ost = *links_.Stream;
    TRunCounters& counters = *links_.Counters;
    int frames = FramesToWrite();
    if (frames == 0) {
        ++counters.FramesDropped;
        counters.DupDropPending = true;
        if (settings_.Verbose > 2) GlobalLogger()->Log(links_.LogSender, llVerbose, "*** drop!");
    } else if (frames > 1) {
        counters.FramesDuplicated += frames - 1;
        counters.DupDropPending = true;
        if (settings_.Verbose > 2) GlobalLogger()->LogFmt(links_.LogSender, llVerbose, "*** %d dup!", frames - 1);
    }
    const int64_t room = static_cast<int64_t>(settings_.MaxFrames) - ost.FrameNumber;
    frames = static_cast<int>(std::min<int64_t>(frames, room));
    if (frames <= 0) return;

    AVCodecContext* enc = Encoder();
    if (ist.FilterOutput && picture->sample_aspect_ratio.num) enc->sample_aspect_ratio = picture->sample_aspect_ratio;
    const bool newGeometry = CheckGeometry(ist);
    AVFrame* toEncode = picture;
    if (!settings_.Filtered && scaling_) toEncode = Scale(picture, newGeometry);

    for (int i = 0; i < frames && !stopRequested_; ++i) {
        const int number = ost.FrameNumber + 1;
        const int64_t pts = ff::av_rescale_q(ost.SyncPosition, enc->time_base, MicrosecondBase);
        bool converted = false;
        if (viewer_.HooksOutput()) toEncode = HookOutput(toEncode, pts, number, converted);
        viewer_.Preview(toEncode, converted, pts, number);
        Encode(ist, toEncode, picture);
        ++ost.SyncPosition;
        ++ost.FrameNumber;
    }
}

bool TVideoOutput::CheckGeometry(const TInputStream& ist) {
    const TVideoInputRun& in = ist.Video;
    if (in.Width == sourceWidth_ && in.Height == sourceHeight_ && in.PixelFormat == sourceFormat_) return false;
    const char* formatName = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(in.PixelFormat));
    const std::string format = formatName ? formatName : "none";
    GlobalLogger()->LogFmt(links_.LogSender, llQuiet, "Input Stream #%d.%d frame size changed to %dx%d, %s",
                           ist.FileIndex, ist.StreamIndex, in.Width, in.Height, format);
    if (!scaling_) {
        const TOutputStream& ost = *links_.Stream;
        const AVCodecContext* enc = Encoder();
        throw FFmpegException(Format("Output stream #%d.%d takes its %dx%d %s pictures unscaled from input stream "
                                     "#%d.%d, whose pictures changed to %dx%d %s",
                                     ost.FileIndex, ost.StreamIndex, enc->width, enc->height,
                                     ff::av_get_pix_fmt_name(enc->pix_fmt), ist.FileIndex, ist.StreamIndex, in.Width,
                                     in.Height, format));
    }
    sourceWidth_ = in.Width;
    sourceHeight_ = in.Height;
    sourceFormat_ = in.PixelFormat;
    return true;
}

AVFrame* TVideoOutput::Scale(const AVFrame* picture, bool newGeometry) {
    const AVCodecContext* enc = Encoder();
    if (newGeometry || !scaler_) {
        scaler_.reset();
        scaler_.reset(NewScaler(sourceWidth_, sourceHeight_, sourceFormat_, enc->width, enc->height, enc->pix_fmt,
                                settings_.ScalerFlags));
        if (!scaler_) throw FFmpegException("Cannot get resampling context");
    }
    // The encoder may still hold the last scaled picture; it then gets new planes.
    AVFrame* scaled = WritablePicture(scaled_, enc->pix_fmt, enc->width, enc->height);
    if (!scaled) throw FFmpegException("Cannot allocate temp picture, check pix fmt");
    ff::sws_scale(scaler_.get(), picture->data, picture->linesize, 0, sourceHeight_, scaled->data, scaled->linesize);
    return scaled;
}

AVFrame* TVideoOutput::HookOutput(AVFrame* picture, int64_t pts, int number, bool& converted) {
    AVFrame* hooked = nullptr;
    if (picture == hookPicture_.get()) {
        // A duplicate of the last picture: the hook sees its own result again,
        // on planes the encoder does not hold.
        hooked = ff::av_frame_make_writable(picture) < 0 ? nullptr : picture;
    } else {
        hooked = WritablePicture(hookPicture_, picture->format, picture->width, picture->height);
        if (hooked)
            ff::av_image_copy(hooked->data, hooked->linesize, const_cast<const uint8_t**>(picture->data),
                              picture->linesize, static_cast<AVPixelFormat>(picture->format), picture->width,
                              picture->height);
    }
    if (!hooked) {
        GlobalLogger()->Log(links_.LogSender, llError, "hook buf malloc error.");
        converted = false;
        return picture;
    }
    viewer_.HookOutput(hooked, pts, number, converted);
    return hooked;
}
