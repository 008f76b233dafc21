// Setting up an encoded subtitle stream: its source is decoded, the encoder
// counts in microseconds, and it starts from the header of the source's
// decoder (the styles of text subtitles).
#include <cstring>

#include "RunTables.h"

void TCustomFFmpeg::SubtitleCanvasOf(const TInputStream& ist, int& width, int& height) const {
    // A DVB stream that defines no display of its own is drawn for the
    // standard one.
    if (ist.Stream->codecpar->codec_id == AV_CODEC_ID_DVB_SUBTITLE) {
        width = 720;
        height = 576;
        return;
    }
    // Otherwise the picture beside it in its file.
    for (const auto& other : Run_->InputStreams) {
        const AVCodecParameters* par = other->Stream->codecpar;
        if (other->FileIndex != ist.FileIndex || par->codec_type != AVMEDIA_TYPE_VIDEO || par->width <= 0) continue;
        if (other->Stream->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
        width = par->width;
        height = par->height;
        return;
    }
}

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
    if (enc->width == 0 && enc->height == 0) SubtitleCanvasOf(ist, enc->width, enc->height);
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
