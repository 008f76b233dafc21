// Opening a media file and describing it: TCustomDecoder's life cycle.
#include <algorithm>
#include <sys/stat.h>

#include "Exception.h"
#include "FFDecode.h"
#include "FFLoad.h"
#include "FFPtr.h"
#include "FFLog.h"
#include "FFUtils.h"
#include "Format.h"
#include "MediaIO.h"
#include "UnicodeProtocol.h"

namespace {

constexpr char UnicodePrefix[] = "unicode:utf8:";

// The bytes of the file's name on disk: the URL without the "unicode:utf8:"
// prefix (UTF-8), or the locale form the library was given.
std::string DiskName(const std::string& url) {
    if (IsUnicodeURL(url) && url.rfind(UnicodePrefix, 0) == 0) return url.substr(sizeof UnicodePrefix - 1);
    return url;
}

}  // namespace

TCustomDecoder::TCustomDecoder(void* owner) : TFFBaseComponent(owner) {
    TCustomDecoder::RefreshStreamInfo();
}

TCustomDecoder::~TCustomDecoder() { TCustomDecoder::CloseFile(); }

void TCustomDecoder::CheckLibraries() {
    TFFLoader* loader = FFLoader();
    if (!loader || !loader->IsLoaded(LibAVCodec)) throw Exception("LibAVCodec not loaded.");
    if (!loader->IsLoaded(LibAVFormat)) throw Exception("LibAVFormat not loaded.");
    if (!loader->IsLoaded(LibAVUtil)) throw Exception("LibAVUtil not loaded.");
    if (!loader->IsLoaded(LibSwScale)) throw Exception("LibSwScale not loaded.");
}

void TCustomDecoder::ReportError(int level, const std::string& text) {
    lastErrMsg_ = text;
    GlobalLogger()->Log(this, FromLibraryLevel(level), text);
}

bool TCustomDecoder::LoadFile(const std::wstring& fileName, const std::string& formatName, bool plainPcm) {
    CheckLibraries();
    CloseFile();

    const AVInputFormat* format = nullptr;
    if (!formatName.empty()) {
        format = ff::av_find_input_format(formatName.c_str());
        if (!format) {
            lastErrMsg_ = Format("Unknown input format: %s", formatName);
            return false;
        }
    }

    std::string url = FileNameToURL(fileName);
    const std::string refused = InputKindError(url);
    if (!refused.empty()) {
        ReportError(LevelError, refused);
        return false;
    }
    AVFormatContext* context = nullptr;
    AVDictionary* dict = nullptr;
    if (plainPcm) SkipPcmSearch(&dict);
    int r = OpenInputURL(&context, url, format, &dict);
    const DictionaryPtr unused(dict);
    if (r < 0) {
        ReportError(LevelError, InputOpenErrorText(url, r));
        CloseFile();
        return false;
    }
    formatContext_ = context;
    ownsContext_ = true;
    // Non-blocking reads: a demuxer that has nothing yet says so instead of
    // waiting. (The open itself reads a plain file, where this makes no difference.)
    context->flags |= AVFMT_FLAG_NONBLOCK;

    if (ff::avformat_find_stream_info(context, nullptr) < 0) {
        lastErrMsg_ = Format("%s: could not find codec parameters", DiskName(url));
        CloseFile();
        return false;
    }
    RefreshStreamInfo();
    forceFormat_ = formatName;
    return true;
}

void TCustomDecoder::CloseContext() {
    streamCodecs_.clear();
    if (formatContext_ && ownsContext_) CloseInputURL(&formatContext_);
    formatContext_ = nullptr;
}

void TCustomDecoder::CloseFile() {
    forceFormat_.clear();
    CloseContext();
    RefreshStreamInfo();
}

void TCustomDecoder::AttachFormatContext(AVFormatContext* context) {
    if (context == formatContext_) return;
    CheckLibraries();
    CloseFile();
    ownsContext_ = false;
    formatContext_ = context;
    RefreshStreamInfo();
}

