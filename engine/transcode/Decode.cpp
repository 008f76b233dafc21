// The decoding side's own part: one input packet (or the end of a stream)
// through its decoder, the time stamps of the decoded data, the audio hook
// and volume, rate emulation, and the hand-over to the output side.
#include <climits>
#include <cstring>

#include "AudioSamples.h"
#include "DecodedSubtitle.h"
#include "SourceDecoder.h"

TSourceDecoder::TSourceDecoder(TDecodedRoute& route, const TDecodeSettings& settings, TPictureHooks& pictureHooks,
                               TFrameHookList& frameHooks, const TAudioHookRelay& audioHook, TSourceCutter& cutter,
                               TCustomFFmpeg* sender)
    : route_(route),
      settings_(settings),
      pictureHooks_(pictureHooks),
      frameHooks_(frameHooks),
      audioHook_(audioHook),
      cutter_(cutter),
      sender_(sender) {}

size_t TSourceDecoder::BufferSizeFor(size_t current, int64_t packetSize) {
    constexpr int64_t Minimum = 192000;
    const int64_t wanted = 2 * packetSize;
    if (wanted > Minimum && wanted > static_cast<int64_t>(current)) return static_cast<size_t>(wanted);
    if (wanted <= Minimum && current < static_cast<size_t>(Minimum)) return Minimum;
    return current;
}

int TSourceDecoder::Decode(TInputStream& ist, int index, const AVPacket* pkt) {
    if (ist.NextPts == NoPts) ist.NextPts = ist.Pts;
    if (pkt) {
        if (pkt->dts != NoPts) ist.NextPts = ist.Pts = ff::av_rescale_q(pkt->dts, ist.Stream->time_base, MicrosecondBase);
        ist.PacketTime = pkt->pts != NoPts ? ff::av_rescale_q(pkt->pts, ist.Stream->time_base, MicrosecondBase) : NoPts;
    }
    if (!ist.NeedsDecoding) {
        // Nothing to decode: the stream's clock advances by one frame and the
        // packet goes to the stream-copied outputs as it is.
        if (!pkt) return 0;
        ist.Pts = ist.NextPts;
        AdvanceWithoutDecoding(ist, pkt);
        route_.Route(ist, index, pkt, TDecodedData{});
        return 0;
    }
    int ret;
    switch (ist.Decoder->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        ret = DecodeAudio(ist, index, pkt);
        break;
    case AVMEDIA_TYPE_VIDEO:
        ret = DecodeVideo(ist, index, pkt);
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        ret = DecodeSubtitle(ist, index, pkt);
        break;
    default:
        return -1;
    }
    if (ret < 0) return ret;
    if (!pkt) route_.Drain(index);
    return 0;
}

void TSourceDecoder::AdvanceWithoutDecoding(TInputStream& ist, const AVPacket* pkt) {
    const AVCodecParameters* par = ist.Stream->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0) {
        const int frameSize = par->frame_size > 0 ? par->frame_size : ist.Decoder->frame_size;
        ist.NextPts += 1000000LL * frameSize / par->sample_rate;
    } else if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        if (pkt->duration > 0)
            ist.NextPts += ff::av_rescale_q(pkt->duration, ist.Stream->time_base, MicrosecondBase);
        else if (ist.Stream->avg_frame_rate.num)
            ist.NextPts += ff::av_rescale_q(1, av_inv_q(ist.Stream->avg_frame_rate), MicrosecondBase);
    }
}

int TSourceDecoder::DecodeAudio(TInputStream& ist, int index, const AVPacket* pkt) {
    if (pkt) {
        const size_t size = BufferSizeFor(samples_.size(), pkt->size);
        if (size != samples_.size()) {
            samples_.clear();
            samples_.shrink_to_fit();
            samples_.resize(size);
        }
    }
    return ReceiveFrames(ist, pkt, [&](AVFrame* frame) { DeliverAudioFrame(ist, index, frame); });
}

