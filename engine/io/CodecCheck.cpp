// Validation of the codec names a task was given, and the kinds of streams
// its inputs hold.
#include "CustomFFmpeg.h"
#include "Format.h"

namespace {

const AVCodec* FindCodecByName(const std::string& name, bool forEncoding) {
    return forEncoding ? ff::avcodec_find_encoder_by_name(name.c_str()) : ff::avcodec_find_decoder_by_name(name.c_str());
}

const AVCodec* FindCodecById(AVCodecID id, bool forEncoding) {
    return forEncoding ? ff::avcodec_find_encoder(id) : ff::avcodec_find_decoder(id);
}

bool IsExperimental(const AVCodec* codec) { return (codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) != 0; }

} // namespace

int TCustomFFmpeg::StrictLevelOf(TMediaKind Kind) const {
    int64_t level = 0;
    if (Options && Options->CodecDefaults[Kind])
        ff::av_opt_get_int(Options->CodecDefaults[Kind].get(), "strict", 0, &level);
    return static_cast<int>(level);
}

bool TCustomFFmpeg::FindCodec(const std::string& Name, TMediaKind Kind, bool ForEncoding, int StrictLevel,
                              AVCodecID& CodecId) {
    CodecId = AV_CODEC_ID_NONE;
    if (Name.empty()) return true;
    const char* word = ForEncoding ? "encoder" : "decoder";
    const AVCodec* codec = FindCodecByName(Name, ForEncoding);
    if (!codec) {
        SetupError = Format("Unknown %s '%s'", word, Name);
        return false;
    }
    if (codec->type != static_cast<AVMediaType>(Kind)) {
        SetupError = Format("Invalid %s type '%s'", word, Name);
        return false;
    }
    if (IsExperimental(codec) && StrictLevel > FF_COMPLIANCE_EXPERIMENTAL) {
        SetupError = Format("%s '%s' is experimental and might produce bad results.\r\n"
                            "Add '-strict experimental' if you want to use it.",
                            word, codec->name);
        const AVCodec* standard = FindCodecById(codec->id, ForEncoding);
        if (standard && !IsExperimental(standard))
            SetupError += Format("\r\nOr use the non experimental %s '%s'.", word, standard->name);
        return false;
    }
    CodecId = codec->id;
    return true;
}

void TCustomFFmpeg::CheckInputStreamTypes(bool FirstOnly, bool& HasVideo, bool& HasAudio, bool& HasSubtitle) {
    HasVideo = HasAudio = HasSubtitle = false;
    const int files = FirstOnly ? std::min(InputFileCount, 1) : InputFileCount;
    for (int f = 0; f < files; ++f) {
        const AVFormatContext* ic = InputFiles[f].get();
        // Streams of other kinds (data, attachments, a kind the demuxer could
        // not tell) are never mapped, so they cannot stop the file's sound.
        for (unsigned i = 0; ic && i < ic->nb_streams; ++i) {
            const AVMediaType type = ic->streams[i]->codecpar->codec_type;
            HasVideo |= type == AVMEDIA_TYPE_VIDEO;
            HasAudio |= type == AVMEDIA_TYPE_AUDIO;
            HasSubtitle |= type == AVMEDIA_TYPE_SUBTITLE;
        }
    }
}
