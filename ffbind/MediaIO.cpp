#include "MediaIO.h"

#include "AVFormatStubs.h"
#include "AVUtilStubs.h"
#include "InterruptCB.h"
#include "UnicodeProtocol.h"

namespace {

bool ServedByUnicodeIO(const std::string& url) { return IsUnicodeURL(url) && UnicodeProtocolRegistered(); }

} // namespace

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
    int ret = ff::avformat_open_input(&ic, url.c_str(), format, options);
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

int OpenOutputIO(AVFormatContext* ctx, const std::string& url) {
    AVIOInterruptCB interrupt = InterruptCallbackRecord();
    // The muxer's own writes (header, trailer) ask the callback through the context.
    ctx->interrupt_callback = interrupt;
    if (ServedByUnicodeIO(url)) {
        int ret = OpenUnicodeIO(&ctx->pb, url, AVIO_FLAG_WRITE, interrupt);
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
