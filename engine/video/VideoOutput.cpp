// The video output path: how many times a picture is written (the clocks
// decide: dropped, once, or duplicated), a change of the input picture's
// geometry, scaling to the encoder's size and format, and each written frame
// through the output hook and the preview into the encoder.
#include <algorithm>
#include <cmath>

#include "FFLog.h"
#include "Format.h"
#include "RunTables.h"
#include "VideoPath.h"

namespace {

// Rounded to the nearest whole number, halves to even.
int64_t RoundEven(double value) { return static_cast<int64_t>(std::nearbyint(value)); }

} // namespace

int TCustomFFmpeg::VideoFramesToWrite(AVFormatContext* output, TOutputStream& ost) {
    const AVCodecContext* enc = EncoderOf(ost);
    const TInputStream& sync = *ost.SyncSource;
    // Where the sync source is, in frames of the output.
    const double inputFrames = static_cast<double>(sync.Pts - Opt.StartTime) / 1000000.0 / av_q2d(enc->time_base);
    if (Opt.VideoSyncMethod == 0) {
        ost.SyncPosition = RoundEven(inputFrames);
        return 1;
    }
    const double delta = inputFrames - static_cast<double>(ost.SyncPosition);
    if (delta < -1.1) return 0;
    const bool variableRate =
        Opt.VideoSyncMethod == 2 || (Opt.VideoSyncMethod < 0 && (output->oformat->flags & AVFMT_VARIABLE_FPS));
    if (variableRate) {
        if (delta <= -0.6) return 0;
        if (delta > 0.6) ost.SyncPosition = RoundEven(inputFrames);
        return 1;
    }
    return delta <= 1.1 ? 1 : static_cast<int>(RoundEven(delta));
}

void TCustomFFmpeg::DoVideoOut(AVFormatContext* output, TOutputStream& ost, TInputStream& ist, AVFrame* picture) {
    int frames = VideoFramesToWrite(output, ost);
    if (frames == 0) {
        ++Run_->Counters.FramesDropped;
        Run_->Counters.DupDropPending = true;
        if (Opt.Verbose > 2) GlobalLogger()->Log(this, llVerbose, "*** drop!");
    } else if (frames > 1) {
        Run_->Counters.FramesDuplicated += frames - 1;
        Run_->Counters.DupDropPending = true;
        if (Opt.Verbose > 2) GlobalLogger()->LogFmt(this, llVerbose, "*** %d dup!", frames - 1);
    }
    const int64_t room = static_cast<int64_t>(Opt.MaxFrames[mkVideo]) - ost.FrameNumber;
    frames = static_cast<int>(std::min<int64_t>(frames, room));
    if (frames <= 0) return;

    AVCodecContext* enc = EncoderOf(ost);
    if (ist.FilterOutput && picture->sample_aspect_ratio.num) enc->sample_aspect_ratio = picture->sample_aspect_ratio;
    const bool newGeometry = CheckPictureGeometry(ost, ist);
    AVFrame* toEncode = picture;
    if (Opt.VideoFilters.empty() && ost.VideoResample) toEncode = ScalePicture(ost, picture, newGeometry);

    for (int i = 0; i < frames && !StopRequested; ++i) {
        const int number = ost.FrameNumber + 1;
        const int64_t pts = ff::av_rescale_q(ost.SyncPosition, enc->time_base, MicrosecondBase);
        bool converted = false;
        if (VideoOutputHookRelay) toEncode = RunOutputHook(ost, toEncode, pts, number, converted);
        PreviewPicture(toEncode, converted, pts, number);
        EncodeVideoFrame(output, ost, ist, toEncode, picture);
        ++ost.SyncPosition;
        ++ost.FrameNumber;
    }
}

bool TCustomFFmpeg::CheckPictureGeometry(TOutputStream& ost, const TInputStream& ist) {
    const TVideoInputRun& in = ist.Video;
    if (in.Width == ost.ResampleWidth && in.Height == ost.ResampleHeight && in.PixelFormat == ost.ResamplePixelFormat)
        return false;
    const char* formatName = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(in.PixelFormat));
    const std::string format = formatName ? formatName : "none";
    GlobalLogger()->LogFmt(this, llQuiet, "Input Stream #%d.%d frame size changed to %dx%d, %s", ist.FileIndex,
                           ist.StreamIndex, in.Width, in.Height, format);
    if (!ost.VideoResample) {
        const AVCodecContext* enc = EncoderOf(ost);
        throw FFmpegException(Format("Output stream #%d.%d takes its %dx%d %s pictures unscaled from input stream "
                                     "#%d.%d, whose pictures changed to %dx%d %s",
                                     ost.FileIndex, ost.StreamIndex, enc->width, enc->height,
                                     ff::av_get_pix_fmt_name(enc->pix_fmt), ist.FileIndex, ist.StreamIndex, in.Width,
                                     in.Height, format));
    }
    ost.ResampleWidth = in.Width;
    ost.ResampleHeight = in.Height;
    ost.ResamplePixelFormat = in.PixelFormat;
    return true;
}

AVFrame* TCustomFFmpeg::ScalePicture(TOutputStream& ost, const AVFrame* picture, bool newGeometry) {
    const AVCodecContext* enc = EncoderOf(ost);
    if (newGeometry || !ost.ScaleContext) {
        ost.ScaleContext.reset();
        Opt.SwsFlags = ScalerFlagsOf(Options.get(), Opt.SwsFlags);
        ost.ScaleContext.reset(NewScaler(ost.ResampleWidth, ost.ResampleHeight, ost.ResamplePixelFormat, enc->width,
                                         enc->height, enc->pix_fmt, Opt.SwsFlags));
        if (!ost.ScaleContext) throw FFmpegException("Cannot get resampling context");
    }
    // The encoder may still hold the last scaled picture; it then gets new planes.
    AVFrame* scaled = WritablePicture(ost.TempPicture, enc->pix_fmt, enc->width, enc->height);
    if (!scaled) throw FFmpegException("Cannot allocate temp picture, check pix fmt");
    ff::sws_scale(ost.ScaleContext.get(), picture->data, picture->linesize, 0, ost.ResampleHeight, scaled->data,
                  scaled->linesize);
    return scaled;
}
