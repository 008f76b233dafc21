#include "StreamList.h"

#include "AVCodecStubs.h"
#include "AVUtilStubs.h"
#include "TextEncoding.h"

namespace {

std::string KindName(AVMediaType type) {
    switch (type) {
    case AVMEDIA_TYPE_AUDIO: return "audio";
    case AVMEDIA_TYPE_VIDEO: return "video";
    case AVMEDIA_TYPE_SUBTITLE: return "subtitle";
    case AVMEDIA_TYPE_DATA: return "data";
    case AVMEDIA_TYPE_ATTACHMENT: return "attachment";
    default: return "unknown";
    }
}

bool IsPicture(const AVStream* st) {
    return (st->disposition & AV_DISPOSITION_ATTACHED_PIC) && st->attached_pic.size > 0;
}

std::string Tag(const AVStream* st, const char* key) {
    const AVDictionaryEntry* entry = ff::av_dict_get(st->metadata, key, nullptr, 0);
    return entry && entry->value ? LegacyTextToUtf8(entry->value) : "";
}

} // namespace

std::vector<TStreamEntry> ListStreams(const AVFormatContext* ic) {
    std::vector<TStreamEntry> list;
    for (unsigned i = 0; ic && i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        const AVCodecParameters* par = st->codecpar;
        TStreamEntry entry;
        entry.Index = static_cast<int>(i);
        entry.Kind = KindName(par->codec_type);
        entry.Codec = ff::avcodec_get_name(par->codec_id);
        entry.Language = Tag(st, "language");
        entry.BitRate = par->bit_rate;
        if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            entry.SampleRate = par->sample_rate;
            entry.Channels = par->ch_layout.nb_channels;
        } else if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            entry.Width = par->width;
            entry.Height = par->height;
        }
        entry.Picture = IsPicture(st);
        if (entry.Picture) entry.PictureBytes = st->attached_pic.size;
        list.push_back(std::move(entry));
    }
    return list;
}

int CoverStreamIndex(const AVFormatContext* ic) {
    int first = -1;
    for (unsigned i = 0; ic && i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        if (!IsPicture(st)) continue;
        // The ID3v2, FLAC and Vorbis readers name the picture's type in its "comment".
        if (Tag(st, "comment") == "Cover (front)") return static_cast<int>(i);
        if (first < 0) first = static_cast<int>(i);
    }
    return first;
}
