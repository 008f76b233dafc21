// Setting up an encoded subtitle stream: its source is decoded, the encoder
// counts in microseconds, and it starts from the header of the source's
// decoder (the styles of text subtitles).
#include <cstring>

#include "RunTables.h"

void TCustomFFmpeg::PrepareSubtitleEncoding(TOutputStream& ost, TInputStream& ist) {
    AVCodecContext* enc = EncoderOf(ost);
    const AVCodecContext* dec = ist.Decoder.get();
    // The output path gives every subtitle its time in microseconds.
    enc->time_base = MicrosecondBase;
    // Bitmap subtitles are placed on the picture their source was made for.
    if (enc->width == 0 && enc->height == 0) {
        enc->width = dec->width;
        enc->height = dec->height;
    }
    ost.NeedsEncoding = 1;
    ist.NeedsDecoding = 1;
}

// The header exists once the source's decoder is open, so that decoder opens
// first, ahead of the others.
void TCustomFFmpeg::CopySubtitleHeader(TOutputStream& ost) {
    OpenDecoder(static_cast<size_t>(ost.SourceIndex));
    const AVCodecContext* dec = Run_->InputStreams[ost.SourceIndex]->Decoder.get();
    if (!dec->subtitle_header || dec->subtitle_header_size <= 0) return;
    AVCodecContext* enc = ost.Encoder.get();
    // The encoder context frees the header with itself; text readers of the
    // header expect it to end with a zero byte.
    auto* header = static_cast<uint8_t*>(ff::av_malloc(static_cast<size_t>(dec->subtitle_header_size) + 1));
    if (!header) RaiseAfterDescription("av_malloc failed");
    std::memcpy(header, dec->subtitle_header, dec->subtitle_header_size);
    header[dec->subtitle_header_size] = 0;
    ff::av_freep(&enc->subtitle_header);
    enc->subtitle_header = header;
    enc->subtitle_header_size = dec->subtitle_header_size;
}
