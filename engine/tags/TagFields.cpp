// The fields each format's players read the common tags from.
#include <algorithm>
#include <cctype>

#include "TagFill.h"

namespace {

struct TFieldNames {
    const char* Common;
    const char* Names[4];  // by TFieldSet
};

// ASF's Title, Author, Description and Copyright are the fields of its content
// description, the others attributes. A dash: the total goes with its number.
const TFieldNames Fields[] = {
    {"title", {"TIT2", "TITLE", "\251nam", "Title"}},
    {"artist", {"TPE1", "ARTIST", "\251ART", "Author"}},
    {"album", {"TALB", "ALBUM", "\251alb", "WM/AlbumTitle"}},
    {"album_artist", {"TPE2", "ALBUMARTIST", "aART", "WM/AlbumArtist"}},
    {"track", {"TRCK", "TRACKNUMBER", "trkn", "WM/TrackNumber"}},
    {"track_total", {nullptr, "TRACKTOTAL", nullptr, "TOTALTRACKS"}},
    {"disc", {"TPOS", "DISCNUMBER", "disk", "WM/PartOfSet"}},
    {"disc_total", {nullptr, "DISCTOTAL", nullptr, nullptr}},
    {"date", {"TDRC", "DATE", "\251day", "WM/Year"}},
    {"genre", {"TCON", "GENRE", "\251gen", "WM/Genre"}},
    {"comment", {"COMM", "COMMENT", "\251cmt", "Description"}},
    {"composer", {"TCOM", "COMPOSER", "\251wrt", "WM/Composer"}},
    {"lyrics", {"USLT", "LYRICS", "\251lyr", "WM/Lyrics"}},
    {"copyright", {"TCOP", "COPYRIGHT", "cprt", "Copyright"}},
    {"publisher", {"TPUB", nullptr, nullptr, "WM/Publisher"}},
    {"performer", {"TPE3", nullptr, nullptr, nullptr}},
    {"encoded_by", {"TENC", nullptr, nullptr, "WM/EncodedBy"}},
    {"language", {"TLAN", nullptr, nullptr, "WM/Language"}},
    {"grouping", {"TIT1", nullptr, "\251grp", "WM/ContentGroupDescription"}},
    {"compilation", {"TCMP", nullptr, "cpil", nullptr}},
    {"lyricist", {"TEXT", nullptr, nullptr, "WM/Writer"}},
};

} // namespace

const char* FieldName(const std::string& common, TFieldSet set) {
    for (const TFieldNames& field : Fields)
        if (common == field.Common) return field.Names[set];
    return nullptr;
}

std::string NumberValue(const TUserTags& tags, const std::string& key, TFieldSet set) {
    return FieldName(key + "_total", set) ? TagValue(tags, key) : NumberWithTotal(tags, key);
}

std::string FreeFormName(const std::string& key) {
    if (!IsCommonTag(key)) return ExtraTagName(key);
    std::string upper = key;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    return upper;
}

std::string LanguageOf(const TUserTag& tag, const TTagJob& job) {
    if (!tag.Language.empty()) return tag.Language;
    // Readers take a comment without a language for one in English; most
    // writers say so when they know no better.
    return job.Language.empty() ? "eng" : job.Language;
}

TagLib::String Text(const std::string& utf8) { return TagLib::String(utf8, TagLib::String::UTF8); }
