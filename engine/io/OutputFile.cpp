// Opening an output file: its container format, its streams, its metadata and
// the file itself, and the join set-up that feeds several inputs into it.
#include <ctime>

#include "StreamHelpers.h"
#include "FFLog.h"
#include "FileSetup.h"
#include "Format.h"
#include "SourceCutter.h"

namespace {

// The creation time of a container, as muxers of this library generation
// take it.
void SetCreationTime(AVFormatContext* oc, int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm utc {};
    if (!gmtime_r(&t, &utc)) return;
    char text[64];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
    ff::av_dict_set(&oc->metadata, "creation_time", text, 0);
}

// Muxer options that the context no longer carries as fields; they travel to
// avformat_write_header.
DictionaryPtr MuxerOptions(const TCustomFFmpeg& task) {
    AVDictionary* dict = nullptr;
    ff::av_dict_set_int(&dict, "preload", static_cast<int64_t>(task.Opt.MuxPreload * 1000000), 0);
    if (task.Opt.LoopOutput >= 0) ff::av_dict_set_int(&dict, "loop", task.Opt.LoopOutput, 0);
    return DictionaryPtr(dict);
}

} // namespace

int TCustomFFmpeg::OpenOutputFile(const std::wstring& FileName, bool Join) {
    const std::string url = FileNameToURL(FileName);
    const std::string diskName = DiskName(url);
    if (JoinMode) {
        SetupError = FileMessage(diskName, "Cannot join more than one output file.");
        return -1;
    }
    if (OutputFileCount >= FileCapacity) {
        SetupError = Format("max output files %d reached", FileCapacity);
        return -1;
    }
    Opt.VideoFiltersInUse = !Opt.VideoFilters.empty();

    const AVOutputFormat* format = nullptr;
    if (!Opt.ForcedFormat.empty()) {
        format = ff::av_guess_format(Opt.ForcedFormat.c_str(), nullptr, nullptr);
        if (!format) {
            SetupError = FileMessage(
                diskName, Format("Requested output format '%s' is not a suitable output format", Opt.ForcedFormat));
            return -1;
        }
        Opt.ForcedFormat.clear();
    } else {
        format = ff::av_guess_format(nullptr, url.c_str(), nullptr);
        if (!format) {
            SetupError = Format("Unable to find a suitable output format for '%s'", diskName);
            return -1;
        }
    }
    AVFormatContext* raw = nullptr;
    if (ff::avformat_alloc_output_context2(&raw, format, nullptr, url.c_str()) < 0 || !raw)
        throw FFmpegException("avformat_alloc_context failed");
    OutputContextPtr oc(raw);

    const int slot = OutputFileCount;
    const size_t codecsBefore = OutputCodecs.size();
    auto failure = [&](const std::string& text) {
        SetupError = text;
        OutputStreamsForFile[slot].clear();
        OutputCodecs.resize(codecsBefore);
        if (OutputFiles[slot] == oc.get()) {
            OutputFiles[slot] = nullptr;
            OutputPaths[slot].clear();
            --OutputFileCount;
        }
        return -1;
    };

    bool useVideo = Opt.VideoStreamCopy || format->video_codec != AV_CODEC_ID_NONE || !Opt.VideoCodecName.empty();
    bool useAudio = Opt.AudioStreamCopy || format->audio_codec != AV_CODEC_ID_NONE || !Opt.AudioCodecName.empty();
    bool useSubtitle = Opt.SubtitleStreamCopy || format->subtitle_codec != AV_CODEC_ID_NONE || !Opt.SubtitleCodecName.empty();
    if (InputFileCount > 0) {
        bool hasVideo = false, hasAudio = false, hasSubtitle = false;
        CheckInputStreamTypes(Join, hasVideo, hasAudio, hasSubtitle);
        useVideo = useVideo && hasVideo;
        useAudio = useAudio && hasAudio;
        useSubtitle = useSubtitle && hasSubtitle;
    }
    useVideo = useVideo && !Opt.VideoDisable;
    useAudio = useAudio && !Opt.AudioDisable;
    useSubtitle = useSubtitle && !Opt.SubtitleDisable;

    const std::pair<bool, const char*> kinds[] = {
        {useVideo, "new_video_stream fail: %s"},
        {useAudio, "new_audio_stream fail: %s"},
        {useSubtitle, "new_subtitle_stream fail: %s"}};
    for (int k = 0; k < 3; ++k) {
        if (!kinds[k].first) continue;
        try {
            if (k == 0) NewVideoStream(oc.get(), slot);
            else if (k == 1) NewAudioStream(oc.get(), slot);
            else NewSubtitleStream(oc.get(), slot);
        } catch (const Exception& e) {
            return failure(FileMessage(diskName, Format(kinds[k].second, e.Message())));
        } catch (...) {
            // Out of memory: no record may outlive the container it points into.
            failure(std::string());
            throw;
        }
    }

    if (Opt.RecordingTimestamp != 0) SetCreationTime(oc.get(), Opt.RecordingTimestamp);
    if (Opt.Metadata) {
        ff::av_dict_copy(&oc->metadata, Opt.Metadata.get(), 0);
        Opt.Metadata.reset();
    }

    OutputFiles[slot] = oc.get();
    OutputPaths[slot] = diskName;
    ++OutputFileCount;

    if ((format->flags & AVFMT_NEEDNUMBER) && !ff::av_filename_number_test(url.c_str()))
        return failure(LibraryErrorText(diskName, AVERROR(EDOM)));
    // A task whose files open when its run starts creates no file while it is
    // being set up: the name is the queue's until then.
    if (!(format->flags & AVFMT_NOFILE)) {
        const std::string error = OpenFilesAtStart && !creatingOutputs_ ? OutputFolderError(url) : CreateOutputIO(oc.get(), slot);
        if (!error.empty()) return failure(error);
    }

    GrowList(OutputMuxerOptions, slot + 1);
    OutputMuxerOptions[slot] = MuxerOptions(*this);
    oc->max_delay = static_cast<int>(Opt.MuxMaxDelay * 1000000);
    oc->flags |= AVFMT_FLAG_NONBLOCK;
    if (Options) ApplyGenericOptions(*Options, oc.get(), Options->ContainerDefaults.get(), nullptr, AV_OPT_FLAG_ENCODING_PARAM);

    Opt.StreamIdMap.clear();
    Opt.ForcedKeyFrames.clear();
    if (Join && InputFileCount > 1) JoinMode = true;
    OutputContainers.push_back(std::move(oc));
    return OutputFileCount;
}

