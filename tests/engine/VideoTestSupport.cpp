#include "VideoTestSupport.h"

#include "FFPtr.h"
#include "MediaIO.h"

TProbed ProbeVideo(const std::string& path) {
    return ProbeEntries(path, "-select_streams v:0 -show_entries stream=codec_name,width,height,r_frame_rate,pix_fmt");
}

TVideoDecoded::TRgb TVideoDecoded::Pixel(int x, int y) const {
    const uint8_t* p = Rgb.data() + (static_cast<size_t>(y) * Width + x) * 3;
    return {p[0], p[1], p[2]};
}

double TVideoDecoded::RowMean(int y) const {
    double sum = 0;
    for (int i = 0; i < Width * 3; ++i) sum += Rgb[static_cast<size_t>(y) * Width * 3 + i];
    return Width ? sum / (Width * 3) : 0;
}

TVideoDecoded DecodeVideoFile(const std::string& path) {
    TVideoDecoded result;
    TReadBack file = OpenReadBack(path, AVMEDIA_TYPE_VIDEO);
    if (!file.Input) return result;
    AVFormatContext* raw = file.Input.get();
    const int index = file.Index;
    const AVStream* st = file.Stream;
    CodecContextPtr& dec = file.Decoder;
    PacketPtr pkt = MakePacket();
    FramePtr frame = MakeFrame();
    auto take = [&]() {
        for (;;) {
            const int r = ff::avcodec_receive_frame(dec.get(), frame.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            if (r < 0) {
                ++result.Errors;
                return;
            }
            if (result.Frames++ == 0) {
                result.Width = frame->width;
                result.Height = frame->height;
                result.Rgb.resize(static_cast<size_t>(frame->width) * frame->height * 3);
                SwsContextPtr sws(ff::sws_getContext(frame->width, frame->height,
                                                     static_cast<AVPixelFormat>(frame->format), frame->width,
                                                     frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr,
                                                     nullptr));
                uint8_t* planes[4] = {result.Rgb.data(), nullptr, nullptr, nullptr};
                int lines[4] = {frame->width * 3, 0, 0, 0};
                ff::sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, planes, lines);
            }
            const int64_t ts = frame->best_effort_timestamp;
            result.Times.push_back(ts == AV_NOPTS_VALUE ? -1.0 : ts * av_q2d(st->time_base));
            ff::av_frame_unref(frame.get());
        }
    };
    while (ff::av_read_frame(raw, pkt.get()) >= 0) {
        if (pkt->stream_index == index) {
            if (ff::avcodec_send_packet(dec.get(), pkt.get()) < 0) ++result.Errors;
            take();
        }
        ff::av_packet_unref(pkt.get());
    }
    ff::avcodec_send_packet(dec.get(), nullptr);
    take();
    return result;
}

TOutputOptions VideoOutput(const std::string& codec) {
    TOutputOptions o;
    ResetOutputOptions(o);
    o.VideoCodec = codec;
    o.DisableAudio = o.DisableSubtitle = true;
    return o;
}
