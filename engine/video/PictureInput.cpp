// A decoded picture on its way to the video outputs: deinterlaced, shown to
// the video-input hook or to the frame hook modules, and, with a filter chain,
// through the chain first.
#include "FFLog.h"
#include "RunTables.h"
#include "VideoPath.h"

void TCustomFFmpeg::HandOverPicture(TInputStream& ist, int index, AVFrame* decoded) {
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
    RouteDecoded(ist, index, nullptr, routed);
}

AVFrame* TCustomFFmpeg::PreprocessPicture(TInputStream& ist, AVFrame* decoded) {
    TVideoInputRun& video = ist.Video;
    ++video.PictureCount;
    video.Width = decoded->width;
    video.Height = decoded->height;
    video.PixelFormat = decoded->format;
    if (!Opt.Deinterlace && !PictureHooks.HooksInput() && !Opt.VideoHookActive) return decoded;

    AVFrame* picture = WritablePicture(video.HookPicture, decoded->format, decoded->width, decoded->height);
    if (!picture || ff::av_frame_copy_props(picture, decoded) < 0) {
        GlobalLogger()->Log(this, llError, "hook buf malloc error.");
        return decoded;
    }
    const auto format = static_cast<AVPixelFormat>(decoded->format);
    bool deinterlaced = false;
    if (Opt.Deinterlace) {
        deinterlaced = video.Deinterlacer.Deinterlace(decoded, picture);
        if (!deinterlaced) GlobalLogger()->Log(this, llError, "Deinterlacing failed.");
    }
    if (!deinterlaced)
        ff::av_image_copy(picture->data, picture->linesize, const_cast<const uint8_t**>(decoded->data),
                          decoded->linesize, format, decoded->width, decoded->height);
    if (deinterlaced) picture->interlaced_frame = 0;

    if (PictureHooks.HooksInput()) {
        PictureHooks.HookInput(picture, ist.Pts, video.PictureCount);
    } else if (Opt.VideoHookActive) {
        TPicture planes = PictureOf(picture);
        ProcessFrameHooks(VideoHooks, &planes, format, picture->width, picture->height, ist.Pts);
    }
    return picture;
}
