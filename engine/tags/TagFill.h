#pragma once
// Filling each kind of tag TagLib writes from the tags of one output. Every
// filler first removes what the muxer (or anything before it) put there: the
// file's tags are the output's.
#include <string>

#include <taglib/tstring.h>

#include "Exception.h"
#include "TagFiles.h"

namespace TagLib {
namespace ID3v2 { class Tag; }
namespace Ogg { class XiphComment; }
namespace FLAC { class Picture; }
namespace MP4 { class Tag; }
namespace ASF { class Tag; }
namespace RIFF::Info { class Tag; }
} // namespace TagLib

// The field sets of the formats.
enum TFieldSet { fsId3, fsXiph, fsMp4, fsAsf };

// The field a common tag has in `set`; nullptr when the set has none of its
// own (a total then goes with its number, any other tag under its own name).
const char* FieldName(const std::string& common, TFieldSet set);
// The number of track or disc `key` as a field of `set` holds it: with its
// total ("3/12") when `set` has no field for the total.
std::string NumberValue(const TUserTags& tags, const std::string& key, TFieldSet set);
// The name of a tag without a field of its own in its format: a common name in
// upper case, as free-form names are written, any other ExtraTagName.
std::string FreeFormName(const std::string& key);
// The language comment or lyrics `tag` are written in.
std::string LanguageOf(const TUserTag& tag, const TTagJob& job);

TagLib::String Text(const std::string& utf8);

// A file TagLib opened, ready to be written, or Exception saying why not.
template <typename File>
void CheckWritable(File& file) {
    if (!file.isOpen()) throw Exception("the file cannot be opened");
    if (file.readOnly()) throw Exception("the file cannot be written");
    if (!file.isValid()) throw Exception("the file cannot be read as its format");
}

void FillId3v2(TagLib::ID3v2::Tag& tag, const TTagJob& job);
void FillXiphComment(TagLib::Ogg::XiphComment& comment, const TTagJob& job);
// A FLAC picture block of the front cover; the caller owns it.
TagLib::FLAC::Picture* NewFlacPicture(const TCoverPicture& cover);
void FillMp4(TagLib::MP4::Tag& tag, const TTagJob& job);
void FillAsf(TagLib::ASF::Tag& tag, const TTagJob& job);
void FillRiffInfo(TagLib::RIFF::Info::Tag& tag, const TTagJob& job);
// Makes the RIFF INFO fields of the process Latin-1, as their readers decode
// them (TagLib's default is UTF-8). Once, before the first INFO tag is made.
void UseLatin1RiffInfo();
