// Option handlers for pictures and samples: frame rate and size, aspect ratio,
// pixel and sample formats, quality, quantiser matrices, codec tags and the
// video filter chain.
#include <cstdlib>
#include <cstring>

#include "FFLog.h"
#include "CustomFFmpeg.h"
#include "Format.h"
#include "OptionNumbers.h"

void TCustomFFmpeg::OptFrameRate(const std::string&, const std::string& value) { SetFrameRate(value); }

void TCustomFFmpeg::SetFrameRate(const std::string& Value) {
    if (Value.empty()) return;
    AVRational rate{0, 0};
    if (ff::av_parse_video_rate(&rate, Value.c_str()) < 0) throw FFmpegException("Incorrect frame rate");
    Opt.FrameRate = rate;
}

void TCustomFFmpeg::OptFrameSize(const std::string&, const std::string& value) { SetFrameSize(value); }

void TCustomFFmpeg::SetFrameSize(const std::string& Value) {
    if (Value.empty()) return;
    int width = 0, height = 0;
    if (ff::av_parse_video_size(&width, &height, Value.c_str()) < 0) throw FFmpegException("Incorrect frame size");
    Opt.FrameWidth = width;
    Opt.FrameHeight = height;
}

void TCustomFFmpeg::OptAspect(const std::string&, const std::string& value) { SetAspect(value); }

void TCustomFFmpeg::SetAspect(const std::string& Value) {
    if (Value.empty()) return;
    double ratio = 0;
    const size_t colon = Value.find(':');
    if (colon != std::string::npos) {
        int x = 0, y = 0;
        if (!TryStrToInt(Value.substr(0, colon), x)) x = 0;
        if (!TryStrToInt(Value.substr(colon + 1), y)) y = 0;
        ratio = y <= 0 ? 0 : static_cast<double>(x) / y;
    } else if (!TryStrToFloat(Value, ratio)) {
        ratio = 0;
    }
    if (ratio == 0) throw FFmpegException("Incorrect aspect ratio specification.");
    Opt.FrameAspectRatio = static_cast<float>(ratio);
}

void TCustomFFmpeg::OptPixelFormat(const std::string&, const std::string& value) {
    if (value == "list") {
        // Every format this library generation knows, after the header line.
        char line[128];
        for (int fmt = -1; fmt < AV_PIX_FMT_NB; ++fmt) {
            if (fmt >= 0 && !ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(fmt))) continue;
            ff::av_get_pix_fmt_string(line, sizeof line, static_cast<AVPixelFormat>(fmt));
            GlobalLogger()->Log(this, llInfo, TrimText(line));
        }
        return;
    }
    const AVPixelFormat fmt = ff::av_get_pix_fmt(value.c_str());
    if (fmt == AV_PIX_FMT_NONE) throw FFmpegException(Format("Unknown pixel format requested: %s", value));
    Opt.FramePixFmt = fmt;
}

void TCustomFFmpeg::OptSampleFormat(const std::string&, const std::string& value) {
    if (value == "list") {
        char line[128];
        for (int fmt = -1; fmt < AV_SAMPLE_FMT_NB; ++fmt) {
            ff::av_get_sample_fmt_string(line, sizeof line, static_cast<AVSampleFormat>(fmt));
            GlobalLogger()->Log(this, llInfo, TrimText(line));
        }
        return;
    }
    const AVSampleFormat fmt = ff::av_get_sample_fmt(value.c_str());
    if (fmt == AV_SAMPLE_FMT_NONE) throw FFmpegException(Format("Invalid sample format \"%s\"", value));
    Opt.AudioSampleFmt = fmt;
}

void TCustomFFmpeg::OptCrop(const std::string&, const std::string&) {
    throw FFmpegException("Removed, use the crop filter instead");
}

void TCustomFFmpeg::OptPad(const std::string&, const std::string&) {
    throw FFmpegException("Removed, use the pad filter instead");
}

void TCustomFFmpeg::OptQscale(const std::string&, const std::string& value) {
    const double q = StrToFloatOrRaise(value);
    if (!(q > 0) || q > 255) throw FFmpegException("qscale must be > 0.0 and <= 255");
    Opt.VideoQscale = static_cast<float>(q);
}

void TCustomFFmpeg::OptRcOverride(const std::string&, const std::string& value) { Opt.VideoRcOverride = value; }

void TCustomFFmpeg::OptVideoFilters(const std::string&, const std::string& value) { SetVideoFilters(value); }

void TCustomFFmpeg::SetVideoFilters(const std::string& Value) {
    if (!Value.empty()) Opt.VideoFilters = Value;
}

void TCustomFFmpeg::OptMatrix(const std::string& name, const std::string& value) {
    auto& matrix = name == "intra_matrix" ? Opt.IntraMatrix : Opt.InterMatrix;
    if (!matrix) matrix = std::make_unique<std::array<uint16_t, 64>>();
    matrix->fill(0);
    const char* p = value.c_str();
    for (int i = 0; i < 64; ++i) {
        (*matrix)[i] = static_cast<uint16_t>(std::atoi(p));
        if (i == 63) break;
        p = std::strchr(p, ',');
        if (!p) throw FFmpegException(Format("Syntax error in matrix \"%s\" at coeff %d", value, i));
        ++p;
    }
}

void TCustomFFmpeg::OptTag(const std::string& name, const std::string& value) { SetTag(name, value); }

void TCustomFFmpeg::SetTag(const std::string& Name, const std::string& Value) {
    if (Value.empty()) return;
    int* tag = Name == "vtag" ? &Opt.VideoCodecTag : Name == "atag" ? &Opt.AudioCodecTag : Name == "stag" ? &Opt.SubtitleCodecTag
                                                                                                   : nullptr;
    if (!tag) throw FFmpegException(Format("Invalid tag parmeter %s", Name));
    int64_t number = 0;
    if (TryStrToInt64(Value, number)) {
        *tag = static_cast<int>(static_cast<uint32_t>(number));
        return;
    }
    if (Value.size() != 4) throw FFmpegException("tag parameter must be 4 chars or int value");
    const auto byte = [&](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(Value[i])); };
    *tag = static_cast<int>(byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
}
