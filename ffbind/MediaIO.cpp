#include "MediaIO.h"

#include <sys/stat.h>
#include <cctype>
#include <unistd.h>

#include "AVFormatStubs.h"
#include "FFUtils.h"
#include "Format.h"
#include "AVUtilStubs.h"
#include "InterruptCB.h"
#include "UnicodeProtocol.h"

namespace {

bool ServedByUnicodeIO(const std::string& url) { return IsUnicodeURL(url) && UnicodeProtocolRegistered(); }

// The library scans the PCM of a WAV for another codec written as PCM (MP3,
// DTS) on every opening, packet after packet, up to 2,500 of them: 3 ms for
// five seconds of CD audio, more than everything else of opening and reading
// it, and the program opens a source up to three times. What hides there
// shows in the first packets. The scan's length is fixed as the file's
// streams are made, before the file's format is known: the name tells.
constexpr const char* PcmProbePackets = "8";

bool NamesWav(const std::string& url) {
    const size_t dot = url.rfind('.');
    if (dot == std::string::npos || url.find('/', dot) != std::string::npos) return false;
    std::string ext = url.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "wav" || ext == "wave" || ext == "w64";
}

} // namespace

bool PcmSearchedPlain(const AVFormatContext* ic) {
    if (!ic || !ic->iformat || ic->nb_streams == 0) return false;
    const std::string name = ic->iformat->name;
    if (name != "wav" && name != "w64") return false;
    // Only 16-bit PCM is searched; what the search found has another codec.
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        if (ic->streams[i]->codecpar->codec_id != AV_CODEC_ID_PCM_S16LE) return false;
    return true;
}

void SkipPcmSearch(AVDictionary** options) { ff::av_dict_set(options, "max_probe_packets", "1", 0); }

int OpenInputURL(AVFormatContext** ctx, const std::string& url, const AVInputFormat* format,
                 AVDictionary** options) {
    *ctx = nullptr;
    // Pre-allocated so that the interrupt callback is in place before the first
    // blocking read of the open.
    AVFormatContext* ic = AllocFormatContext();
    if (!ic) return AVERROR(ENOMEM);
    AVIOContext* pb = nullptr;
    if (ServedByUnicodeIO(url)) {
        int ret = OpenUnicodeIO(&pb, url, AVIO_FLAG_READ, ic->interrupt_callback);
        if (ret < 0) {
            ff::avformat_free_context(ic);
            return ret;
        }
        // The library marks a context with a pb of the caller's as custom I/O
        // and leaves that pb alone when it closes the input.
        ic->pb = pb;
    }
    AVDictionary* own = nullptr;
    AVDictionary** opts = options ? options : &own;
    if (NamesWav(url) && !ff::av_dict_get(*opts, "max_probe_packets", nullptr, 0))
        ff::av_dict_set(opts, "max_probe_packets", PcmProbePackets, 0);
    int ret = ff::avformat_open_input(&ic, url.c_str(), format, opts);
    ff::av_dict_free(&own);
    if (ret < 0) {
        // The library has freed the context, but not our I/O.
        CloseUnicodeIO(&pb);
        return ret;
    }
    *ctx = ic;
    return 0;
}

void CloseInputURL(AVFormatContext** ctx) {
    if (!ctx || !*ctx) return;
    AVIOContext* pb = IsUnicodeIO((*ctx)->pb) ? (*ctx)->pb : nullptr;
    ff::avformat_close_input(ctx);
    CloseUnicodeIO(&pb);
}

namespace {

// The file a URL names when it names one: the bytes behind "unicode:utf8:",
// after "file:", or the URL itself when it has no protocol of its own.
bool LocalFilePath(const std::string& url, std::string& path) {
    if (IsUnicodeURL(url)) {
        path = url.substr(sizeof UnicodeURLPrefix - 1);
        return true;
    }
    if (url.rfind("file:", 0) == 0) {
        path = url.substr(5);
        return true;
    }
    const size_t colon = url.find(':');
    const size_t slash = url.find('/');
    // "pipe:1", "http://…": another protocol's; "-" is standard output.
    if (url == "-" || (colon != std::string::npos && (slash == std::string::npos || colon < slash)))
        return false;
    path = url;
    return true;
}

} // namespace

std::string InputKindError(const std::string& url) {
    std::string path;
    struct stat info {};
    if (!LocalFilePath(url, path) || ::stat(path.c_str(), &info) != 0) return {};  // the open tells
    if (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)) return {};
    const char* kind = S_ISFIFO(info.st_mode) ? "a pipe" : S_ISDIR(info.st_mode) ? "a folder" : "a device or socket";
    return Format("%s is %s, not a file: only files can be converted", path, kind);
}

std::string OutputFolderError(const std::string& url) {
    std::string path;
    if (!LocalFilePath(url, path)) return {};
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (::access(folder.c_str(), W_OK | X_OK) == 0) return {};
    return LibraryErrorText(path, AVERROR(errno));
}

std::string InputOpenErrorText(const std::string& url, int code) {
    std::string path;
    const std::string name = LocalFilePath(url, path) ? path : url;
    struct stat info {};
    const bool isFile = !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    if (isFile && (code == AVERROR_INVALIDDATA || code == AVERROR(EINVAL) || code == AVERROR(EPERM) || code == AVERROR(EIO) || code == AVERROR_EOF))
        return Format("%s: the file is damaged or is not a media file", name);
    return LibraryErrorText(name, code);
}

int OpenOutputIO(AVFormatContext* ctx, const std::string& url, bool claimed) {
    AVIOInterruptCB interrupt = InterruptCallbackRecord();
    // The muxer's own writes (header, trailer) ask the callback through the context.
    ctx->interrupt_callback = interrupt;
    std::string path;
    if (LocalFilePath(url, path) && (!IsUnicodeURL(url) || UnicodeProtocolRegistered())) {
        const int ret = CreateFileIO(&ctx->pb, path, interrupt, claimed);
        if (ret < 0) return ret;
        ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
        return 0;
    }
    return ff::avio_open2(&ctx->pb, url.c_str(), AVIO_FLAG_WRITE, &interrupt, nullptr);
}

void CloseOutputIO(AVFormatContext* ctx) {
    if (!ctx || !ctx->pb) return;
    if (IsUnicodeIO(ctx->pb))
        CloseUnicodeIO(&ctx->pb);
    else
        ff::avio_closep(&ctx->pb);
}