// One packet in (nullptr drains), every frame the decoder then has out. The
// whole packet counts as consumed.
template <typename OnFrame>
int TSourceDecoder::ReceiveFrames(TInputStream& ist, const AVPacket* pkt, const OnFrame& onFrame) {
    int ret = ff::avcodec_send_packet(ist.Decoder.get(), pkt);
    if (ret < 0 && ret != AVERROR_EOF) return -1;
    AVFrame* frame = ist.DecodedFrame.get();
    for (;;) {
        ret = ff::avcodec_receive_frame(ist.Decoder.get(), frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return 0;
        if (ret < 0) return -1;
        onFrame(frame);
        ff::av_frame_unref(frame);
    }
}

void TSourceDecoder::DeliverAudioFrame(TInputStream& ist, int index, AVFrame* frame) {
    ist.Pts = ist.NextPts;
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const AVSampleFormat packed = ff::av_get_packed_sample_fmt(format);
    const int channels = frame->ch_layout.nb_channels;
    const int bytes = ff::av_get_bytes_per_sample(packed);
    if (channels <= 0 || bytes <= 0 || frame->sample_rate <= 0 || frame->nb_samples <= 0) return;
    // Of a cut source only the samples of its stretch go on, where it puts them.
    const TKeptSamples kept = cutter_.Audio(ist, *frame);
    if (kept.Count <= 0) return;
    ist.Pts = kept.Pts;
    const int64_t size64 = static_cast<int64_t>(frame->nb_samples) * channels * bytes;
    if (size64 > INT_MAX) throw FFmpegException("frame_bytes invalid.");
    // A decoder may hand back more than the packet-size rule expects.
    if (samples_.size() < static_cast<size_t>(size64)) samples_.resize(size64);
    InterleaveSamples(frame, samples_.data(), bytes, channels);
    uint8_t* data = samples_.data() + static_cast<size_t>(kept.First) * channels * bytes;
    const int size = kept.Count * channels * bytes;
    ist.DeliveredFormat = packed;
    ist.DeliveredRate = frame->sample_rate;
    ist.DeliveredChannels = channels;
    ist.NextPts = ist.Pts + (1000000 / bytes) * static_cast<int64_t>(size) / (static_cast<int64_t>(frame->sample_rate) * channels);

    if (audioHook_) audioHook_(sender_, ist.Pts, data, size, frame->sample_rate, channels, packed);
    if (settings_.AudioVolume != 256) ApplySampleVolume(data, size, packed, settings_.AudioVolume);
    EmulateRate(ist);
    TDecodedData samples;
    samples.Samples = data;
    samples.Size = size;
    route_.Route(ist, index, nullptr, samples);
}

void TSourceDecoder::EmulateRate(const TInputStream& ist) const {
    if (!settings_.RateEmulation) return;
    const int64_t elapsed = ff::av_gettime() - ist.StartClock;
    if (ist.Pts - elapsed > 1000) ff::av_usleep(static_cast<unsigned>((ist.Pts - elapsed) / 1000 * 1000));
}

int TSourceDecoder::DecodeVideo(TInputStream& ist, int index, const AVPacket* pkt) {
    const int ret = ReceiveFrames(ist, pkt, [&](AVFrame* frame) {
        ist.Pts = ist.NextPts;
        const int64_t reordered =
            frame->pts != NoPts ? ff::av_rescale_q(frame->pts, ist.Stream->time_base, MicrosecondBase) : NoPts;
        ist.Pts = ist.NextPts = GuessCorrectPts(ist.PtsCorrection, ist.Pts, reordered);
        if (frame->pkt_duration > 0)
            ist.NextPts += ff::av_rescale_q(frame->pkt_duration, ist.Stream->time_base, MicrosecondBase);
        else if (ist.Decoder->framerate.num)
            ist.NextPts += ff::av_rescale_q(1 + frame->repeat_pict, av_inv_q(ist.Decoder->framerate), MicrosecondBase);
        ist.Quality = frame->quality;
        HandOverPicture(ist, index, frame);
    });
    // At the end of the stream the filter chain lets out what it still holds.
    if (ret >= 0 && !pkt) CloseFilters(ist, index);
    return ret;
}

int TSourceDecoder::DecodeSubtitle(TInputStream& ist, int index, const AVPacket* pkt) {
    if (!pkt) return 0;
    TDecodedSubtitle subtitle;
    int got = 0;
    if (ff::avcodec_decode_subtitle2(ist.Decoder.get(), &subtitle.Value, &got, const_cast<AVPacket*>(pkt)) < 0)
        return -1;
    if (!got) return 0;
    ist.Pts = ist.NextPts;
    TDecodedData decoded;
    decoded.Subtitle = &subtitle.Value;
    decoded.SubtitlePts = pkt->pts;
    route_.Route(ist, index, nullptr, decoded);
    return 0;
}
