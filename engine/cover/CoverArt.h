#pragma once
// Cover art: the picture a source carries goes into every output whose format
// can hold one. Most muxers take it as an attached-picture stream; Ogg, raw
// MPEG layer-2 and ASF cannot, so the picture is written the way players read
// it there: a METADATA_BLOCK_PICTURE comment, an ID3v2 tag ahead of the
// frames, a WM/Picture entry in the ASF header.
#include <cstdint>
#include <string>
#include <vector>

#include "FFPtr.h"

// How an output container holds a cover.
enum TCoverCarrier {
    ccNone,            // it cannot (WAV, raw AAC, ...)
    ccPictureStream,   // an attached-picture stream (MP3, FLAC, MP4 and M4A)
    ccVorbisComment,   // METADATA_BLOCK_PICTURE in the audio stream's comments (Ogg)
    ccId3Tag,          // an APIC frame in the ID3v2 tag before the first frame (raw MPEG audio)
    ccAsfHeader        // WM/Picture in the header, added once the file is complete (WMA)
};

TCoverCarrier CoverCarrierOf(const AVOutputFormat* format);
// Whether `carrier` takes pictures coded as `codec` as they are.
bool CarrierTakesCodec(TCoverCarrier carrier, AVCodecID codec);
// "image/jpeg" and the like; empty for a codec no carrier takes.
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

// A FLAC PICTURE block body (front cover), as METADATA_BLOCK_PICTURE carries it.
std::vector<uint8_t> FlacPictureBlock(const TCoverPicture& picture);
std::string Base64(const std::vector<uint8_t>& bytes);
// An ID3v2.4 APIC frame (front cover), for the tag the output's tags open.
std::vector<uint8_t> Id3v2PictureFrame(const TCoverPicture& picture);
// The value of a WM/Picture attribute (front cover).
std::vector<uint8_t> AsfPictureValue(const TCoverPicture& picture);
// `header` is a complete ASF header object; returns it with a WM/Picture
// attribute added (the file size it records grown to match). Raises
// FFmpegException when the header is not one.
std::vector<uint8_t> AsfHeaderWithPicture(const std::vector<uint8_t>& header, const TCoverPicture& picture);

// The cover one output of a run carries.
struct TOutputCover {
    int File = 0;                  // output file index
    TCoverCarrier Carrier = ccNone;
    int StreamIndex = -1;          // ccPictureStream: the picture's stream in the output
    TCoverPicture Picture;
};
