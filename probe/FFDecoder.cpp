// TFFDecoder: seeking and decoding single pictures of an open file.
#include <cctype>

#include "Exception.h"
#include "FFDecode.h"
#include "FFLog.h"
#include "Format.h"

namespace {

constexpr AVRational Microseconds{1, 1000000};

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

TFFDecoder::TFFDecoder(void* owner) : TCustomDecoder(owner) { TFFDecoder::RefreshStreamInfo(); }

TFFDecoder::~TFFDecoder() { TFFDecoder::CloseFile(); }

void TFFDecoder::RefreshStreamInfo() {
    TCustomDecoder::RefreshStreamInfo();
    currentStream_ = firstVideoStream_ >= 0 ? firstVideoStream_ : firstAudioStream_;
    startOffset_ = 0;
    if (!formatContext_) return;
    int64_t start = currentStream_ >= 0 ? formatContext_->streams[currentStream_]->start_time
                                        : formatContext_->start_time;
    if (start != AV_NOPTS_VALUE) startOffset_ = start;
}

void TFFDecoder::CloseFile() {
    currentStream_ = -1;
    startOffset_ = -1;
    videoStream_ = -1;
    endOfStream_ = false;
    draining_ = false;
    ResetPicture();
    openCodecStream_ = -1;  // the base frees every stream's decoder context
    TCustomDecoder::CloseFile();
}

void TFFDecoder::ResetPicture() {
    if (framePTS_ != AV_NOPTS_VALUE) prevFramePTS_ = framePTS_;
    if (packetPosition_ != -1) prevPacketPosition_ = packetPosition_;
    picturePixelFormat_ = pictureWidth_ = pictureHeight_ = -1;
    keyFrame_ = false;
    pictureType_ = 0;
    framePTS_ = packetDTS_ = packetPTS_ = AV_NOPTS_VALUE;
    packetStreamIndex_ = -1;
    packetPosition_ = -1;
    pictureReady_ = false;
}

int64_t TFFDecoder::BytePosition() const {
    AVIOContext* pb = formatContext_ ? formatContext_->pb : nullptr;
    return pb ? ff::avio_seek(pb, 0, SEEK_CUR) : -1;
}

bool TFFDecoder::AtEndOfFile() const {
    AVIOContext* pb = formatContext_ ? formatContext_->pb : nullptr;
    return pb && ff::avio_feof(pb);
}

bool TFFDecoder::IsStillImageInput() const {
    // Single pictures now come through the "<codec>_pipe" demuxers as well as
    // through "image2"; both hold one picture and cannot be sought.
    if (!formatContext_ || !formatContext_->iformat) return false;
    std::string name = Lower(formatContext_->iformat->name ? formatContext_->iformat->name : "");
    return name == "image2" || EndsWith(name, "_pipe");
}

bool TFFDecoder::CheckSeekable() {
    if (!formatContext_) {
        ReportError(LevelWarning, "file not loaded.");
        return false;
    }
    if (!ownsContext_) {
        ReportError(LevelWarning, "file cannot be seeked, handle is readonly.");
        throw Exception("file cannot be seeked, handle is readonly.");
    }
    return true;
}

bool TFFDecoder::Seek(uint8_t flags, int64_t position) {
    if (!CheckSeekable()) return false;
    if (IsStillImageInput()) {
        ReportError(LevelInfo, "\"image2\" format cannot to be seeked.");
        return false;
    }
    bool hasBytes = formatContext_->pb != nullptr;
    if (hasBytes) GlobalLogger()->LogFmt(this, llDebug, "current position %d bytes", BytePosition());

    bool byBytes = flags & AVSEEK_FLAG_BYTE;
    if (position < 0) position = 0;
    int64_t target = position;
    if (!byBytes && currentStream_ >= 0)
        target = ff::av_rescale_q(position, Microseconds, formatContext_->streams[currentStream_]->time_base);
    if (!byBytes && startOffset_ > 0) target += startOffset_;

    if (AVCodecContext* codec = StreamCodec(openCodecStream_)) ff::avcodec_flush_buffers(codec);
    draining_ = false;
    endOfStream_ = false;
    ResetPicture();

    int r;
    if (target > 0) {
        r = ff::av_seek_frame(formatContext_, currentStream_, target, flags & 15);
    } else {
        r = ff::av_seek_frame(formatContext_, currentStream_, 0, (flags | AVSEEK_FLAG_BACKWARD) & 15);
        if (r < 0)
            r = ff::av_seek_frame(formatContext_, currentStream_, target, flags & ~AVSEEK_FLAG_BACKWARD & 15);
    }
    if (r < 0) {
        ReportError(LevelError, byBytes ? Format("could not seek to position %d bytes", position)
                                        : Format("could not seek to position %0.3f seconds",
                                                 position / 1000000.0));
        return false;
    }
    if (hasBytes) GlobalLogger()->LogFmt(this, llDebug, "seek to position %d bytes", BytePosition());
    if (AtEndOfFile()) {
        ReportError(LevelInfo, "stream eof reached.");
        endOfStream_ = true;
        return false;
    }
    return true;
}

bool TFFDecoder::ChooseVideoStream(int& index) {
    if (index < 0) {
        index = videoStream_ >= 0 ? videoStream_ : firstVideoStream_;
        if (index < 0) {
            ReportError(LevelError, "no video stream.");
            return false;
        }
    } else if (index >= streamCount_) {
        ReportError(LevelError, Format("stream index #%d is invalid.", index));
        return false;
    }
    if (formatContext_->streams[index]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        ReportError(LevelError, Format("stream #%d is not video stream.", index));
        return false;
    }
    if (index != videoStream_) ResetPicture();
    videoStream_ = index;
    return true;
}

bool TFFDecoder::OpenVideoCodec(int index) {
    AVCodecContext* codec = StreamCodec(index);
    if (codec->width == 0 || codec->height == 0) {
        ReportError(LevelError, "frame size of codec is invalid.");
        return false;
    }
    if (openCodecStream_ == index) return true;
    if (openCodecStream_ >= 0) {
        // An opened context cannot be reopened; the stream gets a fresh one.
        ResetStreamCodec(openCodecStream_);
        openCodecStream_ = -1;
        draining_ = false;
    }
    const AVCodec* decoder = ff::avcodec_find_decoder(codec->codec_id);
    if (!decoder) {
        ReportError(LevelError, Format("Unsupported codec (id=%d) for input file stream #%d",
                                       codec->codec_id, index));
        return false;
    }
    // One picture at a time: frame threads would hold pictures back.
    codec->thread_count = 1;
    if (CodecOpen(codec, decoder, nullptr) < 0) {
        ResetStreamCodec(index);
        ReportError(LevelError, Format("Error while opening codec for input file stream #%d", index));
        return false;
    }
    openCodecStream_ = index;
    return true;
}
