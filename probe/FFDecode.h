#pragma once
// The media probe: opens one media file, reports its container and stream
// properties (TCustomDecoder), and decodes single video pictures for thumbnails
// (TFFDecoder). One thread at a time uses a probe object.
#include <cstdint>
#include <string>
#include <vector>

#include "FFBaseComponent.h"
#include "FFPtr.h"
#include "FormatConverter.h"

struct TFileStreamInfo {
    int64_t StartTime = -1;   // microseconds; -1 unknown
    int64_t Duration = -1;    // microseconds; -1 unknown
    int32_t BitRate = -1;     // bits per second; 0 when the library does not know it
    int64_t Timestamp = -1;   // creation time, microseconds since 1970; 0 when none
    int32_t Year = -1;        // 0 when none
    int32_t Track = -1;       // 0 when none
    std::string Title;
    std::string Author;
    std::string CopyrightNotice;
    std::string Comment;
    std::string Album;
    std::string Genre;
};

struct TAudioStreamInfo {
    std::string Language;
    std::string CodecDesc;
    int64_t StreamStartTime = -1;  // stream time base; may be AV_NOPTS_VALUE
    int64_t StartTime = -1;        // microseconds
    int64_t StreamDuration = -1;   // stream time base; may be AV_NOPTS_VALUE
    int64_t Duration = -1;         // microseconds
    int32_t BitRate = -1;
    int32_t Channels = -1;
    int32_t SampleRate = -1;
    int32_t SampleFormat = -1;     // AVSampleFormat
};

struct TVideoStreamInfo {
    std::string Language;
    std::string CodecDesc;
    int64_t StreamStartTime = -1;
    int64_t StartTime = -1;
    int64_t StreamDuration = -1;
    int64_t Duration = -1;
    int32_t BitRate = -1;
    int32_t Height = -1;
    int32_t Width = -1;
    float AspectRatio = -1.0f;     // display aspect ratio
    int32_t PixelFormat = -1;      // AVPixelFormat
    int32_t FrameRateNum = -1;
    int32_t FrameRateDen = -1;
};

// A chapter of the open file: its stretch in its own time base
// (TimeBaseNum/TimeBaseDen seconds), as the container gives it.
struct TChapterInfo {
    int64_t Start = 0;
    int64_t End = 0;
    int TimeBaseNum = 1;
    int TimeBaseDen = 1;
    std::string Title;
};

// Library log levels the probe reports at.
constexpr int LevelError = 16;
constexpr int LevelWarning = 24;
constexpr int LevelInfo = 32;
constexpr int LevelDebug = 48;

class TCustomDecoder : public TFFBaseComponent {
public:
    explicit TCustomDecoder(void* owner = nullptr);
    ~TCustomDecoder() override;

    // Opens `fileName`; `formatName` forces an input format (empty: detect).
    // `plainPcm`: an earlier opening of this file found nothing but PCM in
    // its PCM (PcmSearchedPlain), which is not searched again.
    bool LoadFile(const std::wstring& fileName, const std::string& formatName = "", bool plainPcm = false);
    virtual void CloseFile();
    virtual void RefreshStreamInfo();
    // Describes a context opened elsewhere; the probe does not close it.
    virtual void AttachFormatContext(AVFormatContext* context);

    bool GetFileStreamInfo(TFileStreamInfo& info);
    bool GetAudioStreamInfo(int streamIndex, TAudioStreamInfo& info);
    bool GetVideoStreamInfo(int streamIndex, TVideoStreamInfo& info);
    std::wstring GetFileName();

    static std::string CodecDescription(const AVCodecContext* codec);
    // Raises Exception when a library the probe needs is not loaded.
    static void CheckLibraries();
    // Logs `text` at the library level given and keeps it in LastErrMsg.
    void ReportError(int level, const std::string& text);

    AVFormatContext* FormatContext() const { return formatContext_; }
    bool OwnsContext() const { return ownsContext_; }
    const std::string& LastErrMsg() const { return lastErrMsg_; }
    const std::string& ForceFormat() const { return forceFormat_; }
    int64_t FileSize() const { return fileSize_; }
    int StreamCount() const { return streamCount_; }
    int ProgramCount() const { return programCount_; }
    int AudioStreamCount() const { return audioStreamCount_; }
    int VideoStreamCount() const { return videoStreamCount_; }
    int SubtitleStreamCount() const { return subtitleStreamCount_; }
    int FirstAudioStream() const { return firstAudioStream_; }
    int FirstVideoStream() const { return firstVideoStream_; }
    int FirstSubtitleStream() const { return firstSubtitleStream_; }
    // The open file's chapters, in the order of their starts (FLAC's embedded
    // cue sheet block comes as chapters too, one per track).
    const std::vector<TChapterInfo>& Chapters() const { return chapters_; }
    // The cue sheet an album image carries as its "cuesheet" tag (FLAC,
    // APE, WavPack); "" when none.
    const std::string& EmbeddedCueSheet() const { return embeddedCueSheet_; }

protected:
    // The decoder context of stream `index`, holding the stream's parameters.
    AVCodecContext* StreamCodec(int index) const;
    // Replaces the context of stream `index` by a fresh, unopened one.
    void ResetStreamCodec(int index);
    // Common checks of the two stream getters; the stream or nullptr.
    AVStream* CheckStreamIndex(int& index, AVMediaType type);

