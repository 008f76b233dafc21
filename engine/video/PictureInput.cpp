// A decoded picture on its way to the video outputs: deinterlaced, shown to
// the video-input hook or to the frame hook modules, and, with a filter chain,
// through the chain first.
#include "FFLog.h"
#include "SourceDecoder.h"
#include "VideoPath.h"

void TSourceDecoder::HandOverPicture(TInputStream& ist, int index, AVFrame* decoded) {
    AVFrame* picture = PreprocessPicture(ist, decoded);
    if (ist.FilterInput && !ist.Video.FilterClosed) {
        picture->pts = ist.Pts;
        if (!picture->sample_aspect_ratio.num) picture->sample_aspect_ratio = ist.Decoder->sample_aspect_ratio;
        const int ret = ff::av_buffersrc_add_frame_flags(ist.FilterInput, picture, AV_BUFFERSRC_FLAG_KEEP_REF);
        if (ret < 0) throw FilteringError(ist, ret);
    }
    EmulateRate(ist);
    if (ist.FilterOutput) {
        RouteFilteredPictures(ist, index);
        return;
    }
    TDecodedData routed;
    routed.Picture = picture;
    route_.Route(ist, index, nullptr, routed);
}

AVFrame* TSourceDecoder::PreprocessPicture(TInputStream& ist, AVFrame* decoded) {
    TVideoInputRun& video = ist.Video;
    ++video.PictureCount;
    video.Width = decoded->width;
    video.Height = decoded->height;
    video.PixelFormat = decoded->format;
    if (!settings_.Deinterlace && !pictureHooks_.HooksInput() && !settings_.FrameHooks) return decoded;

    AVFrame* picture = WritablePicture(video.HookPicture, decoded->format, decoded->width, decoded->height);
    if (!picture || ff::av_frame_copy_props(picture, decoded) < 0) {
        GlobalLogger()->Log(sender_, llError, "hook buf malloc error.");
        return decoded;
    }
    const auto format = static_cast<AVPixelFormat>(decoded->format);
    bool deinterlaced = false;
    if (settings_.Deinterlace) {
        deinterlaced = video.Deinterlacer.Deinterlace(decoded, picture);
        if (!deinterlaced) GlobalLogger()->Log(sender_, llError, "Deinterlacing failed.");
    }
    if (!deinterlaced)
        ff::av_image_copy(picture->data, picture->linesize, const_cast<const uint8_t**>(decoded->data),
                          decoded->linesize, format, decoded->width, decoded->height);
    if (deinterlaced) picture->interlaced_frame = 0;

    if (pictureHooks_.HooksInput()) {
        pictureHooks_.HookInput(picture, ist.Pts, video.PictureCount);
    } else if (settings_.FrameHooks) {
        TPicture planes = PictureOf(picture);
        ProcessFrameHooks(frameHooks_, &planes, format, picture->width, picture->height, ist.Pts);
    }
    return picture;
}