void TCustomFFmpeg::SetUpJoin() {
    if (!JoinMode || OutputFileCount <= 0) return;
    int64_t total = 0;
    for (int i = 0; i < InputFileCount; ++i)
        if (InputFiles[i] && InputFiles[i]->duration != AV_NOPTS_VALUE && InputFiles[i]->duration > 0)
            total += CutLengthMicroseconds(CutOfSlot(InputOptionCopies, i), InputFiles[i]->duration);
    TotalDuration = total == 0 ? -1 : total;

    for (int n = 1; n < InputFileCount; ++n) {
        if (OutputFileCount >= FileCapacity)
            throw FFmpegException(Format("max output files %d reached", FileCapacity));
        const int slot = OutputFileCount;
        AVFormatContext* oc = OutputFiles[slot - 1];
        OutputFiles[slot] = oc;
        OutputPaths[slot] = OutputPaths[slot - 1];
        auto& list = OutputStreamsForFile[slot];
        list.clear();
        for (unsigned i = 0; i < oc->nb_streams; ++i) {
            try {
                auto record = std::make_unique<TOutputStream>();
                record->FileIndex = slot;
                record->StreamIndex = static_cast<int>(i);
                record->Stream = oc->streams[i];
                list.push_back(std::move(record));
            } catch (const std::bad_alloc&) {
                throw Exception("Could not alloc output stream");
            }
        }
        ++OutputFileCount;
    }
}
