// Preparing a video stage: the scaler from the decoder's pictures to the
// encoder's (a filter chain, set up by the task, does the same itself), the
// encoder's frame and packet, and the log of a two-pass encoding.
#include "Format.h"
#include "TaskTypes.h"
#include "VideoOutput.h"
#include "VideoPath.h"

void TVideoOutput::Prepare(TInputStream& ist) {
    TOutputStream& ost = *links_.Stream;
    AVCodecContext* enc = Encoder();
    const AVCodecContext* dec = ist.Decoder.get();
    if (enc->pix_fmt == AV_PIX_FMT_NONE)
        throw FFmpegException("Video pixel format is unknown, stream cannot be encoded");
    scaling_ = dec->width != enc->width || dec->height != enc->height || dec->pix_fmt != enc->pix_fmt;
    if (scaling_ && !settings_.Filtered) {
        if (!WritablePicture(scaled_, enc->pix_fmt, enc->width, enc->height))
            throw FFmpegException("Cannot allocate temp picture, check pix fmt");
        scaler_.reset(NewScaler(dec->width, dec->height, dec->pix_fmt, enc->width, enc->height, enc->pix_fmt,
                                settings_.ScalerFlags));
        if (!scaler_) throw FFmpegException("Cannot get resampling context");
    }
    if (scaling_) enc->bits_per_raw_sample = 0;
    sourceHeight_ = dec->height;
    sourceWidth_ = dec->width;
    sourceFormat_ = dec->pix_fmt;
    forcedKeyFrames_ = std::move(ost.ForcedKeyFrames);
    ost.ForcedKeyFrames.clear();
    ost.NeedsEncoding = 1;
    ist.NeedsDecoding = 1;
    if (links_.Lead != links_.Stream) return;
    frame_ = MakeFrame();
    packet_ = MakePacket();
    if (!frame_ || !packet_) throw FFmpegException("av_mallocz fail");
}

PassLogPtr OpenPassLog(AVCodecContext* enc, const std::string& prefix, int tableIndex) {
    std::string name = Format("%s-%d.log", prefix.empty() ? std::string("ffmpeg2pass") : prefix, tableIndex);
    if (name.size() >= 1024) name.resize(1023);
    // Encoders that keep their own statistics file (H.264) keep it under the same name.
    if (enc->priv_data && ff::av_opt_find(enc->priv_data, "stats", nullptr, 0, 0))
        ff::av_opt_set(enc->priv_data, "stats", name.c_str(), 0);
    if (enc->flags & AV_CODEC_FLAG_PASS1) {
        PassLogPtr log(ff::fopen(name.c_str(), "wb"));
        if (!log) throw FFmpegException(Format("Cannot write log file %s for pass-1 encoding", name));
        return log;
    }
    char* text = nullptr;
    size_t size = 0;
    const int ret = ReadWholeFile(name, &text, &size);
    if (ret == AVERROR(ENOMEM))
        throw FFmpegException(
            Format("Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding", name));
    if (ret < 0)
        throw FFmpegException(Format("Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name));
    ff::av_freep(&enc->stats_in);
    enc->stats_in = text;
    return nullptr;
}
