// ASF: title, artist, comment and copyright in the content description, where
// every player looks for them (once, not again as attributes); the others as
// WM/ attributes; the cover as WM/Picture.
#include <taglib/asfpicture.h>
#include <taglib/asftag.h>

#include "TagFill.h"

using namespace TagLib;

void FillAsf(ASF::Tag& tag, const TTagJob& job) {
    const ASF::AttributeListMap attributes = tag.attributeListMap();
    for (const auto& attribute : attributes) tag.removeItem(attribute.first);
    tag.setTitle(String());
    tag.setArtist(String());
    tag.setComment(String());
    tag.setCopyright(String());
    tag.setRating(String());
    for (const TUserTag& t : job.Tags) {
        const char* name = FieldName(t.Key, fsAsf);
        if (!name && (t.Key == "track_total" || t.Key == "disc_total")) continue;
        const bool number = t.Key == "track" || t.Key == "disc";
        const String value = Text(number ? NumberValue(job.Tags, t.Key, fsAsf) : t.Value);
        const std::string field = name ? name : FreeFormName(t.Key);
        if (field == "Title") tag.setTitle(value);
        else if (field == "Author") tag.setArtist(value);
        else if (field == "Description") tag.setComment(value);
        else if (field == "Copyright") tag.setCopyright(value);
        else tag.setAttribute(Text(field), ASF::Attribute(value));
    }
    // Where the library's ASF reader and writer keep the encoder.
    tag.setAttribute("WM/EncodingSettings", ASF::Attribute(Text(ProgramEncoderName())));
    if (job.Cover) {
        const TCoverPicture& cover = *job.Cover;
        ASF::Picture picture;
        picture.setType(ASF::Picture::FrontCover);
        picture.setMimeType(PictureMimeType(cover.Codec));
        picture.setDescription(Text(cover.Description));
        picture.setPicture(ByteVector(reinterpret_cast<const char*>(cover.Data.data()),
                                      static_cast<unsigned>(cover.Data.size())));
        tag.setAttribute("WM/Picture", ASF::Attribute(picture));
    }
}
