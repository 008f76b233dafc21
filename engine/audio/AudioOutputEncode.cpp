// The encoder end of the audio path: whole samples wait in the stream's FIFO
// until an encoder frame is complete; frames are built in the encoder's own
// layout (planar or packed), sent, and every packet received goes to the muxer.
#include <algorithm>
#include <cstring>

#include "AudioSamples.h"
#include "EncodedPackets.h"
#include "RunTables.h"

namespace {

// Whether `output` holds something the sound must stay in step with: a
// picture (a cover is no picture) or subtitles.
bool HoldsPictureOrSubtitles(const AVFormatContext* output) {
    for (unsigned i = 0; output && i < output->nb_streams; ++i) {
        const AVStream* st = output->streams[i];
        const AVMediaType type = st->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_SUBTITLE) return true;
        if (type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) return true;
    }
    return false;
}

} // namespace

int64_t TCustomFFmpeg::AudioFramePts(AVFormatContext* output, TOutputStream& ost) {
    TOutputStream& lead = LeadOf(ost);
    // Where the input clock puts these samples: with sync method 0 the
    // position follows the clock; otherwise it counts what was written, and
    // inserted silence or dropped samples have kept it in step already.
    const int64_t clock = ost.SyncPosition;
    if (!lead.AudioPlaced) {
        lead.AudioPlaced = true;
        // An audio file starts with its first sample; beside a picture the
        // sound starts where it starts in the source, late or not.
        lead.AudioOnClock = HoldsPictureOrSubtitles(output);
        if (lead.AudioOnClock) lead.EncoderPts = std::max<int64_t>(clock, 0);
        return lead.EncoderPts;
    }
    // Frames follow each other without overlap whatever the jitter of the
    // source's time stamps; only a gap in the source larger than the drift
    // threshold shows as a gap, so that the sound after it stays in step.
    const int64_t gap = clock - lead.EncoderPts;
    const AVCodecContext* enc = lead.Encoder.get();
    if (lead.AudioOnClock && gap > static_cast<int64_t>(Opt.AudioDriftThreshold * enc->sample_rate))
        lead.EncoderPts = clock;
    return lead.EncoderPts;
}

void TCustomFFmpeg::EncodeAudioBlock(AVFormatContext* output, TOutputStream& ost, const uint8_t* data, int size) {
    const AVCodecContext* enc = EncoderOf(ost);
    const int osize = ff::av_get_bytes_per_sample(ff::av_get_packed_sample_fmt(enc->sample_fmt));
    const int sampleBytes = osize * enc->ch_layout.nb_channels;
    LeadOf(ost).SamplesDecoded += size / sampleBytes;
    if (enc->frame_size <= 1) {
        // Encoders that take any number of samples (PCM) get the block as it is.
        const int samples = size / sampleBytes;
        if (samples > 0) SendAudioFrame(output, ost, data, samples);
        ost.SyncPosition += samples;
        return;
    }
    try {
        ost.Fifo.insert(ost.Fifo.end(), data, data + size);
    } catch (const std::bad_alloc&) {
        throw FFmpegException("av_fifo_realloc2() failed");
    }
    const size_t frameBytes = static_cast<size_t>(enc->frame_size) * sampleBytes;
    size_t used = 0;
    while (ost.Fifo.size() - used >= frameBytes) {
        SendAudioFrame(output, ost, ost.Fifo.data() + used, enc->frame_size);
        used += frameBytes;
        ost.SyncPosition += enc->frame_size;
    }
    if (used) ost.Fifo.erase(ost.Fifo.begin(), ost.Fifo.begin() + static_cast<std::ptrdiff_t>(used));
}

void TCustomFFmpeg::SendAudioFrame(AVFormatContext* output, TOutputStream& ost, const uint8_t* data, int samples) {
    TOutputStream& lead = LeadOf(ost);
    AVCodecContext* enc = lead.Encoder.get();
    AVFrame* frame = lead.EncoderFrame.get();
    const int osize = ff::av_get_bytes_per_sample(ff::av_get_packed_sample_fmt(enc->sample_fmt));
    // The frame's buffers are kept while the encoder holds no reference to them.
    if (frame->nb_samples != samples || !frame->buf[0]) {
        ff::av_frame_unref(frame);
        frame->format = enc->sample_fmt;
        frame->sample_rate = enc->sample_rate;
        frame->nb_samples = samples;
        if (ff::av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout) < 0 || ff::av_frame_get_buffer(frame, 0) < 0)
            throw FFmpegException("Audio encoding failed");
    } else if (ff::av_frame_make_writable(frame) < 0) {
        throw FFmpegException("Audio encoding failed");
    }
    DeinterleaveSamples(data, frame, osize, enc->ch_layout.nb_channels);
    // A damaged source can decode to NaN or to samples far out of range; the
    // MP3 encoder's float path aborts the whole process on either.
    TameFloatSamples(frame, enc->ch_layout.nb_channels, std::strcmp(enc->codec->name, "libmp3lame") == 0);
    // The samples start at the output stream's sync position.
    frame->pts = AudioFramePts(output, ost);
    lead.EncoderPts += samples;
    if (ff::avcodec_send_frame(enc, frame) < 0) throw FFmpegException("Audio encoding failed");
    ReceiveAudioPackets(output, ost);
}

