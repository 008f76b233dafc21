// TFFDecoder: decoding one picture, keeping it, and handing it out as a bitmap.
#include "Exception.h"
#include "FFDecode.h"
#include "FFLog.h"
#include "Format.h"

namespace {
constexpr AVRational Microseconds{1, 1000000};
}

bool TFFDecoder::DecodeVideoFrame(int streamIndex) {
    if (!CheckSeekable()) return false;
    if (!ChooseVideoStream(streamIndex)) return false;
    // A still image decodes once; later calls keep the stored picture.
    if (pictureReady_ && IsStillImageInput()) return true;
    if (endOfStream_) {
        ReportError(LevelInfo, "stream eof reached.");
        return false;
    }
    if (!OpenVideoCodec(videoStream_)) return false;
    if (!packet_) packet_ = MakePacket();
    if (!frame_) frame_ = MakeFrame();
    if (!packet_ || !frame_) throw Exception("out of memory");

    AVCodecContext* codec = StreamCodec(videoStream_);
    int64_t position = BytePosition();
    int result = 0;
    for (;;) {
        // A packet may hold more than one picture; take what the decoder has first.
        int received = ff::avcodec_receive_frame(codec, frame_.get());
        if (received == 0) {
            TPacketStamp stamp = lastStamp_;
            if (draining_) stamp = {frame_->pkt_dts, frame_->pts, videoStream_, 0};
            GlobalLogger()->LogFmt(this, llDebug, "pkt.st_idx=%d, dts=%d, pts=%d, flags=%d, pict_type=%d",
                                   stamp.StreamIndex, stamp.Dts, stamp.Pts, stamp.Flags,
                                   static_cast<int>(frame_->pict_type));
            StorePicture(frame_.get(), stamp, position);
            ff::av_frame_unref(frame_.get());
            return true;
        }
        if (draining_) {
            // Every held-back picture has been delivered.
            result = AVERROR_EOF;
            break;
        }
        result = ff::av_read_frame(formatContext_, packet_.get());
        if (result < 0) {
            if (result != AVERROR_EOF && !AtEndOfFile()) break;
            // End of input: let the decoder give out the pictures it still holds.
            ff::avcodec_send_packet(codec, nullptr);
            draining_ = true;
            continue;
        }
        if (packet_->stream_index == videoStream_) {
            lastStamp_ = {packet_->dts, packet_->pts, packet_->stream_index, packet_->flags};
            // A damaged packet is skipped; the next one may decode.
            ff::avcodec_send_packet(codec, packet_.get());
        }
        ff::av_packet_unref(packet_.get());
    }
    return EndOfDecode(result);
}

bool TFFDecoder::EndOfDecode(int result) {
    if (result == AVERROR(EAGAIN)) {
        ReportError(LevelInfo, "no data, please try again.");
        return false;
    }
    if (result != AVERROR_EOF && !AtEndOfFile()) {
        ReportError(LevelInfo, Format("unknown error #%d.", result));
        return false;
    }
    ReportError(LevelInfo, "stream eof reached.");
    endOfStream_ = true;
    return false;
}

void TFFDecoder::StorePicture(const AVFrame* frame, const TPacketStamp& stamp, int64_t position) {
    auto format = static_cast<AVPixelFormat>(frame->format);
    int size = ff::av_image_get_buffer_size(format, frame->width, frame->height, 1);
    if (size < 0) throw Exception(Format("frame size of codec is invalid."));
    if (size > frameBufferSize_) {
        frameBuffer_.reset();
        frameBufferSize_ = 0;
        frameBuffer_.reset(static_cast<uint8_t*>(ff::av_malloc(size)));
        if (!frameBuffer_) throw Exception("out of memory");
        frameBufferSize_ = size;
    }

    picturePixelFormat_ = format;
    pictureWidth_ = frame->width;
    pictureHeight_ = frame->height;
    keyFrame_ = frame->key_frame == 1;
    pictureType_ = frame->pict_type >= 0 && frame->pict_type <= 7 ? static_cast<uint8_t>(frame->pict_type) : 0;

    // The decoding time of the packet, else the picture's own (reordered) time.
    int64_t stamp64 = stamp.Dts;
    if (stamp64 == AV_NOPTS_VALUE) stamp64 = frame->pts;
    if (stamp64 == AV_NOPTS_VALUE) stamp64 = stamp.Pts;
    if (framePTS_ != AV_NOPTS_VALUE) prevFramePTS_ = framePTS_;
    if (stamp64 == AV_NOPTS_VALUE) {
        framePTS_ = AV_NOPTS_VALUE;
    } else {
        const AVStream* st = formatContext_->streams[videoStream_];
        if (st->start_time != AV_NOPTS_VALUE) stamp64 -= st->start_time;
        framePTS_ = ff::av_rescale_q(stamp64, st->time_base, Microseconds);
        GlobalLogger()->LogFmt(this, llDebug, "decode PTS: %0.3f", framePTS_ / 1000000.0);
    }

    packetDTS_ = stamp.Dts;
    packetPTS_ = stamp.Pts;
    packetStreamIndex_ = stamp.StreamIndex;
    if (packetPosition_ != -1) prevPacketPosition_ = packetPosition_;
    packetPosition_ = position;

    ff::av_image_fill_arrays(picture_.data, picture_.linesize, frameBuffer_.get(), format,
                             frame->width, frame->height, 1);
    ff::av_image_copy(picture_.data, picture_.linesize, const_cast<const uint8_t**>(frame->data),
                      frame->linesize, format, frame->width, frame->height);
    pictureReady_ = true;
}

bool TFFDecoder::CopyToBitmap(TBitmap& bitmap) {
    if (!pictureReady_) {
        ReportError(LevelError, "picture not ready, please decode first");
        return false;
    }
    auto format = static_cast<AVPixelFormat>(picturePixelFormat_);
    if (converter_.ToRGB(picture_, format, true, pictureHeight_, pictureWidth_)) {
        bitmap = converter_.Bitmap();
        return true;
    }
    bitmap.BitsPixel = converter_.BitsPixel();
    bitmap.SetSize(pictureWidth_, pictureHeight_);
    bitmap.FillBlack();
    ReportError(LevelError, converter_.ErrorText());
    return false;
}
