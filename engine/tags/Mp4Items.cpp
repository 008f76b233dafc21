// iTunes metadata atoms: the common tags in their atoms, a track and a disc
// with their totals, other tags as "----:com.apple.iTunes:" items, the cover
// in covr.
#include <cstdlib>

#include <taglib/mp4coverart.h>
#include <taglib/mp4tag.h>

#include "TagFill.h"

using namespace TagLib;

namespace {

int Number(const std::string& text) { return static_cast<int>(std::strtol(text.c_str(), nullptr, 10)); }

MP4::CoverArt::Format CoverFormat(AVCodecID codec) {
    switch (codec) {
    case AV_CODEC_ID_MJPEG: return MP4::CoverArt::JPEG;
    case AV_CODEC_ID_PNG: return MP4::CoverArt::PNG;
    case AV_CODEC_ID_BMP: return MP4::CoverArt::BMP;
    case AV_CODEC_ID_GIF: return MP4::CoverArt::GIF;
    default: return MP4::CoverArt::Unknown;
    }
}

} // namespace

void FillMp4(MP4::Tag& tag, const TTagJob& job) {
    const MP4::ItemMap items = tag.itemMap();
    for (const auto& item : items) tag.removeItem(item.first);
    for (const TUserTag& t : job.Tags) {
        const char* atom = FieldName(t.Key, fsMp4);
        if (!atom && (t.Key == "track_total" || t.Key == "disc_total")) continue;
        if (!atom) {
            tag.setItem("----:com.apple.iTunes:" + Text(FreeFormName(t.Key)), StringList(Text(t.Value)));
        } else if (t.Key == "track" || t.Key == "disc") {
            tag.setItem(atom, MP4::Item(Number(t.Value), Number(TagValue(job.Tags, t.Key + "_total"))));
        } else if (t.Key == "compilation") {
            tag.setItem(atom, MP4::Item(Number(t.Value) != 0));
        } else {
            tag.setItem(atom, StringList(Text(t.Value)));
        }
    }
    tag.setItem("\251too", StringList(Text(ProgramEncoderName())));
    if (job.Cover) {
        const TCoverPicture& cover = *job.Cover;
        MP4::CoverArtList covers;
        covers.append(MP4::CoverArt(CoverFormat(cover.Codec), ByteVector(reinterpret_cast<const char*>(cover.Data.data()),
                                                                       static_cast<unsigned>(cover.Data.size()))));
        tag.setItem("covr", covers);
    }
}
