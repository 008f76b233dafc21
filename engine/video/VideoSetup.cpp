// Preparing a video output stream for encoding: the scaler from the decoder's
// pictures to the encoder's, or the filter chain that does the same, and the
// log of a two-pass encoding.
#include "Format.h"
#include "MyUtilStubs.h"
#include "RunTables.h"
#include "VideoPath.h"

void TCustomFFmpeg::PrepareVideoEncoding(TOutputStream& ost, TInputStream& ist) {
    AVCodecContext* enc = EncoderOf(ost);
    const AVCodecContext* dec = ist.Decoder.get();
    if (enc->pix_fmt == AV_PIX_FMT_NONE)
        throw FFmpegException("Video pixel format is unknown, stream cannot be encoded");
    ost.VideoResample =
        dec->width != enc->width || dec->height != enc->height || dec->pix_fmt != enc->pix_fmt ? 1 : 0;
    if (ost.VideoResample && Opt.VideoFilters.empty()) {
        if (!WritablePicture(ost.TempPicture, enc->pix_fmt, enc->width, enc->height))
            throw FFmpegException("Cannot allocate temp picture, check pix fmt");
        Opt.SwsFlags = ScalerFlagsOf(Options.get(), Opt.SwsFlags);
        ost.ScaleContext.reset(
            NewScaler(dec->width, dec->height, dec->pix_fmt, enc->width, enc->height, enc->pix_fmt, Opt.SwsFlags));
        if (!ost.ScaleContext) throw FFmpegException("Cannot get resampling context");
        ost.InitialHeight = dec->height;
        ost.InitialWidth = dec->width;
    }
    if (ost.VideoResample) enc->bits_per_raw_sample = 0;
    ost.ResampleHeight = dec->height;
    ost.ResampleWidth = dec->width;
    ost.ResamplePixelFormat = dec->pix_fmt;
    ost.NeedsEncoding = 1;
    ist.NeedsDecoding = 1;

    std::string filterError;
    if (!Opt.VideoFilters.empty() && ConfigureVideoFilters(ist, ost, filterError) < 0)
        throw FFmpegException(filterError.empty() ? "Error opening filters!" : "Error opening filters: " + filterError);
}

void TCustomFFmpeg::SetUpPassLog(TOutputStream& ost, int tableIndex) {
    AVCodecContext* enc = EncoderOf(ost);
    std::string name =
        Format("%s-%d.log", Opt.PassLogPrefix.empty() ? std::string("ffmpeg2pass") : Opt.PassLogPrefix, tableIndex);
    if (name.size() >= 1024) name.resize(1023);
    // Encoders that keep their own statistics file (H.264) keep it under the same name.
    if (enc->priv_data && ff::av_opt_find(enc->priv_data, "stats", nullptr, 0, 0))
        ff::av_opt_set(enc->priv_data, "stats", name.c_str(), 0);
    if (enc->flags & AV_CODEC_FLAG_PASS1) {
        ost.PassLogFile = ff::fopen(name.c_str(), "wb");
        if (!ost.PassLogFile) throw FFmpegException(Format("Cannot write log file %s for pass-1 encoding", name));
        return;
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
}
