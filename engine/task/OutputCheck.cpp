// Every completed output is read back and checked against what was read for
// it: the samples its encoder gave the muxer against the samples decoded for
// it, and the audio the file really holds. An output that lacks more than one
// encoder frame (any sample, when lossless), that does not open as media
// again, or that holds no audio at all fails its task, so a silent truncation
// never ends as "Finish".
//
// What a file holds is told by its packets: their durations and the span of
// their time stamps. A container's own duration is never taken: several only
// estimate it (a program stream from the time stamps near its end, a raw
// stream from its bit rate), and an estimate can fall short of a complete
// file as easily as a header written first can promise more than the file
// holds. Packets without a time or a length add nothing, so their figure never
// says more than the file holds. Only when it says less (or nothing) is the
// audio decoded and its samples counted: a file fails only when a decode finds
// it short too, and a good file costs no decode.
#include "OutputCheck.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "FFLog.h"
#include "FFUtils.h"
#include "PacketTime.h"
#include "Format.h"
#include "AudioOutput.h"
#include "RunTables.h"

namespace {

std::string Seconds(double seconds) { return Format(seconds >= 0.1 ? "%.1f" : "%.3f", seconds); }

// The index of audio stream number `ordinal` of `ic`, or -1.
int AudioStream(const AVFormatContext* ic, int ordinal) {
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        if (ic->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && ordinal-- == 0) return static_cast<int>(i);
    return -1;
}

// The demuxers that may read what `oc` writes with `enc`. `Own`: the one of
// its muxer's name; a raw PCM muxer takes any samples ("s16le" can hold
// 24-bit ones), which only the raw demuxer of the encoder's own coding reads.
// `Likely`: those of its extensions ("adts" writes what "aac" reads), taken
// only when probing fails, since an extension may name another format too
// ("m4v" of the M4A muxer).
void DemuxersOf(const AVFormatContext* oc, const AVCodecContext* enc, TOutputCheck& check) {
    if (!oc->oformat || !oc->oformat->name) return;
    const auto add = [](std::vector<std::string>& to, const std::string& name) {
        if (!name.empty() && ff::av_find_input_format(name.c_str()) && std::find(to.begin(), to.end(), name) == to.end())
            to.push_back(name);
    };
    const std::string muxer = oc->oformat->name;
    add(check.OwnDemuxers, muxer);
    const std::string codec = ff::avcodec_get_name(enc->codec_id);
    if (ff::avcodec_find_decoder_by_name(("pcm_" + muxer).c_str()) && codec.rfind("pcm_", 0) == 0)
        add(check.OwnDemuxers, codec.substr(4));
    for (const char* p = oc->oformat->extensions; p && *p;) {
        const char* comma = std::strchr(p, ',');
        const std::string name(p, comma ? comma : p + std::strlen(p));
        if (std::find(check.OwnDemuxers.begin(), check.OwnDemuxers.end(), name) == check.OwnDemuxers.end())
            add(check.LikelyDemuxers, name);
        p = comma ? comma + 1 : "";
    }
}

// Opens output `check` for reading and analyses its streams: 0, or the
// library's code when it cannot be read. It is read by the first demuxer
// that finds the encoder's coding in it: its own, then the one probing
// finds, then the likely ones; else by the one probing found. Raw samples
// have no header to be recognised by (they are read at the encoder's rate and
// channels), and a few raw frames are too few to be.
int OpenOutput(const TOutputCheck& check, InputContextPtr& ic) {
    const auto open = [&](const std::string& demuxer, InputContextPtr& into) {
        AVFormatContext* raw = nullptr;
        int ret = 0;
        if (demuxer.empty()) {
            ret = OpenInputURL(&raw, check.Url, nullptr, nullptr);
        } else {
            AVDictionary* options = nullptr;
            ff::av_dict_set_int(&options, "sample_rate", check.SampleRate, 0);
            ff::av_dict_set_int(&options, "channels", check.Channels, 0);
            ret = OpenInputURL(&raw, check.Url, ff::av_find_input_format(demuxer.c_str()), &options);
            ff::av_dict_free(&options);
        }
        into.reset(raw);
        if (ret >= 0) ret = ff::avformat_find_stream_info(raw, nullptr);
        if (ret < 0) into.reset();
        return ret;
    };
    const auto finds = [&](const InputContextPtr& opened) {
        const int index = opened ? AudioStream(opened.get(), check.AudioOrdinal) : -1;
        return index >= 0 && opened->streams[index]->codecpar->codec_id == check.Codec;
    };
    for (const std::string& demuxer : check.OwnDemuxers)
        if (open(demuxer, ic) >= 0 && finds(ic)) return 0;
    InputContextPtr probed;
    const int ret = open("", probed);
    if (!finds(probed))
        for (const std::string& demuxer : check.LikelyDemuxers)
            if (open(demuxer, ic) >= 0 && finds(ic)) return 0;
    ic = std::move(probed);
    return ret < 0 ? ret : 0;
}

// Only audio stream `index` is read on.
void DiscardOthers(AVFormatContext* ic, int index) {
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        if (static_cast<int>(i) != index) ic->streams[i]->discard = AVDISCARD_ALL;
}

// The seconds of audio a decode of stream `index` of `ic` gives; -1 when no
// decoder takes it or a stop cut the decode short.
double DecodedSeconds(AVFormatContext* ic, int index, const std::atomic<bool>& stop) {
    const AVStream* st = ic->streams[index];
    const AVCodec* codec = ff::avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return -1;
    CodecContextPtr dec(ff::avcodec_alloc_context3(codec));
    PacketPtr pkt = MakePacket();
    FramePtr frame = MakeFrame();
    if (!dec || !pkt || !frame) throw FFmpegException("av_mallocz fail");
    if (ff::avcodec_parameters_to_context(dec.get(), st->codecpar) < 0) return -1;
    dec->pkt_timebase = st->time_base;
    if (CodecOpen(dec.get(), codec, nullptr) < 0) return -1;
    double seconds = 0;
    const auto receive = [&] {
        while (ff::avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
            const int rate = frame->sample_rate > 0 ? frame->sample_rate : dec->sample_rate;
            if (rate > 0) seconds += static_cast<double>(frame->nb_samples) / rate;
            ff::av_frame_unref(frame.get());
        }
    };
    while (ff::av_read_frame(ic, pkt.get()) >= 0) {
        if (stop) return -1;
        // A damaged packet loses its own samples, not the count of the rest.
        if (pkt->stream_index == index && ff::avcodec_send_packet(dec.get(), pkt.get()) >= 0) receive();
        ff::av_packet_unref(pkt.get());
    }
    if (ff::avcodec_send_packet(dec.get(), nullptr) >= 0) receive();
    return seconds;
}

} // namespace

