// ID3v2 frames as players read them: text frames in UTF-8, the comment in a
// COMM frame and the lyrics in a USLT frame (not in user-defined TXXX frames,
// which most players do not show), each in its language, other tags in TXXX
// frames under their names, the encoder in TSSE, the cover in APIC.
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unsynchronizedlyricsframe.h>

#include "TagFill.h"

using namespace TagLib;

namespace {

constexpr auto Encoding = String::UTF8;

void AddText(ID3v2::Tag& tag, const char* id, const std::string& value) {
    auto* frame = new ID3v2::TextIdentificationFrame(ByteVector(id), Encoding);
    frame->setText(Text(value));
    tag.addFrame(frame);
}

void AddUserText(ID3v2::Tag& tag, const std::string& name, const std::string& value) {
    tag.addFrame(new ID3v2::UserTextIdentificationFrame(Text(name), StringList(Text(value)), Encoding));
}

ByteVector Language(const TUserTag& t, const TTagJob& job) { return ByteVector(LanguageOf(t, job).c_str(), 3); }

void AddComment(ID3v2::Tag& tag, const TUserTag& t, const TTagJob& job) {
    auto* frame = new ID3v2::CommentsFrame(Encoding);
    frame->setLanguage(Language(t, job));
    frame->setText(Text(t.Value));
    tag.addFrame(frame);
}

void AddLyrics(ID3v2::Tag& tag, const TUserTag& t, const TTagJob& job) {
    auto* frame = new ID3v2::UnsynchronizedLyricsFrame(Encoding);
    frame->setLanguage(Language(t, job));
    frame->setText(Text(t.Value));
    tag.addFrame(frame);
}

void AddPicture(ID3v2::Tag& tag, const TCoverPicture& cover) {
    auto* frame = new ID3v2::AttachedPictureFrame;
    frame->setTextEncoding(Encoding);
    frame->setMimeType(PictureMimeType(cover.Codec));
    frame->setType(ID3v2::AttachedPictureFrame::FrontCover);
    frame->setDescription(Text(cover.Description));
    frame->setPicture(ByteVector(reinterpret_cast<const char*>(cover.Data.data()),
                                 static_cast<unsigned>(cover.Data.size())));
    tag.addFrame(frame);
}

} // namespace

void FillId3v2(ID3v2::Tag& tag, const TTagJob& job) {
    // Not through a copy of the list: the tag's own list would lose its
    // ownership of the frames added next.
    while (!tag.frameList().isEmpty()) tag.removeFrame(tag.frameList().front(), true);
    for (const TUserTag& t : job.Tags) {
        const char* id = FieldName(t.Key, fsId3);
        if (!id && IsCommonTag(t.Key)) continue;  // a total, which goes with its number
        if (!id) AddUserText(tag, FreeFormName(t.Key), t.Value);
        else if (t.Key == "track" || t.Key == "disc") AddText(tag, id, NumberValue(job.Tags, t.Key, fsId3));
        else if (t.Key == "comment") AddComment(tag, t, job);
        else if (t.Key == "lyrics") AddLyrics(tag, t, job);
        else AddText(tag, id, t.Value);
    }
    AddText(tag, "TSSE", ProgramEncoderName());
    if (job.Cover) AddPicture(tag, *job.Cover);
}
