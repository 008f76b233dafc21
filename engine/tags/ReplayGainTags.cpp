#include "ReplayGainTags.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include "Exception.h"
#include "TagFill.h"

using namespace TagLib;

namespace {

using TFields = std::vector<std::pair<std::string, std::string>>;

void SetUserTexts(ID3v2::Tag& tag, const TFields& fields) {
    for (const auto& [name, value] : fields) {
        while (ID3v2::UserTextIdentificationFrame* old = ID3v2::UserTextIdentificationFrame::find(&tag, Text(name)))
            tag.removeFrame(old, true);
        tag.addFrame(new ID3v2::UserTextIdentificationFrame(Text(name), StringList(Text(value)), String::UTF8));
    }
}

void SetComments(Ogg::XiphComment& comment, const TFields& fields) {
    for (const auto& [name, value] : fields) comment.addField(Text(name), Text(value), true);
}

void WriteMpeg(const std::string& path, const TFields& fields) {
    MPEG::File file(path.c_str(), false);
    CheckWritable(file);
    SetUserTexts(*file.ID3v2Tag(true), fields);
    if (!file.save(MPEG::File::ID3v2, File::StripOthers, ID3v2::v4)) throw Exception("the tags cannot be saved");
}

void WriteWav(const std::string& path, const TFields& fields) {
    // The INFO fields are read back and written again as they are.
    UseLatin1RiffInfo();
    RIFF::WAV::File file(path.c_str(), false);
    CheckWritable(file);
    SetUserTexts(*file.ID3v2Tag(), fields);
    if (!file.save(RIFF::WAV::File::AllTags, File::StripOthers, ID3v2::v4)) throw Exception("the tags cannot be saved");
}

void WriteFlac(const std::string& path, const TFields& fields) {
    FLAC::File file(path.c_str(), false);
    CheckWritable(file);
    SetComments(*file.xiphComment(true), fields);
    if (!file.save()) throw Exception("the tags cannot be saved");
}

template <typename File>
void WriteOgg(const std::string& path, const TFields& fields) {
    File file(path.c_str(), false);
    CheckWritable(file);
    SetComments(*file.tag(), fields);
    if (!file.save()) throw Exception("the tags cannot be saved");
}

void WriteMp4(const std::string& path, const TFields& fields) {
    MP4::File file(path.c_str(), false);
    CheckWritable(file);
    for (const auto& [name, value] : fields)
        file.tag()->setItem("----:com.apple.iTunes:" + Text(name), StringList(Text(value)));
    if (!file.save()) throw Exception("the tags cannot be saved");
}

void WriteAsf(const std::string& path, const TFields& fields) {
    ASF::File file(path.c_str(), false);
    CheckWritable(file);
    for (const auto& [name, value] : fields) file.tag()->setAttribute(Text(name), ASF::Attribute(Text(value)));
    if (!file.save()) throw Exception("the tags cannot be saved");
}

void WriteFields(const std::string& path, TTagFormat format, const TFields& fields) {
    switch (format) {
    case TTagFormat::None: throw Exception("its format has no tags of this program's");
    case TTagFormat::Mpeg: return WriteMpeg(path, fields);
    case TTagFormat::Wav: return WriteWav(path, fields);
    case TTagFormat::Flac: return WriteFlac(path, fields);
    case TTagFormat::OggVorbis: return WriteOgg<Ogg::Vorbis::File>(path, fields);
    case TTagFormat::OggOpus: return WriteOgg<Ogg::Opus::File>(path, fields);
    case TTagFormat::OggSpeex: return WriteOgg<Ogg::Speex::File>(path, fields);
    case TTagFormat::Mp4: return WriteMp4(path, fields);
    case TTagFormat::Asf: return WriteAsf(path, fields);
    }
}

} // namespace

void DropLoudnessTags(TUserTags& tags, bool levelChanged) {
    std::erase_if(tags, [&](const TUserTag& tag) {
        return HasPrefixIgnoringCase(tag.Key, "replaygain_") ||
               (levelChanged && HasPrefixIgnoringCase(tag.Key, "r128_"));
    });
}

void SetTrackReplayGain(TUserTags& tags, const TLoudness& loudness) {
    std::erase_if(tags, [](const TUserTag& tag) { return HasPrefixIgnoringCase(tag.Key, "replaygain_track_"); });
    tags.push_back({"REPLAYGAIN_TRACK_GAIN", ReplayGainText(loudness.Integrated), {}});
    tags.push_back({"REPLAYGAIN_TRACK_PEAK", ReplayGainPeakText(loudness.TruePeak), {}});
}

void WriteAlbumReplayGain(const std::string& path, TTagFormat format, double albumLufs, double albumPeak) {
    WriteFields(path, format,
                {{"REPLAYGAIN_ALBUM_GAIN", ReplayGainText(albumLufs)},
                 {"REPLAYGAIN_ALBUM_PEAK", ReplayGainPeakText(albumPeak)}});
}

std::vector<std::pair<std::string, std::string>> WavReplayGainTags(const std::string& path) {
    std::vector<std::pair<std::string, std::string>> found;
    RIFF::WAV::File file(path.c_str(), false);
    if (!file.isValid() || !file.hasID3v2Tag()) return found;
    for (const ID3v2::Frame* frame : file.ID3v2Tag()->frameList("TXXX")) {
        const auto* text = dynamic_cast<const ID3v2::UserTextIdentificationFrame*>(frame);
        if (!text || text->fieldList().size() < 2) continue;
        const std::string name = text->description().to8Bit(true);
        if (HasPrefixIgnoringCase(name, "replaygain_")) found.emplace_back(name, text->fieldList()[1].to8Bit(true));
    }
    return found;
}
