#include "TranscodeTestSupport.h"

#include <cstdio>
#include <cstring>

#include "FFPtr.h"
#include "MediaIO.h"


TProbed ProbeEntries(const std::string& path, const std::string& selection) {
    TProbed probed;
    const std::string text = CommandOutput("ffprobe -v error " + selection + " -of default=nw=1 " + ShellQuote(path));
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t eq = line.find('=');
        if (eq != std::string::npos) {
            std::string key = line.substr(0, eq);
            // The container's duration follows the stream's: keep both apart.
            if (key == "duration" && probed.Values.count("duration")) key = "format_duration";
            probed.Values.emplace(key, line.substr(eq + 1));
        }
        start = end + 1;
    }
    return probed;
}

TProbed Probe(const std::string& path) {
    return ProbeEntries(path, "-select_streams a:0 -show_entries "
                              "stream=codec_name,sample_rate,channels,duration,sample_fmt:format=duration,format_name,"
                              "nb_streams");
}

int ProbeStreamCount(const std::string& path, const std::string& type) {
    const std::string text = CommandOutput("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + ShellQuote(path));
    int count = 0;
    for (size_t pos = text.find(type); pos != std::string::npos; pos = text.find(type, pos + 1)) ++count;
    return count;
}

int ProbePacketCount(const std::string& path) {
    const std::string text =
        CommandOutput("ffprobe -v error -select_streams a:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 " +
            ShellQuote(path));
    return std::atoi(text.c_str());
}

int64_t TDecoded::Samples() const {
    const int bytes = ff::av_get_bytes_per_sample(Format);
    return Channels > 0 && bytes > 0 ? static_cast<int64_t>(Bytes.size()) / (bytes * Channels) : 0;
}

std::vector<int16_t> TDecoded::S16() const {
    std::vector<int16_t> out(Bytes.size() / 2);
    std::memcpy(out.data(), Bytes.data(), out.size() * 2);
    return out;
}

std::vector<float> TDecoded::Float() const {
    std::vector<float> out(Bytes.size() / 4);
    std::memcpy(out.data(), Bytes.data(), out.size() * 4);
    return out;
}

TReadBack OpenReadBack(const std::string& path, AVMediaType type) {
    TReadBack file;
    AVFormatContext* raw = nullptr;
    if (OpenInputURL(&raw, path, nullptr, nullptr) < 0) return file;
    InputContextPtr input(raw);
    if (ff::avformat_find_stream_info(raw, nullptr) < 0) return file;
    const int index = ff::av_find_best_stream(raw, type, -1, -1, nullptr, 0);
    if (index < 0) return file;
    const AVStream* st = raw->streams[index];
    const AVCodec* codec = ff::avcodec_find_decoder(st->codecpar->codec_id);
    CodecContextPtr dec(ff::avcodec_alloc_context3(codec));
    ff::avcodec_parameters_to_context(dec.get(), st->codecpar);
    dec->pkt_timebase = st->time_base;
    if (ff::avcodec_open2(dec.get(), codec, nullptr) < 0) return file;
    file = {std::move(input), index, st, std::move(dec)};
    return file;
}

TDecoded DecodeFile(const std::string& path, AVSampleFormat format) {
    TDecoded result;
    result.Format = format;
    TReadBack file = OpenReadBack(path, AVMEDIA_TYPE_AUDIO);
    if (!file.Input) return result;
    AVFormatContext* raw = file.Input.get();
    const int index = file.Index;
    CodecContextPtr& dec = file.Decoder;
    PacketPtr pkt = MakePacket();
    FramePtr frame = MakeFrame();
    SwrContextPtr swr;
    auto drain = [&]() {
        while (ff::avcodec_receive_frame(dec.get(), frame.get()) == 0) {
            if (!swr) {
                SwrContext* s = nullptr;
                ff::swr_alloc_set_opts2(&s, &frame->ch_layout, format, frame->sample_rate, &frame->ch_layout,
                                        static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
                ff::swr_init(s);
                swr.reset(s);
                result.SampleRate = frame->sample_rate;
                result.Channels = frame->ch_layout.nb_channels;
            }
            const int bytes = ff::av_get_bytes_per_sample(format) * result.Channels;
            const size_t at = result.Bytes.size();
            result.Bytes.resize(at + static_cast<size_t>(frame->nb_samples + 64) * bytes);
            uint8_t* out[1] = {result.Bytes.data() + at};
            const int got = ff::swr_convert(swr.get(), out, frame->nb_samples + 64,
                                            const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
            result.Bytes.resize(at + static_cast<size_t>(std::max(got, 0)) * bytes);
            ff::av_frame_unref(frame.get());
        }
    };
    while (ff::av_read_frame(raw, pkt.get()) >= 0) {
        if (pkt->stream_index == index && ff::avcodec_send_packet(dec.get(), pkt.get()) >= 0) drain();
        ff::av_packet_unref(pkt.get());
    }
    ff::avcodec_send_packet(dec.get(), nullptr);
    drain();
    return result;
}

std::string TranscodeTest::ToneWav(const std::string& name, double seconds, int rate, int channels,
                                   AVSampleFormat format) {
    WriteToneWav(WidePath(dir.File(name)), rate, channels, seconds, format);
    return dir.File(name);
}

void TranscodeTest::Open(const std::vector<std::string>& inputs, TOutputOptions output, const std::string& outputName,
                         const std::string& inputOptions) {
    task = std::make_unique<TCustomFFmpeg>(20);
    for (const std::string& input : inputs) {
        TInputOptions record;
        ResetInputOptions(record);
        record.FileName = WidePath(input);
        record.ExtOptions = inputOptions;
        ASSERT_TRUE(OpenInputWithRecord(*task, record.FileName, &record, 10000)) << task->SetupError;
    }
    output.FileName = WidePath(dir.File(outputName));
    ASSERT_GE(OpenOutputWithRecord(*task, output.FileName, &output, 10000), 1) << task->SetupError;
}

std::string TranscodeTest::RunTask() {
    task->Start(false);
    return task->Failed ? task->ErrorMessage : std::string();
}

std::string TranscodeTest::Run() {
    try {
        task->Transcode();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

void WritePcmMatroska(const std::string& path, int blocks, const std::function<int64_t(int)>& ptsOf,
                      const std::function<int16_t(int64_t)>& sampleAt) {
    constexpr int block = 1024;
    AVFormatContext* oc = nullptr;
    ASSERT_GE(ff::avformat_alloc_output_context2(&oc, nullptr, "matroska", path.c_str()), 0);
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> owner(oc, [](AVFormatContext* c) {
        ff::avio_closep(&c->pb);
        ff::avformat_free_context(c);
    });
    AVStream* st = ff::avformat_new_stream(oc, nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    st->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    st->codecpar->sample_rate = 44100;
    ff::av_channel_layout_default(&st->codecpar->ch_layout, 1);
    st->codecpar->bits_per_coded_sample = 16;
    st->codecpar->block_align = 2;
    st->time_base = AVRational{1, 44100};
    ASSERT_GE(ff::avio_open2(&oc->pb, path.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr), 0);
    ASSERT_GE(ff::avformat_write_header(oc, nullptr), 0);
    PacketPtr pkt = MakePacket();
    for (int i = 0; i < blocks; ++i) {
        ASSERT_GE(ff::av_new_packet(pkt.get(), block * 2), 0);
        auto* s = reinterpret_cast<int16_t*>(pkt->data);
        for (int k = 0; k < block; ++k) s[k] = sampleAt(static_cast<int64_t>(i) * block + k);
        pkt->pts = pkt->dts = ptsOf(i);
        pkt->duration = block;
        pkt->stream_index = 0;
        pkt->flags = AV_PKT_FLAG_KEY;
        ff::av_packet_rescale_ts(pkt.get(), AVRational{1, 44100}, st->time_base);
        ASSERT_GE(ff::av_interleaved_write_frame(oc, pkt.get()), 0);
    }
    ASSERT_GE(ff::av_write_trailer(oc), 0);
}

TOutputOptions AudioRecord(const char* codec, int rate) {
    TOutputOptions o;
    ResetOutputOptions(o);
    o.AudioCodec = codec;
    o.AudioSampleRate = rate;
    o.AudioChannels = 2;
    o.DisableVideo = true;
    o.DisableSubtitle = true;
    return o;
}
