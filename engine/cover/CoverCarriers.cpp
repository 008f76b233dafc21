// Which containers hold a cover, how, and in which picture codings.
#include <cstring>

#include "CoverArt.h"

TCoverCarrier CoverCarrierOf(const AVOutputFormat* format) {
    if (!format || !format->name) return ccNone;
    const std::string name = format->name;
    if (name == "mp3" || name == "flac" || name == "ipod" || name == "mp4" || name == "mov") return ccPictureStream;
    if (name == "ogg" || name == "oga" || name == "opus" || name == "spx") return ccVorbisComment;
    // The raw layer-2 muxer writes frames only; readers of MPEG audio skip a tag before them.
    if (name == "mp2") return ccId3Tag;
    if (name == "asf") return ccAsfHeader;
    return ccNone;
}

std::string PictureMimeType(AVCodecID codec) {
    switch (codec) {
    case AV_CODEC_ID_MJPEG: return "image/jpeg";
    case AV_CODEC_ID_PNG: return "image/png";
    case AV_CODEC_ID_GIF: return "image/gif";
    case AV_CODEC_ID_BMP: return "image/bmp";
    default: return "";
    }
}

bool CarrierTakesCodec(TCoverCarrier carrier, AVCodecID codec) {
    switch (carrier) {
    case ccNone: return false;
    case ccPictureStream:
        // The MP4 family stores JPEG, PNG and BMP covers only; ID3v2 and FLAC
        // take what has a MIME type.
        if (codec == AV_CODEC_ID_GIF) return false;
        [[fallthrough]];
    default: return !PictureMimeType(codec).empty();
    }
}
