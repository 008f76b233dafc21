// Which outputs TagLib writes the tags of, and the writing itself: the file
// opened as its format, its tags replaced by the output's, saved.
#include "TagFiles.h"

#include <cstring>

#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

#include "Exception.h"
#include "TagFill.h"

extern "C" {
#include <libavformat/avformat.h>
}

using namespace TagLib;

namespace {

bool Named(const char* name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (name && std::strcmp(name, n) == 0) return true;
    return false;
}

template <typename File>
void Save(File& file) {
    if (!file.save()) throw Exception("the tags cannot be saved");
}

// The tags before the frames: readers of MPEG audio (and of raw AAC) look at
// the first tag only.
void WriteMpeg(const TTagJob& job) {
    MPEG::File file(job.Path.c_str(), false);
    CheckWritable(file);
    FillId3v2(*file.ID3v2Tag(true), job);
    if (!file.save(MPEG::File::ID3v2, File::StripOthers, ID3v2::v4)) throw Exception("the tags cannot be saved");
}

void WriteWav(const TTagJob& job) {
    UseLatin1RiffInfo();
    RIFF::WAV::File file(job.Path.c_str(), false);
    CheckWritable(file);
    FillRiffInfo(*file.InfoTag(), job);
    FillId3v2(*file.ID3v2Tag(), job);
    if (!file.save(RIFF::WAV::File::AllTags, File::StripOthers, ID3v2::v4))
        throw Exception("the tags cannot be saved");
}

void WriteFlac(const TTagJob& job) {
    FLAC::File file(job.Path.c_str(), false);
    CheckWritable(file);
    FillXiphComment(*file.xiphComment(true), job);
    file.removePictures();
    if (job.Cover) file.addPicture(NewFlacPicture(*job.Cover));
    Save(file);
}

// Every Ogg coding keeps its comments in the second packet of its stream; the
// picture goes there too, after the text.
template <typename File>
void WriteOgg(const TTagJob& job) {
    File file(job.Path.c_str(), false);
    CheckWritable(file);
    FillXiphComment(*file.tag(), job);
    if (job.Cover) file.tag()->addPicture(NewFlacPicture(*job.Cover));
    Save(file);
}

void WriteMp4(const TTagJob& job) {
    MP4::File file(job.Path.c_str(), false);
    CheckWritable(file);
    FillMp4(*file.tag(), job);
    Save(file);
}

void WriteAsf(const TTagJob& job) {
    ASF::File file(job.Path.c_str(), false);
    CheckWritable(file);
    FillAsf(*file.tag(), job);
    Save(file);
}

} // namespace

TTagFormat TagFormatOf(const AVFormatContext* oc) {
    if (!oc || !oc->oformat) return TTagFormat::None;
    AVCodecID audio = AV_CODEC_ID_NONE;
    for (unsigned i = 0; i < oc->nb_streams; ++i) {
        const AVStream* st = oc->streams[i];
        // A video keeps what its muxer writes.
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return TTagFormat::None;
        if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && audio == AV_CODEC_ID_NONE) audio = st->codecpar->codec_id;
    }
    const char* name = oc->oformat->name;
    if (Named(name, {"mp3", "mp2", "adts"})) return TTagFormat::Mpeg;
    if (Named(name, {"wav"})) return TTagFormat::Wav;
    if (Named(name, {"flac"})) return TTagFormat::Flac;
    if (Named(name, {"ipod", "mp4", "mov"})) return TTagFormat::Mp4;
    if (Named(name, {"asf"})) return TTagFormat::Asf;
    if (!Named(name, {"ogg", "oga", "opus", "spx"})) return TTagFormat::None;
    switch (audio) {
    case AV_CODEC_ID_VORBIS: return TTagFormat::OggVorbis;
    case AV_CODEC_ID_OPUS: return TTagFormat::OggOpus;
    case AV_CODEC_ID_SPEEX: return TTagFormat::OggSpeex;
    // TagLib's writer of FLAC in Ogg clears the mark of the last header block,
    // and readers that trust it no longer find the audio: its muxer writes
    // the tags of FLAC in Ogg.
    default: return TTagFormat::None;
    }
}

void WriteTagFile(const TTagJob& job) {
    switch (job.Format) {
    case TTagFormat::None: return;
    case TTagFormat::Mpeg: return WriteMpeg(job);
    case TTagFormat::Wav: return WriteWav(job);
    case TTagFormat::Flac: return WriteFlac(job);
    case TTagFormat::OggVorbis: return WriteOgg<Ogg::Vorbis::File>(job);
    case TTagFormat::OggOpus: return WriteOgg<Ogg::Opus::File>(job);
    case TTagFormat::OggSpeex: return WriteOgg<Ogg::Speex::File>(job);
    case TTagFormat::Mp4: return WriteMp4(job);
    case TTagFormat::Asf: return WriteAsf(job);
    }
}