void TCustomDecoder::RefreshFileSize() {
    fileSize_ = -1;
    int64_t librarySize = formatContext_->pb ? ff::avio_size(formatContext_->pb) : 0;
    if (librarySize > 0) {
        fileSize_ = librarySize;
        return;
    }
    // Streams that cannot tell their size (pipes, custom I/O) still name a file.
    std::string name = DiskName(formatContext_->url ? formatContext_->url : "");
    struct stat st {};
    if (!name.empty() && ::stat(name.c_str(), &st) == 0) {
        fileSize_ = S_ISDIR(st.st_mode) ? librarySize : static_cast<int64_t>(st.st_size);
        return;
    }
    fileSize_ = librarySize;
}

void TCustomDecoder::RefreshStreamCodecs() {
    if (streamCodecs_.size() == formatContext_->nb_streams) return;
    streamCodecs_.clear();
    for (unsigned i = 0; i < formatContext_->nb_streams; ++i) {
        streamCodecs_.emplace_back();
        ResetStreamCodec(static_cast<int>(i));
    }
}

void TCustomDecoder::ResetStreamCodec(int index) {
    const AVStream* st = formatContext_->streams[index];
    CodecContextPtr codec(ff::avcodec_alloc_context3(nullptr));
    if (!codec) throw Exception("out of memory");
    if (ff::avcodec_parameters_to_context(codec.get(), st->codecpar) < 0)
        throw Exception("out of memory");
    codec->pkt_timebase = st->time_base;
    streamCodecs_[index] = std::move(codec);
}

AVCodecContext* TCustomDecoder::StreamCodec(int index) const {
    return index >= 0 && index < static_cast<int>(streamCodecs_.size()) ? streamCodecs_[index].get()
                                                                        : nullptr;
}

void TCustomDecoder::RefreshStreamInfo() {
    fileSize_ = -1;
    streamCount_ = programCount_ = -1;
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = -1;
    firstAudioStream_ = firstVideoStream_ = firstSubtitleStream_ = -1;
    chapters_.clear();
    embeddedCueSheet_.clear();
    if (!formatContext_) {
        streamCodecs_.clear();
        return;
    }
    RefreshFileSize();
    RefreshStreamCodecs();
    RefreshChapters();
    streamCount_ = static_cast<int>(formatContext_->nb_streams);
    programCount_ = static_cast<int>(formatContext_->nb_programs);
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = 0;
    for (int i = 0; i < streamCount_; ++i) {
        switch (formatContext_->streams[i]->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            ++videoStreamCount_;
            if (firstVideoStream_ < 0) firstVideoStream_ = i;
            break;
        case AVMEDIA_TYPE_AUDIO:
            ++audioStreamCount_;
            if (firstAudioStream_ < 0) firstAudioStream_ = i;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            ++subtitleStreamCount_;
            if (firstSubtitleStream_ < 0) firstSubtitleStream_ = i;
            break;
        default: break;  // data and attachments count nowhere
        }
    }
}

void TCustomDecoder::RefreshChapters() {
    for (unsigned i = 0; i < formatContext_->nb_chapters; ++i) {
        const AVChapter* c = formatContext_->chapters[i];
        if (c->time_base.num <= 0 || c->time_base.den <= 0) continue;
        chapters_.push_back(
            {c->start, c->end, c->time_base.num, c->time_base.den, MetadataValue(c->metadata, "title", "")});
    }
    // Demuxers keep the order they read; files list their chapters in any.
    std::stable_sort(chapters_.begin(), chapters_.end(), [](const TChapterInfo& a, const TChapterInfo& b) {
        return static_cast<__int128>(a.Start) * a.TimeBaseNum * b.TimeBaseDen <
               static_cast<__int128>(b.Start) * b.TimeBaseNum * a.TimeBaseDen;
    });
    embeddedCueSheet_ = MetadataValue(formatContext_->metadata, "cuesheet", "");
    // Ogg keeps the comments with the stream they belong to.
    for (unsigned i = 0; embeddedCueSheet_.empty() && i < formatContext_->nb_streams; ++i)
        if (formatContext_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            embeddedCueSheet_ = MetadataValue(formatContext_->streams[i]->metadata, "cuesheet", "");
}

std::wstring TCustomDecoder::GetFileName() {
    if (!formatContext_) {
        ReportError(LevelWarning, "file not loaded.");
        return L"";
    }
    return URLToFileName(formatContext_->url ? formatContext_->url : "");
}
