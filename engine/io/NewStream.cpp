// Creating output streams: the steps all kinds share, the audio and subtitle
// streams, and adding a stream to an already opened output ("newvideo",
// "newaudio", "newsubtitle"). Video streams: NewVideoStream.cpp.
//
// Streams of this library generation carry codec parameters only. Each stream
// record therefore owns the encoder context the old stream held; it starts
// with the encoder's defaults (its private options included) and is opened by
// the transcode set-up, which then copies its parameters to the stream.
#include <bit>

#include "StreamHelpers.h"
#include "FileSetup.h"
#include "Format.h"

namespace {

struct TKindValues {
    std::string& CodecName;
    int& StreamCopy;
    int CodecTag;
    TBitstreamFilterChain& Filters;
};

TKindValues KindValues(TCustomFFmpeg& task, TMediaKind kind) {
    switch (kind) {
    case mkVideo:
        return {task.Opt.VideoCodecName, task.Opt.VideoStreamCopy, task.Opt.VideoCodecTag, task.Opt.VideoBitstreamFilters};
    case mkAudio:
        return {task.Opt.AudioCodecName, task.Opt.AudioStreamCopy, task.Opt.AudioCodecTag, task.Opt.AudioBitstreamFilters};
    default:
        return {task.Opt.SubtitleCodecName, task.Opt.SubtitleStreamCopy, task.Opt.SubtitleCodecTag, task.Opt.SubtitleBitstreamFilters};
    }
}

// The encoder a new stream of `kind` uses: the one named by the task, else the
// container's choice for the file name. Raises with SetupError for a name
// that does not fit.
const AVCodec* ChooseEncoder(TCustomFFmpeg& task, AVFormatContext* oc, TMediaKind kind, const std::string& name,
                             AVCodecID& id) {
    if (!name.empty()) {
        if (!task.FindCodec(name, kind, true, task.StrictLevelOf(kind), id)) throw FFmpegException(task.SetupError);
        return ff::avcodec_find_encoder_by_name(name.c_str());
    }
    id = ff::av_guess_codec(oc->oformat, nullptr, oc->url, nullptr, static_cast<AVMediaType>(kind));
    return id == AV_CODEC_ID_NONE ? nullptr : ff::avcodec_find_encoder(id);
}

bool WantsGlobalHeader(const TCustomFFmpeg& task, const AVFormatContext* oc, TMediaKind kind) {
    const bool formatWants = (oc->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    if (kind == mkVideo) return (task.Opt.VideoGlobalHeader & 1) || (task.Opt.VideoGlobalHeader == 0 && formatWants);
    return formatWants;
}

} // namespace

TOutputStream& AddOutputStream(TCustomFFmpeg& task, AVFormatContext* oc, int slot, TMediaKind kind) {
    TKindValues values = KindValues(task, kind);
    // The encoder is settled first: a name that does not fit must not leave a
    // stream without an encoder context in the container.
    const AVCodec* encoder = nullptr;
    AVCodecID id = AV_CODEC_ID_NONE;
    if (values.StreamCopy != 1) encoder = ChooseEncoder(task, oc, kind, values.CodecName, id);

    AVStream* st = ff::avformat_new_stream(oc, nullptr);
    if (!st) {
        values.CodecName.clear();
        throw FFmpegException("Could not alloc stream");
    }
    const size_t position = oc->nb_streams - 1;
    st->id = position < task.Opt.StreamIdMap.size() ? task.Opt.StreamIdMap[position] : 0;

    TOutputStream* ost = task.NewOutputStreamRecord(oc, slot);
    task.OutputCodecs.push_back(encoder);
    ost->Encoder.reset(ff::avcodec_alloc_context3(encoder));
    if (!ost->Encoder) throw FFmpegException("avcodec_alloc_context failed");
    AVCodecContext* enc = ost->Encoder.get();
    if (!encoder && values.StreamCopy != 1) enc->codec_id = id;  // no encoder here; the set-up says so
    // The container knows the kind of each stream from the start; the set-up
    // fills in the rest from the opened encoder.
    st->codecpar->codec_type = enc->codec_type = static_cast<AVMediaType>(kind);
    st->codecpar->codec_id = enc->codec_id;
    ost->StreamCopy = values.StreamCopy == 1 ? 1 : 0;
    ost->BitstreamFilters = std::move(values.Filters);
    values.Filters.clear();

    if (kind != mkSubtitle) enc->thread_count = task.Opt.ThreadCount;
    if (values.CodecTag != 0) enc->codec_tag = static_cast<unsigned>(values.CodecTag);
    if (WantsGlobalHeader(task, oc, kind)) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (task.Options && task.Options->CodecDefaults[kind])
            task.Options->CodecDefaults[kind]->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    return *ost;
}

void SetChannelLayout(AVCodecContext* ctx, int64_t mask, int channels) {
    ff::av_channel_layout_uninit(&ctx->ch_layout);
    if (mask != 0 && ff::av_channel_layout_from_mask(&ctx->ch_layout, static_cast<uint64_t>(mask)) == 0) return;
    ff::av_channel_layout_default(&ctx->ch_layout, channels);
}

void TakeLanguage(AVStream* st, std::string& language) {
    if (!language.empty()) ff::av_dict_set(&st->metadata, "language", language.c_str(), 0);
    language.clear();
}

void TCustomFFmpeg::NewAudioStream(AVFormatContext* Output, int Slot) {
    // The audio values meant for this stream are used up, also when it fails.
    struct TOnce {
        TCustomFFmpeg& task;
        ~TOnce() {
            task.Opt.AudioLanguage.clear();
            task.Opt.AudioDisable = false;
            task.Opt.AudioCodecName.clear();
            task.Opt.AudioStreamCopy = 0;
        }
    } once{*this};

    TOutputStream& ost = AddOutputStream(*this, Output, Slot, mkAudio);
    AVCodecContext* enc = ost.Encoder.get();
    const AVCodec* encoder = enc->codec;
    if (ost.StreamCopy) {
        SetChannelLayout(enc, 0, Opt.AudioChannels);
        enc->sample_rate = Opt.AudioSampleRate;
    } else {
        if (Options)
            ApplyGenericOptions(*Options, enc, Options->CodecDefaults[mkAudio].get(), encoder,
                                AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
        if (Opt.AudioQscale > -99999.0f) {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = static_cast<int>(FF_QP2LAMBDA * Opt.AudioQscale);
        }
        // A layout that disagrees with the channel count is dropped: the count wins.
        const bool layoutFits = Opt.ChannelLayout != 0 && std::popcount(static_cast<uint64_t>(Opt.ChannelLayout)) == Opt.AudioChannels;
        SetChannelLayout(enc, layoutFits ? Opt.ChannelLayout : 0, Opt.AudioChannels);
        enc->sample_fmt = static_cast<AVSampleFormat>(Opt.AudioSampleFmt);
        enc->sample_rate = Opt.AudioSampleRate;
        ChooseSampleFormat(enc, encoder);
        ChooseSampleRate(enc, encoder);
        ChooseChannelLayout(enc, encoder);
    }
    // The time base follows the rate the encoder really runs at.
    if (enc->sample_rate > 0) {
        enc->time_base = AVRational{1, enc->sample_rate};
        ost.Stream->time_base = enc->time_base;
    }
    TakeLanguage(ost.Stream, Opt.AudioLanguage);
}

void TCustomFFmpeg::NewSubtitleStream(AVFormatContext* Output, int Slot) {
    struct TOnce {
        TCustomFFmpeg& task;
        ~TOnce() {
            task.Opt.SubtitleLanguage.clear();
            task.Opt.SubtitleDisable = false;
            task.Opt.SubtitleCodecName.clear();
            task.Opt.SubtitleStreamCopy = 0;
        }
    } once{*this};

    TOutputStream& ost = AddOutputStream(*this, Output, Slot, mkSubtitle);
    if (!ost.StreamCopy && Options)
        ApplyGenericOptions(*Options, ost.Encoder.get(), Options->CodecDefaults[mkSubtitle].get(), ost.Encoder->codec,
                            AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    TakeLanguage(ost.Stream, Opt.SubtitleLanguage);
}

void TCustomFFmpeg::NewStreamOfKind(TMediaKind kind, int fileIndex) {
    AVFormatContext* oc = OutputFiles.at(fileIndex);
    if (kind == mkVideo)
        NewVideoStream(oc, fileIndex);
    else if (kind == mkAudio)
        NewAudioStream(oc, fileIndex);
    else
        NewSubtitleStream(oc, fileIndex);
}
