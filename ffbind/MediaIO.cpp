// PLACEHOLDER: replaced by the unicode-aware implementation.
#include "MediaIO.h"
#include "AVFormatStubs.h"
int OpenInputURL(AVFormatContext** ctx, const std::string& url, const AVInputFormat* format, AVDictionary** options) {
    *ctx = nullptr;
    return ff::avformat_open_input(ctx, url.c_str(), format, options);
}
void CloseInputURL(AVFormatContext** ctx) { if (*ctx) ff::avformat_close_input(ctx); }
int OpenOutputIO(AVFormatContext* ctx, const std::string& url) { return ff::avio_open2(&ctx->pb, url.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr); }
void CloseOutputIO(AVFormatContext* ctx) { if (ctx->pb) ff::avio_closep(&ctx->pb); }