    AVFormatContext* formatContext_ = nullptr;
    bool ownsContext_ = false;
    std::string lastErrMsg_;
    std::string forceFormat_;
    int64_t fileSize_ = -1;
    int streamCount_ = -1;
    int programCount_ = -1;
    int audioStreamCount_ = -1;
    int videoStreamCount_ = -1;
    int subtitleStreamCount_ = -1;
    int firstAudioStream_ = -1;
    int firstVideoStream_ = -1;
    int firstSubtitleStream_ = -1;
    std::vector<TChapterInfo> chapters_;
    std::string embeddedCueSheet_;

private:
    void CloseContext();
    void RefreshFileSize();
    void RefreshStreamCodecs();
    void RefreshChapters();

    // One decoder context per stream of the open file, made from the stream's
    // parameters; the video decoder opens the one of its stream in place.
    std::vector<CodecContextPtr> streamCodecs_;
};

class TFFDecoder : public TCustomDecoder {
public:
    explicit TFFDecoder(void* owner = nullptr);
    ~TFFDecoder() override;

    void CloseFile() override;
    void RefreshStreamInfo() override;

    // Flags: AVSEEK_FLAG_BACKWARD 1, _BYTE 2, _ANY 4, _FRAME 8. Without the
    // byte flag the position is in microseconds.
    bool Seek(uint8_t flags, int64_t position);
    // Decodes the next picture of `streamIndex` (negative: the current or first
    // video stream) and stores it. False at the end of the stream or on error.
    bool DecodeVideoFrame(int streamIndex = -1);
    // Converts the stored picture to `bitmap`'s layout (the converter's BitsPixel).
    bool CopyToBitmap(TBitmap& bitmap);

    TFormatConverter& Converter() { return converter_; }
    int CurrentStream() const { return currentStream_; }
    int64_t StartOffset() const { return startOffset_; }
    int VideoStream() const { return videoStream_; }
    bool EndOfStream() const { return endOfStream_; }
    int PicturePixelFormat() const { return picturePixelFormat_; }
    int PictureWidth() const { return pictureWidth_; }
    int PictureHeight() const { return pictureHeight_; }
    bool KeyFrame() const { return keyFrame_; }
    uint8_t PictureType() const { return pictureType_; }
    int64_t FramePTS() const { return framePTS_; }
    int64_t PacketDTS() const { return packetDTS_; }
    int64_t PacketPTS() const { return packetPTS_; }
    int PacketStreamIndex() const { return packetStreamIndex_; }
    int64_t PacketPosition() const { return packetPosition_; }
    bool PictureReady() const { return pictureReady_; }
    const TPicture& Picture() const { return picture_; }
    int64_t PrevFramePTS() const { return prevFramePTS_; }
    int64_t PrevPacketPosition() const { return prevPacketPosition_; }

private:
    bool CheckSeekable();
    bool IsStillImageInput() const;
    void ResetPicture();
    bool ChooseVideoStream(int& streamIndex);
    bool OpenVideoCodec(int streamIndex);
    // Time stamps of the packet that completed a picture.
    struct TPacketStamp {
        int64_t Dts = AV_NOPTS_VALUE;
        int64_t Pts = AV_NOPTS_VALUE;
        int StreamIndex = -1;
        int Flags = 0;
    };
    bool EndOfDecode(int result);
    void StorePicture(const AVFrame* frame, const TPacketStamp& stamp, int64_t position);
    int64_t BytePosition() const;
    bool AtEndOfFile() const;

    TFormatConverter converter_;
    int openCodecStream_ = -1;  // stream whose decoder context is open
    bool draining_ = false;     // end of input: the decoder was told to flush
    int currentStream_ = -1;
    int64_t startOffset_ = 0;
    int videoStream_ = -1;
    bool endOfStream_ = false;
    int picturePixelFormat_ = -1;
    int pictureWidth_ = -1;
    int pictureHeight_ = -1;
    bool keyFrame_ = false;
    uint8_t pictureType_ = 0;
    int64_t framePTS_ = AV_NOPTS_VALUE;
    int64_t packetDTS_ = AV_NOPTS_VALUE;
    int64_t packetPTS_ = AV_NOPTS_VALUE;
    int packetStreamIndex_ = -1;
    int64_t packetPosition_ = -1;
    bool pictureReady_ = false;
    TPicture picture_;
    LibraryMemoryPtr<uint8_t> frameBuffer_;
    int frameBufferSize_ = 0;
    int64_t prevFramePTS_ = AV_NOPTS_VALUE;
    int64_t prevPacketPosition_ = -1;
    TPacketStamp lastStamp_;
    PacketPtr packet_;  // made on first decode, when the libraries are surely bound
    FramePtr frame_;
};

// Closes the decoder's open file however the scope that opened it ends.
class TCloseFileGuard {
public:
    explicit TCloseFileGuard(TCustomDecoder& decoder) : decoder_(decoder) {}
    ~TCloseFileGuard() { decoder_.CloseFile(); }
    TCloseFileGuard(const TCloseFileGuard&) = delete;
    TCloseFileGuard& operator=(const TCloseFileGuard&) = delete;

private:
    TCustomDecoder& decoder_;
};
