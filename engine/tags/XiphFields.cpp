// Vorbis comments (Ogg and FLAC) and the FLAC picture block of the cover.
#include <taglib/flacpicture.h>
#include <taglib/xiphcomment.h>

#include "TagFill.h"

using namespace TagLib;

void FillXiphComment(Ogg::XiphComment& comment, const TTagJob& job) {
    comment.removeAllFields();
    comment.removeAllPictures();
    for (const TUserTag& t : job.Tags) {
        const char* name = FieldName(t.Key, fsXiph);
        const bool number = t.Key == "track" || t.Key == "disc";
        comment.addField(name ? String(name) : Text(FreeFormName(t.Key)),
                         Text(number ? NumberValue(job.Tags, t.Key, fsXiph) : t.Value), false);
    }
    comment.addField("ENCODER", Text(ProgramEncoderName()));
}

FLAC::Picture* NewFlacPicture(const TCoverPicture& cover) {
    auto* picture = new FLAC::Picture;
    picture->setType(FLAC::Picture::FrontCover);
    picture->setMimeType(PictureMimeType(cover.Codec));
    picture->setDescription(Text(cover.Description));
    picture->setWidth(cover.Width);
    picture->setHeight(cover.Height);
    picture->setColorDepth(cover.Depth);
    picture->setData(ByteVector(reinterpret_cast<const char*>(cover.Data.data()),
                                static_cast<unsigned>(cover.Data.size())));
    return picture;
}