void TCustomFFmpeg::ReceiveAudioPackets(AVFormatContext* output, TOutputStream& ost) {
    TOutputStream& lead = LeadOf(ost);
    AVCodecContext* enc = lead.Encoder.get();
    TakeEncodedPackets(enc, lead.EncoderPacket.get(), "Audio encoding failed", [&](AVPacket* pkt) {
        Run_->Counters.AudioSize += pkt->size;
        pkt->stream_index = ost.StreamIndex;
        pkt->flags |= AV_PKT_FLAG_KEY;
        const int64_t samples = ff::av_rescale_q(pkt->duration, enc->time_base, AVRational{1, enc->sample_rate});
        if (pkt->duration <= 0) lead.PacketWithoutDuration = true;
        ff::av_packet_rescale_ts(pkt, enc->time_base, ost.Stream->time_base);
        WriteFrame(output, pkt, ost);
        lead.SamplesWritten += samples;
    });
}

void TCustomFFmpeg::DrainAudioEncoder(TOutputStream& ost) {
    TOutputStream& lead = LeadOf(ost);
    AVCodecContext* enc = lead.Encoder.get();
    if (!enc || lead.EncoderDrained) return;
    AVFormatContext* output = OutputFiles[ost.FileIndex];
    const int osize = ff::av_get_bytes_per_sample(ff::av_get_packed_sample_fmt(enc->sample_fmt));
    const int sampleBytes = osize * enc->ch_layout.nb_channels;
    // The resampler keeps the last few input samples for its filter: let them out.
    if (ost.Resampler) {
        for (;;) {
            uint8_t* out[1] = {Run_->AudioBuffer.data()};
            const int capacity = static_cast<int>(Run_->AudioBuffer.size() / sampleBytes);
            const int got = ff::swr_convert(ost.Resampler.get(), out, capacity, nullptr, 0);
            if (got <= 0) break;
            EncodeAudioBlock(output, ost, Run_->AudioBuffer.data(), got * sampleBytes);
        }
    }
    const int samples = static_cast<int>(ost.Fifo.size() / sampleBytes);
    if (samples > 0) {
        const unsigned caps = enc->codec->capabilities;
        if ((caps & AV_CODEC_CAP_SMALL_LAST_FRAME) || (caps & AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) {
            SendAudioFrame(output, ost, ost.Fifo.data(), samples);
        } else {
            // A full frame, the missing end filled with silence.
            const size_t frameBytes = static_cast<size_t>(enc->frame_size) * sampleBytes;
            if (Run_->AudioBuffer.size() < frameBytes) throw FFmpegException("frame_bytes invalid.");
            const bool unsignedBytes = ff::av_get_packed_sample_fmt(enc->sample_fmt) == AV_SAMPLE_FMT_U8;
            std::memset(Run_->AudioBuffer.data(), unsignedBytes ? 0x80 : 0, frameBytes);
            std::memcpy(Run_->AudioBuffer.data(), ost.Fifo.data(), ost.Fifo.size());
            SendAudioFrame(output, ost, Run_->AudioBuffer.data(), enc->frame_size);
        }
        ost.Fifo.clear();
    }
    if (ff::avcodec_send_frame(enc, nullptr) < 0) throw FFmpegException("Audio encoding failed");
    ReceiveAudioPackets(output, ost);
    lead.EncoderDrained = true;
}

void TCustomFFmpeg::DrainEncoders(int index) {
    for (TOutputStream* ost : Run_->OutputStreams) {
        if (ost->SourceIndex != index || !ost->NeedsEncoding) continue;
        const AVCodecContext* enc = EncoderOf(*ost);
        if (enc && enc->codec_type == AVMEDIA_TYPE_AUDIO) DrainAudioEncoder(*ost);
        else if (enc && enc->codec_type == AVMEDIA_TYPE_VIDEO) DrainVideoEncoder(*ost);
        else if (ost->Stage) ost->Stage->Drain();
    }
}
