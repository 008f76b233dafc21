// What the streams of an opened input tell the task: the picture size, aspect
// ratio, pixel format and frame rate of its video, the channels, rate and
// sample format of its audio. The next output streams start from these values
// unless options given later override them. The streams carry codec
// parameters only; the decoders themselves are made by the transcode set-up.
#include "FFLog.h"
#include "FileSetup.h"

namespace {

// The decoders' reduced-resolution setting ("lowres") of the task's options.
int ReducedResolution(const TCustomFFmpeg& task) {
    int64_t lowres = 0;
    if (task.Options && task.Options->CodecDefaults[mkVideo])
        ff::av_opt_get_int(task.Options->CodecDefaults[mkVideo].get(), "lowres", 0, &lowres);
    return static_cast<int>(lowres);
}

const AVCodec* DecoderNamed(const std::string& name) {
    return name.empty() ? nullptr : ff::avcodec_find_decoder_by_name(name.c_str());
}

AVRational RealFrameRate(AVFormatContext* ic, AVStream* st) {
    if (st->r_frame_rate.num > 0 && st->r_frame_rate.den > 0) return st->r_frame_rate;
    return ff::av_guess_frame_rate(ic, st, nullptr);
}

void ReadVideoStream(TCustomFFmpeg& task, AVFormatContext* ic, AVStream* st) {
    const AVCodecParameters* par = st->codecpar;
    task.Opt.FrameHeight = par->height;
    task.Opt.FrameWidth = par->width;
    const AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio : par->sample_aspect_ratio;
    double aspect = sar.num && sar.den ? static_cast<double>(sar.num) / sar.den : 0.0;
    if (par->width != 0 && par->height != 0)
        aspect *= static_cast<double>(par->width) / par->height;
    else if (!sar.num)
        aspect = 4.0 / 3.0;
    task.Opt.FrameAspectRatio = static_cast<float>(aspect);
    task.Opt.FramePixFmt = par->format < 0 ? 0 : par->format;

    const int lowres = ReducedResolution(task);
    if (lowres > 0) {
        task.Opt.FrameHeight >>= lowres;
        task.Opt.FrameWidth >>= lowres;
    }

    const AVRational codecRate = st->avg_frame_rate;
    const AVRational realRate = RealFrameRate(ic, st);
    if (codecRate.num > 0 && codecRate.den > 0 && realRate.num > 0 &&
        (codecRate.num != realRate.num || codecRate.den != realRate.den) && task.Opt.Verbose >= 0)
        GlobalLogger()->LogFmt(&task, llInfo,
                               "Seems stream %d codec frame rate differs from container frame rate: "
                               "%2.2f (%d/%d) -> %2.2f (%d/%d)",
                               st->index, static_cast<double>(codecRate.num) / codecRate.den, codecRate.num,
                               codecRate.den, static_cast<double>(realRate.num) / realRate.den, realRate.num,
                               realRate.den);
    task.Opt.FrameRate = realRate;

    if (task.Opt.VideoDisable)
        st->discard = AVDISCARD_ALL;
    else if (task.Opt.VideoDiscard != 0)
        st->discard = static_cast<AVDiscard>(task.Opt.VideoDiscard);
}

void ReadAudioStream(TCustomFFmpeg& task, AVStream* st) {
    const AVCodecParameters* par = st->codecpar;
    task.Opt.ChannelLayout = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? static_cast<int64_t>(par->ch_layout.u.mask) : 0;
    task.Opt.AudioChannels = par->ch_layout.nb_channels;
    task.Opt.AudioSampleRate = par->sample_rate;
    task.Opt.AudioSampleFmt = par->format;
    if (task.Opt.AudioDisable) st->discard = AVDISCARD_ALL;
    const int lowres = ReducedResolution(task);
    if (lowres > 0) task.Opt.AudioSampleRate >>= lowres;
}

} // namespace

void ReadInputStreams(TCustomFFmpeg& task, AVFormatContext* ic) {
    const size_t codecsBefore = task.InputCodecs.size();
    try {
        for (unsigned i = 0; i < ic->nb_streams; ++i) {
            AVStream* st = ic->streams[i];
            task.InputCodecs.push_back(nullptr);
            switch (st->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                task.InputCodecs.back() = DecoderNamed(task.Opt.VideoCodecName);
                ReadVideoStream(task, ic, st);
                break;
            case AVMEDIA_TYPE_AUDIO:
                task.InputCodecs.back() = DecoderNamed(task.Opt.AudioCodecName);
                ReadAudioStream(task, st);
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                task.InputCodecs.back() = DecoderNamed(task.Opt.SubtitleCodecName);
                if (task.Opt.SubtitleDisable) st->discard = AVDISCARD_ALL;
                break;
            case AVMEDIA_TYPE_DATA:
            case AVMEDIA_TYPE_ATTACHMENT:
                break;
            default:
                // A stream of no kind the converter knows is left out; the
                // file's other streams still convert.
                st->discard = AVDISCARD_ALL;
                GlobalLogger()->LogFmt(&task, llVerbose, "Stream #%d of unknown type ignored", static_cast<int>(i));
            }
        }
    } catch (...) {
        // The input is not kept: its entries must not shift the next input's.
        task.InputCodecs.resize(codecsBefore);
        throw;
    }
}
