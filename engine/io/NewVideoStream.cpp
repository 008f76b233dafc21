// Creating a video output stream: picture size, rate, aspect, pixel format and
// the rate-control settings the task's options ask for.
#include <cstdio>
#include <cstring>

#include "StreamHelpers.h"
#include "FileSetup.h"

namespace {

// The sample aspect ratio that gives the display ratio `aspect` at the size.
AVRational SampleAspect(float aspect, int width, int height) {
    double sar = width != 0 && height != 0 ? static_cast<double>(aspect) * height / width : aspect * 3.0 / 4.0;
    return ff::av_d2q(sar, 255);
}

uint16_t* LibraryMatrix(const std::array<uint16_t, 64>& matrix) {
    // The encoder context frees its matrices with the library's allocator.
    auto* copy = static_cast<uint16_t*>(ff::av_malloc(sizeof(uint16_t) * 64));
    if (!copy) throw std::bad_alloc();
    std::memcpy(copy, matrix.data(), sizeof(uint16_t) * 64);
    return copy;
}

// "start,end,q" items separated by "/": q > 0 is a quantiser, q <= 0 a quality
// factor of -q percent.
void ParseRcOverride(const std::string& text, AVCodecContext* enc) {
    std::vector<RcOverride> items;
    size_t start = 0;
    while (true) {
        const size_t end = text.find('/', start);
        const std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        int first = 0, last = 0, q = 0;
        if (std::sscanf(part.c_str(), "%d,%d,%d", &first, &last, &q) != 3)
            throw FFmpegException("error parsing rc_override");
        RcOverride item{};
        item.start_frame = first;
        item.end_frame = last;
        item.qscale = q > 0 ? q : 0;
        item.quality_factor = q > 0 ? 1.0f : -q / 100.0f;
        items.push_back(item);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    auto* table = static_cast<RcOverride*>(ff::av_malloc(sizeof(RcOverride) * items.size()));
    if (!table) throw std::bad_alloc();
    std::memcpy(table, items.data(), sizeof(RcOverride) * items.size());
    ff::av_freep(&enc->rc_override);
    enc->rc_override = table;
    enc->rc_override_count = static_cast<int>(items.size());
}

} // namespace

void TCustomFFmpeg::NewVideoStream(AVFormatContext* Output, int Slot) {
    // The video values meant for this stream are used up, also when it fails.
    struct TOnce {
        TCustomFFmpeg& task;
        ~TOnce() {
            task.Opt.VideoLanguage.clear();
            task.Opt.VideoDisable = false;
            task.Opt.VideoCodecName.clear();
            task.Opt.ForcedKeyFrames.clear();
            task.Opt.VideoStreamCopy = 0;
            task.Opt.FramePixFmt = -1;
        }
    } once{*this};

    TOutputStream& ost = AddOutputStream(*this, Output, Slot, mkVideo);
    AVCodecContext* enc = ost.Encoder.get();
    const AVCodec* encoder = enc->codec;
    const AVRational sar = SampleAspect(Opt.FrameAspectRatio, Opt.FrameWidth, Opt.FrameHeight);
    if (ost.StreamCopy) {
        enc->sample_aspect_ratio = ost.Stream->sample_aspect_ratio = sar;
        TakeLanguage(ost.Stream, Opt.VideoLanguage);
        return;
    }
    AVRational rate = Opt.FrameRate.num != 0 && Opt.FrameRate.den != 0 ? Opt.FrameRate : AVRational{25, 1};
    if (Options)
        ApplyGenericOptions(*Options, enc, Options->CodecDefaults[mkVideo].get(), encoder,
                            AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    if (encoder && encoder->supported_framerates && !Opt.ForceFps)
        rate = encoder->supported_framerates[ff::av_find_nearest_q_idx(rate, encoder->supported_framerates)];
    enc->time_base = AVRational{rate.den, rate.num};
    enc->framerate = rate;
    enc->width = Opt.FrameWidth;
    enc->height = Opt.FrameHeight;
    enc->sample_aspect_ratio = ost.Stream->sample_aspect_ratio = sar;
    enc->pix_fmt = static_cast<AVPixelFormat>(Opt.FramePixFmt);
    ChoosePixelFormat(enc, encoder);

    if (Opt.IntraOnly) enc->gop_size = 0;
    if (Opt.VideoQscale != 0 || Opt.SameQuality) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = static_cast<int>(FF_QP2LAMBDA * Opt.VideoQscale);
    }
    if (Opt.IntraMatrix) enc->intra_matrix = LibraryMatrix(*Opt.IntraMatrix);
    if (Opt.InterMatrix) enc->inter_matrix = LibraryMatrix(*Opt.InterMatrix);
    if (!Opt.VideoRcOverride.empty()) ParseRcOverride(Opt.VideoRcOverride, enc);
    if (enc->rc_initial_buffer_occupancy == 0)
        enc->rc_initial_buffer_occupancy = static_cast<int>(static_cast<int64_t>(enc->rc_buffer_size) * 3 / 4);
    enc->intra_dc_precision = Opt.IntraDcPrecision - 8;
    if (Opt.Psnr) enc->flags |= AV_CODEC_FLAG_PSNR;
    if (Opt.Pass == 1) enc->flags |= AV_CODEC_FLAG_PASS1;
    if (Opt.Pass == 2) enc->flags |= AV_CODEC_FLAG_PASS2;
    if (!Opt.ForcedKeyFrames.empty()) ost.ForcedKeyFrames = ParseForcedKeyFrames(Opt.ForcedKeyFrames, enc);
    TakeLanguage(ost.Stream, Opt.VideoLanguage);
}
