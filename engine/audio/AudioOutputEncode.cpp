// The encoder end of the audio stage: whole samples wait in the stream's FIFO
// until an encoder frame is complete; frames are built in the encoder's own
// layout (planar or packed), sent, and every packet received goes to the muxer.
#include <algorithm>
#include <cstring>

#include "AudioOutput.h"
#include "AudioSamples.h"
#include "EncodedPackets.h"
#include "TaskTypes.h"

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

int64_t TAudioOutput::FramePts() {
    TAudioOutput& lead = Lead();
    // Where the input clock puts these samples: with sync method 0 the
    // position follows the clock; otherwise it counts what was written, and
    // inserted silence or dropped samples have kept it in step already.
    const int64_t clock = links_.Stream->SyncPosition;
    if (!lead.placed_) {
        lead.placed_ = true;
        // An audio file starts with its first sample; beside a picture the
        // sound starts where it starts in the source, late or not.
        lead.onClock_ = HoldsPictureOrSubtitles(output_);
        if (lead.onClock_) lead.encoderPts_ = std::max<int64_t>(clock, 0);
        return lead.encoderPts_;
    }
    // Frames follow each other without overlap whatever the jitter of the
    // source's time stamps; only a gap in the source larger than the drift
    // threshold shows as a gap, so that the sound after it stays in step.
    const int64_t gap = clock - lead.encoderPts_;
    if (lead.onClock_ && gap > static_cast<int64_t>(settings_.DriftThreshold * Encoder()->sample_rate))
        lead.encoderPts_ = clock;
    return lead.encoderPts_;
}

void TAudioOutput::EncodeBlock(const uint8_t* data, int size) {
    const AVCodecContext* enc = Encoder();
    const int osize = ff::av_get_bytes_per_sample(ff::av_get_packed_sample_fmt(enc->sample_fmt));
    const int sampleBytes = osize * enc->ch_layout.nb_channels;
    TOutputStream& ost = *links_.Stream;
    Lead().samplesDecoded_ += size / sampleBytes;
    // A damaged source can decode to NaN or to samples far out of range: the
    // MP3 encoder's float path aborts the whole process on either, the AAC
    // encoder's quantiser never ends. The meter measures what is encoded.
    // Sound as it should be is passed on without a copy.
    if (floatLimit_ > 0 && !FloatSamplesTame(reinterpret_cast<const float*>(data), size / sizeof(float), floatLimit_)) {
        tamed_.assign(data, data + size);
        TameFloatSamples(reinterpret_cast<float*>(tamed_.data()), tamed_.size() / sizeof(float), floatLimit_);
        data = tamed_.data();
    }
    if (settings_.MeasureLoudness) Lead().Measure(data, size / sampleBytes);
    if (enc->frame_size <= 1) {
        // Encoders that take any number of samples (PCM) get the block as it is.
        const int samples = size / sampleBytes;
        if (samples > 0) SendFrame(data, samples);
        ost.SyncPosition += samples;
        return;
    }
    try {
        fifo_.insert(fifo_.end(), data, data + size);
    } catch (const std::bad_alloc&) {
        throw FFmpegException("av_fifo_realloc2() failed");
    }
    const size_t frameBytes = static_cast<size_t>(enc->frame_size) * sampleBytes;
    size_t used = 0;
    while (fifo_.size() - used >= frameBytes) {
        SendFrame(fifo_.data() + used, enc->frame_size);
        used += frameBytes;
        ost.SyncPosition += enc->frame_size;
    }
    if (used) fifo_.erase(fifo_.begin(), fifo_.begin() + static_cast<std::ptrdiff_t>(used));
}

void TAudioOutput::Measure(const uint8_t* data, int samples) {
    const AVCodecContext* enc = Encoder();
    try {
        if (!meter_) meter_ = std::make_unique<TLoudnessMeter>(enc->ch_layout, enc->sample_rate);
        meter_->Add(data, samples, ff::av_get_packed_sample_fmt(enc->sample_fmt));
    } catch (const std::exception& e) {
        throw FFmpegException(e.what());
    }
}

void TAudioOutput::SendFrame(const uint8_t* data, int samples) {
    TAudioOutput& lead = Lead();
    AVCodecContext* enc = Encoder();
    AVFrame* frame = lead.frame_.get();
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
    // The samples start at the output stream's sync position.
    frame->pts = FramePts();
    lead.encoderPts_ += samples;
    if (ff::avcodec_send_frame(enc, frame) < 0) throw FFmpegException("Audio encoding failed");
    ReceivePackets();
}

void TAudioOutput::ReceivePackets() {
    TAudioOutput& lead = Lead();
    TOutputStream& ost = *links_.Stream;
    AVCodecContext* enc = Encoder();
    TakeEncodedPackets(enc, lead.packet_.get(), "Audio encoding failed", [&](AVPacket* pkt) {
        links_.Counters->AudioSize += pkt->size;
        pkt->stream_index = ost.StreamIndex;
        pkt->flags |= AV_PKT_FLAG_KEY;
        const int64_t samples = ff::av_rescale_q(pkt->duration, enc->time_base, AVRational{1, enc->sample_rate});
        if (pkt->duration <= 0) lead.packetWithoutDuration_ = true;
        ff::av_packet_rescale_ts(pkt, enc->time_base, ost.Stream->time_base);
        links_.Sink->Write(ost, pkt);
        lead.samplesWritten_ += samples;
    });
}

void TAudioOutput::Drain() {
    AVCodecContext* enc = Encoder();
    if (!enc || links_.Lead->EncoderDrained) return;
    const int osize = ff::av_get_bytes_per_sample(ff::av_get_packed_sample_fmt(enc->sample_fmt));
    const int sampleBytes = osize * enc->ch_layout.nb_channels;
    // The resampler keeps the last few input samples for its filter: let them out.
    if (resampler_) {
        for (;;) {
            uint8_t* out[1] = {buffer_.data()};
            const int capacity = static_cast<int>(buffer_.size() / sampleBytes);
            const int got = ff::swr_convert(resampler_.get(), out, capacity, nullptr, 0);
            if (got <= 0) break;
            EncodeBlock(buffer_.data(), got * sampleBytes);
        }
    }
    const int samples = static_cast<int>(fifo_.size() / sampleBytes);
    if (samples > 0) {
        const unsigned caps = enc->codec->capabilities;
        if ((caps & AV_CODEC_CAP_SMALL_LAST_FRAME) || (caps & AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) {
            SendFrame(fifo_.data(), samples);
        } else {
            // A full frame, the missing end filled with silence.
            const size_t frameBytes = static_cast<size_t>(enc->frame_size) * sampleBytes;
            if (buffer_.size() < frameBytes) throw FFmpegException("frame_bytes invalid.");
            const bool unsignedBytes = ff::av_get_packed_sample_fmt(enc->sample_fmt) == AV_SAMPLE_FMT_U8;
            std::memset(buffer_.data(), unsignedBytes ? 0x80 : 0, frameBytes);
            std::memcpy(buffer_.data(), fifo_.data(), fifo_.size());
            SendFrame(buffer_.data(), enc->frame_size);
        }
        fifo_.clear();
    }
    if (ff::avcodec_send_frame(enc, nullptr) < 0) throw FFmpegException("Audio encoding failed");
    ReceivePackets();
    links_.Lead->EncoderDrained = true;
    // Nothing follows the end of the source: the work buffers go now, before
    // the run ends (joined files leave one stage behind per file).
    fifo_ = {};
    buffer_ = {};
    silence_ = {};
    gained_ = {};
    tamed_ = {};
}
