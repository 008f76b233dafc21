#pragma once
// Cover art: the picture a source carries goes into every output whose tags
// are written after the muxer (tags/TagFiles.h), as the front cover, byte for
// byte; a picture in a coding the tags do not name is coded as PNG first.
#include <cstdint>
#include <string>
#include <vector>

#include "FFPtr.h"

// "image/jpeg" and the like; empty for a coding tags do not take.
std::string PictureMimeType(AVCodecID codec);

// One coded picture and what the picture blocks of the formats say about it.
struct TCoverPicture {
    AVCodecID Codec = AV_CODEC_ID_NONE;
    int Width = 0;
    int Height = 0;
    int Depth = 0;                 // bits per pixel
    std::string Description;       // the source's text for the picture, often empty
    std::vector<uint8_t> Data;     // the coded picture
};

// The picture of stream `st` (an attached picture) as it is.
TCoverPicture CoverOfStream(const AVStream* st);
// The picture decoded and coded again as PNG. Raises FFmpegException.
TCoverPicture CoverAsPng(const TCoverPicture& picture);