std::string ShorterOutputText(double missing, const std::string& figures) {
    return "Output is " + Seconds(missing) + " s shorter than its source (" + figures + ")";
}

std::string UnreadableOutputText(const std::string& name, const std::string& reason) {
    return "Output cannot be read back (" + name + ": " + reason + ")";
}

std::string SilentOutputText(const std::string& name) { return "Output holds no audio (" + name + ")"; }

void TCustomFFmpeg::NoteOutputChecks() {
    OutputChecks_.clear();
    for (TOutputStream* ost : Run_->OutputStreams) {
        // Joined files write through the first file's streams, which count for all.
        if (&LeadOf(*ost) != ost || !ost->NeedsEncoding || !ost->Encoder) continue;
        const AVCodecContext* enc = ost->Encoder.get();
        const AVFormatContext* oc = OutputFiles[ost->FileIndex];
        if (enc->codec_type != AVMEDIA_TYPE_AUDIO || enc->sample_rate <= 0 || !oc || !oc->pb) continue;
        const AVCodecDescriptor* codec = ff::avcodec_descriptor_get(enc->codec_id);
        TOutputCheck check;
        check.Url = oc->url;
        check.Name = OutputPaths[ost->FileIndex];
        check.Codec = enc->codec_id;
        DemuxersOf(oc, enc, check);
        for (unsigned i = 0; i < static_cast<unsigned>(ost->StreamIndex) && i < oc->nb_streams; ++i)
            if (oc->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) ++check.AudioOrdinal;
        check.SampleRate = enc->sample_rate;
        check.Channels = enc->ch_layout.nb_channels;
        check.Tolerance = codec && (codec->props & AV_CODEC_PROP_LOSSLESS) ? 0 : std::max(enc->frame_size, 0);
        const auto* audio = dynamic_cast<const TAudioOutput*>(ost->Stage.get());
        if (!audio) continue;
        check.SamplesDecoded = audio->SamplesDecoded();
        check.SamplesWritten = audio->SamplesWritten();
        check.WrittenKnown = !audio->PacketWithoutDuration();
        OutputChecks_.push_back(std::move(check));
    }
}

