#pragma once
// The tags of a finished audio file, written by TagLib once the muxer has
// closed it: under the names each format's players read, with the cover as
// the front cover, byte for byte. Outputs with moving pictures, and formats
// TagLib does not write, keep the tags their muxer wrote.
#include <optional>
#include <string>

#include "CoverArt.h"
#include "TagFormat.h"
#include "UserTags.h"

struct AVFormatContext;

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
