// Opening an input file: the forced format and decoders, the open itself under
// the task's time-out, program selection, stream analysis and the start
// position. What the streams tell about themselves is read back afterwards
// (InputStreams.cpp).
#include <string>

#include "FFLog.h"
#include "CustomFFmpeg.h"
#include "FileSetup.h"
#include "MediaIO.h"
#include "Format.h"
#include "SourceCutter.h"
#include "UnicodeProtocol.h"

namespace {

void SetEntry(AVDictionary** dict, const char* key, const std::string& value) {
    ff::av_dict_set(dict, key, value.c_str(), 0);
}

} // namespace

// The format parameters of the task become options of the demuxer; only
// demuxers that declare them take them (raw audio and video, devices).
static DictionaryPtr FormatParameters(const TCustomFFmpeg& task, const std::wstring& fileName) {
    AVDictionary* dict = nullptr;
    // Searched when it was probed: not again on every opening.
    const int slot = task.InputFileCount;
    if (slot < static_cast<int>(task.InputOptionCopies.size()) && task.InputOptionCopies[slot].PlainPcm &&
        task.InputOptionCopies[slot].FileName == fileName)
        SkipPcmSearch(&dict);
    if (task.Opt.AudioSampleRate > 0) SetEntry(&dict, "sample_rate", std::to_string(task.Opt.AudioSampleRate));
    if (task.Opt.AudioChannels > 0) SetEntry(&dict, "channels", std::to_string(task.Opt.AudioChannels));
    if (task.Opt.FrameRate.num > 0 && task.Opt.FrameRate.den > 0)
        SetEntry(&dict, "framerate", Format("%d/%d", task.Opt.FrameRate.num, task.Opt.FrameRate.den));
    if (task.Opt.FrameWidth > 0 && task.Opt.FrameHeight > 0)
        SetEntry(&dict, "video_size", Format("%dx%d", task.Opt.FrameWidth, task.Opt.FrameHeight));
    if (task.Opt.FramePixFmt >= 0) {
        const char* name = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(task.Opt.FramePixFmt));
        if (name) SetEntry(&dict, "pixel_format", name);
    }
    if (task.Opt.VideoChannel != 0) SetEntry(&dict, "channel", std::to_string(task.Opt.VideoChannel));
    if (!task.Opt.VideoStandard.empty()) SetEntry(&dict, "standard", task.Opt.VideoStandard);
    return DictionaryPtr(dict);
}

// Keeps only the streams of program `programId`. False when no program has that id.
static bool SelectProgram(AVFormatContext* ic, int programId) {
    for (unsigned i = 0; i < ic->nb_streams; ++i) ic->streams[i]->discard = AVDISCARD_ALL;
    bool found = false;
    for (unsigned p = 0; p < ic->nb_programs; ++p) {
        AVProgram* program = ic->programs[p];
        if (program->id != programId) {
            program->discard = AVDISCARD_ALL;
            continue;
        }
        found = true;
        for (unsigned k = 0; k < program->nb_stream_indexes; ++k)
            ic->streams[program->stream_index[k]]->discard = AVDISCARD_DEFAULT;
    }
    return found;
}