void TCustomFFmpeg::VerifyOutputs() {
    std::vector<TOutputCheck> checks = std::move(OutputChecks_);
    OutputChecks_.clear();
    if (!Completed || Failed || StopRequested) return;
    for (const TOutputCheck& check : checks) {
        const double rate = check.SampleRate;
        const double source = check.SamplesDecoded / rate;
        const double tolerance = check.Tolerance / rate;
        const auto fail = [&](const std::string& text) {
            Completed = false;
            throw FFmpegException(text);
        };
        if (check.WrittenKnown && check.SamplesWritten + check.Tolerance < check.SamplesDecoded)
            fail(ShorterOutputText((check.SamplesDecoded - check.SamplesWritten) / rate,
                                   Format("%d of %d samples written", check.SamplesWritten, check.SamplesDecoded)));
        InputContextPtr ic;
        int ret = OpenOutput(check, ic);
        if (ret < 0) fail(UnreadableOutputText(check.Name, ErrorCodeText(ret)));
        int index = AudioStream(ic.get(), check.AudioOrdinal);
        if (index < 0) fail(SilentOutputText(check.Name));
        DiscardOthers(ic.get(), index);
        const std::vector<TPacketTime> times = ReadPacketTimes(ic.get());
        if (times.empty()) throw FFmpegException("av_mallocz fail");
        const TPacketTime packets = times[index];
        // The container's clock step, by which each time stamp may be rounded.
        const double tick = av_q2d(ic->streams[index]->time_base);
        if (packets.Packets == 0) fail(SilentOutputText(check.Name));
        // Half a sample and the rounding to the container's clock (at both
        // ends of the packets' span) are no loss.
        const auto shortOf = [&](double lasts, double rounding) {
            return lasts <= 0 || lasts + tolerance + 0.5 / rate + 2 * rounding + 2e-6 < source;
        };
        double lasts = packets.Seconds, heard = -1;
        if (shortOf(lasts, tick)) {
            ic.reset();
            ret = OpenOutput(check, ic);
            index = ret < 0 ? -1 : AudioStream(ic.get(), check.AudioOrdinal);
            if (index >= 0) DiscardOthers(ic.get(), index);
            heard = index < 0 ? -1 : DecodedSeconds(ic.get(), index, StopRequested);
            if (StopRequested) {
                // Stopped while it was being checked: the output stays unconfirmed.
                Completed = false;
                return;
            }
            // Without a decoder for it, the packets are all there is to go by.
            lasts = std::max(lasts, heard);
        }
        GlobalLogger()->LogFmt(this, llVerbose, "%s: %d samples decoded, %d written; its packets hold %.6f s%s",
                               check.Name, check.SamplesDecoded, check.SamplesWritten, packets.Seconds,
                               heard < 0 ? std::string() : Format(", a decode %.6f s", heard));
        if (lasts <= 0) fail(SilentOutputText(check.Name));
        if (shortOf(lasts, heard < lasts ? tick : 0)) {
            // A small difference needs the milliseconds to show.
            const char* precision = source - lasts < 0.1 ? "%.3f" : "%.2f";
            fail(ShorterOutputText(source - lasts, Format("%s lasts %s s, its source %s s", check.Name,
                                                          Format(precision, lasts), Format(precision, source))));
        }
    }
}
