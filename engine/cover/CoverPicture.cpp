// The cover picture of a source stream, and its PNG coding for a picture
// whose coding the tags cannot name.
#include <algorithm>
#include <functional>

#include "CoverArt.h"
#include "FFUtils.h"
#include "Format.h"
#include "TaskTypes.h"

namespace {

int DepthOf(int pixelFormat) {
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(pixelFormat));
    if (!desc) return 0;
    // Components times their depth: a JPEG in YUV 4:2:0 counts as 24 bits, as tag writers count it.
    return desc->nb_components * desc->comp[0].depth;
}

std::string Tag(const AVStream* st, const char* key) {
    const AVDictionaryEntry* entry = ff::av_dict_get(st->metadata, key, nullptr, 0);
    return entry && entry->value ? entry->value : "";
}

void Check(int ret, const char* what) {
    if (ret < 0) throw FFmpegException(LibraryErrorText(Format("Cover picture: %s", what), ret));
}

CodecContextPtr OpenCodec(const AVCodec* codec, const std::function<void(AVCodecContext*)>& setup, const char* what) {
    if (!codec) throw FFmpegException(Format("Cover picture: no %s", what));
    CodecContextPtr ctx(ff::avcodec_alloc_context3(codec));
    if (!ctx) throw FFmpegException("avcodec_alloc_context failed");
    setup(ctx.get());
    Check(CodecOpen(ctx.get(), codec, nullptr), what);
    return ctx;
}

FramePtr DecodePicture(const TCoverPicture& picture) {
    CodecContextPtr decoder = OpenCodec(ff::avcodec_find_decoder(picture.Codec), [](AVCodecContext*) {}, "decoder");
    PacketPtr packet = MakePacket();
    FramePtr frame = MakeFrame();
    if (!packet || !frame) throw FFmpegException("av_mallocz fail");
    Check(ff::av_new_packet(packet.get(), static_cast<int>(picture.Data.size())), "decoder");
    std::copy(picture.Data.begin(), picture.Data.end(), packet->data);
    packet->flags |= AV_PKT_FLAG_KEY;
    Check(ff::avcodec_send_packet(decoder.get(), packet.get()), "decoder");
    Check(ff::avcodec_send_packet(decoder.get(), nullptr), "decoder");
    Check(ff::avcodec_receive_frame(decoder.get(), frame.get()), "decoder");
    return frame;
}

} // namespace

std::string PictureMimeType(AVCodecID codec) {
    switch (codec) {
    case AV_CODEC_ID_MJPEG: return "image/jpeg";
    case AV_CODEC_ID_PNG: return "image/png";
    case AV_CODEC_ID_GIF: return "image/gif";
    case AV_CODEC_ID_BMP: return "image/bmp";
    default: return "";
    }
}

TCoverPicture CoverOfStream(const AVStream* st) {
    TCoverPicture picture;
    picture.Codec = st->codecpar->codec_id;
    picture.Width = st->codecpar->width;
    picture.Height = st->codecpar->height;
    picture.Depth = DepthOf(st->codecpar->format);
    picture.Description = Tag(st, "title");
    picture.Data.assign(st->attached_pic.data, st->attached_pic.data + st->attached_pic.size);
    return picture;
}

TCoverPicture CoverAsPng(const TCoverPicture& picture) {
    FramePtr decoded = DecodePicture(picture);
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(decoded->format));
    const bool alpha = desc && (desc->flags & AV_PIX_FMT_FLAG_ALPHA);
    const AVPixelFormat target = alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;

    FramePtr rgb = MakeFrame();
    if (!rgb) throw FFmpegException("av_mallocz fail");
    rgb->format = target;
    rgb->width = decoded->width;
    rgb->height = decoded->height;
    Check(ff::av_frame_get_buffer(rgb.get(), 0), "picture buffer");
    const auto source = static_cast<AVPixelFormat>(decoded->format);
    SwsContextPtr scaler(ff::sws_getContext(decoded->width, decoded->height, source, rgb->width, rgb->height, target,
                                            SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler) throw FFmpegException("Cannot get resampling context");
    ff::sws_scale(scaler.get(), decoded->data, decoded->linesize, 0, decoded->height, rgb->data, rgb->linesize);

    CodecContextPtr encoder = OpenCodec(ff::avcodec_find_encoder(AV_CODEC_ID_PNG), [&](AVCodecContext* c) {
        c->width = rgb->width;
        c->height = rgb->height;
        c->pix_fmt = target;
        c->time_base = AVRational{1, 1};
    }, "PNG encoder");
    Check(ff::avcodec_send_frame(encoder.get(), rgb.get()), "PNG encoder");
    Check(ff::avcodec_send_frame(encoder.get(), nullptr), "PNG encoder");
    PacketPtr packet = MakePacket();
    if (!packet) throw FFmpegException("av_mallocz fail");
    Check(ff::avcodec_receive_packet(encoder.get(), packet.get()), "PNG encoder");

    TCoverPicture png = picture;
    png.Codec = AV_CODEC_ID_PNG;
    png.Width = rgb->width;
    png.Height = rgb->height;
    png.Depth = alpha ? 32 : 24;
    png.Data.assign(packet->data, packet->data + packet->size);
    return png;
}