bool TCustomFFmpeg::OpenInputFile(const std::wstring& FileName) {
    // Whatever happens, the decoder names and the video channel were meant for
    // this input only.
    struct TOnceValues {
        TCustomFFmpeg& task;
        ~TOnceValues() {
            task.Opt.VideoCodecName.clear();
            task.Opt.AudioCodecName.clear();
            task.Opt.SubtitleCodecName.clear();
            task.Opt.VideoChannel = 0;
        }
    } once{*this};

    if (InputFileCount >= FileCapacity) {
        SetupError = Format("max input files %d reached", FileCapacity);
        return false;
    }
    const std::string url = FileNameToURL(FileName);
    const AVInputFormat* format = nullptr;
    if (!Opt.ForcedFormat.empty()) {
        format = ff::av_find_input_format(Opt.ForcedFormat.c_str());
        if (!format)
            throw FFmpegException(FileMessage(DiskName(url), Format("Unknown input format: \"%s\"", Opt.ForcedFormat)));
        Opt.ForcedFormat.clear();
    }
    DictionaryPtr parameters = FormatParameters(*this, FileName);

    AVCodecID forced[3] = {AV_CODEC_ID_NONE, AV_CODEC_ID_NONE, AV_CODEC_ID_NONE};
    if (!FindCodec(Opt.VideoCodecName, mkVideo, false, StrictLevelOf(mkVideo), forced[0]) ||
        !FindCodec(Opt.AudioCodecName, mkAudio, false, StrictLevelOf(mkAudio), forced[1]) ||
        !FindCodec(Opt.SubtitleCodecName, mkSubtitle, false, StrictLevelOf(mkSubtitle), forced[2])) {
        SetupError = FileMessage(DiskName(url), SetupError);
        return false;
    }

    SetupError = InputKindError(url);
    if (!SetupError.empty()) return false;
    InputContextPtr input;
    int64_t timestamp = 0;
    {
        TTaskIOGuard guard(*this);
        AVFormatContext* ic = nullptr;
        AVDictionary* dict = parameters.release();
        const int ret = OpenInputURL(&ic, url, format, &dict);
        parameters.reset(dict);  // entries no demuxer took
        if (ret < 0) {
            SetupError = InputOpenErrorText(url, ret);
            return false;
        }
        input.reset(ic);
        AVFormatContext* ctx = input.get();
        ctx->video_codec_id = forced[0];
        ctx->audio_codec_id = forced[1];
        ctx->subtitle_codec_id = forced[2];
        ctx->flags |= AVFMT_FLAG_NONBLOCK;
        if (Options)
            ApplyGenericOptions(*Options, ctx, Options->ContainerDefaults.get(), nullptr, AV_OPT_FLAG_DECODING_PARAM);

        if (Opt.ProgramId != 0) {
            if (!SelectProgram(ctx, Opt.ProgramId)) {
                SetupError = FileMessage(DiskName(url), "Specified program id not found");
                return false;
            }
            Opt.ProgramId = 0;
        }
        // Once per input: not again when the run opens it a second time.
        if (BeforeFindStreamInfoRelay && !reopening_) BeforeFindStreamInfoRelay(this, ctx);

        guard.Restart();
        if (ff::avformat_find_stream_info(ctx, nullptr) < 0 && Opt.Verbose >= 0) {
            SetupError = Format("%s: could not find codec parameters", DiskName(url));
            GlobalLogger()->Log(this, llVerbose, SetupError);
            return false;
        }

        timestamp = Opt.StartTime;
        if (ctx->start_time != AV_NOPTS_VALUE) timestamp += ctx->start_time;
        if (Opt.StartTime != 0) {
            guard.Restart();
            if (ff::av_seek_frame(ctx, -1, timestamp, AVSEEK_FLAG_BACKWARD) < 0 && Opt.Verbose > 0)
                GlobalLogger()->LogFmt(this, llVerbose, "%s: could not seek to position %0.3f", DiskName(url),
                                       static_cast<double>(timestamp) / AV_TIME_BASE);
        }
        Opt.StartTime = 0;
    }

    ReadInputStreams(*this, input.get());
    // A cut input is only its stretch: its length is the stretch's, and its
    // clock starts where the stretch does.
    const TSourceCut cut = CutOfSlot(InputOptionCopies, InputFileCount);
    // What the file promised when it was queued counts, not what is left of
    // it when its turn comes.
    if (!reopening_) SourceCheck_.NoteOpened(InputFileCount, input.get(), cut);

    AVFormatContext* ic = input.get();
    const int64_t length = CutLengthMicroseconds(cut, ic->duration != AV_NOPTS_VALUE ? ic->duration : -1);
    if (length >= 0 && length > TotalDuration) TotalDuration = length;
    InputFiles[InputFileCount] = std::move(input);
    InputTsOffsets[InputFileCount] = Opt.InputTsOffset - (Opt.CopyTs ? 0 : timestamp + CutStartMicroseconds(cut));
    if (Opt.Verbose >= 0) ff::av_dump_format(ic, InputFileCount, url.c_str(), 0);
    ++InputFileCount;
    return true;
}
