#pragma once
// The tags of a finished audio file, written by TagLib once the muxer has
// closed it: under the names each format's players read, with the cover as
// the front cover, byte for byte. Outputs with moving pictures, and formats
// TagLib does not write, keep the tags their muxer wrote.
#include <optional>
#include <string>

#include "CoverArt.h"
#include "UserTags.h"

struct AVFormatContext;

// The kind of file TagLib writes the tags of.
enum class TTagFormat {
    None,       // the muxer writes the tags
    Mpeg,       // an ID3v2.4 tag before the frames (MP3, MP2, raw AAC)
    Wav,        // RIFF INFO in Latin-1, and the whole text in an ID3v2.4 chunk
    Flac,       // a Vorbis comment block and a PICTURE block
    OggVorbis,  // Vorbis comments, the picture as METADATA_BLOCK_PICTURE after them
    OggOpus,
    OggSpeex,
    Mp4,        // iTunes atoms, covr, "----:com.apple.iTunes:" for other names
    Asf,        // ASF attributes and WM/Picture
};

// By the output's muxer and, in Ogg, by the coding of its audio. The output's
// streams must have their parameters.
TTagFormat TagFormatOf(const AVFormatContext* oc);

// What is written into one finished output.
struct TTagJob {
    std::string Path;                    // the file, as the file system names it
    TTagFormat Format = TTagFormat::None;
    TUserTags Tags;
    std::string Language;                // ISO 639-2 of comment and lyrics that name none of their own
    std::optional<TCoverPicture> Cover;
};

// Replaces the tags of the job's file by the job's. Raises Exception with the
// reason when the file cannot be read as its format or not be saved.
void WriteTagFile(const TTagJob& job);
