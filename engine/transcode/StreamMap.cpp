// Set-up steps 2 and 3: the input tables, the output stream table and the
// choice of the input stream that feeds every output stream.
#include "FFLog.h"
#include "RunTables.h"
#include "Format.h"

void TCustomFFmpeg::BuildInputTables() {
    TRun& run = *Run_;
    run.InputFiles.resize(InputFileCount);
    int total = 0;
    for (int f = 0; f < InputFileCount; ++f) {
        run.InputFiles[f].FirstStream = total;
        run.InputFiles[f].StreamCount = static_cast<int>(InputFiles[f]->nb_streams);
        total += run.InputFiles[f].StreamCount;
    }
    try {
        run.InputStreams.reserve(total);
    } catch (const std::bad_alloc&) {
        throw FFmpegException("av_mallocz fail");
    }
    for (int f = 0; f < InputFileCount; ++f) {
        for (int s = 0; s < run.InputFiles[f].StreamCount; ++s) {
            auto ist = std::make_unique<TInputStream>();
            ist->Stream = InputFiles[f]->streams[s];
            ist->FileIndex = f;
            ist->StreamIndex = s;
            ist->Unmapped = 1;
            if (Opt.RateEmulation) ist->StartClock = ff::av_gettime();
            run.InputStreams.push_back(std::move(ist));
        }
    }
    CreateDecoderContexts(run.InputStreams, InputCodecs);
}

int TCustomFFmpeg::ChooseSource(const TOutputStream& ost, int outputFile) {
    const TRun& run = *Run_;
    const AVMediaType type = OutputTypeOf(ost, EncoderOf(ost));
    int found = -1;
    int64_t bestFrames = -1;
    for (size_t j = 0; j < run.InputStreams.size(); ++j) {
        const TInputStream& ist = *run.InputStreams[j];
        const AVStream* st = ist.Stream;
        if (!ist.Unmapped || st->discard == AVDISCARD_ALL || st->codecpar->codec_type != type) continue;
        if (JoinMode && ist.FileIndex != outputFile) continue;
        if (Opt.ProgramId) {
            const AVFormatContext* f = InputFiles[ist.FileIndex].get();
            bool inProgram = false;
            for (unsigned p = 0; p < f->nb_programs && !inProgram; ++p) {
                if (f->programs[p]->id != Opt.ProgramId) continue;
                for (unsigned k = 0; k < f->programs[p]->nb_stream_indexes; ++k)
                    if (static_cast<int>(f->programs[p]->stream_index[k]) == ist.StreamIndex) inProgram = true;
            }
            if (!inProgram) continue;
        }
        // The probe's own frame count is private in this library generation;
        // the container's count is what distinguishes streams here.
        if (st->nb_frames > bestFrames) {
            bestFrames = st->nb_frames;
            found = static_cast<int>(j);
        }
    }
    if (found < 0 && !Opt.ProgramId && !JoinMode) {
        for (size_t j = 0; j < run.InputStreams.size(); ++j) {
            const AVStream* st = run.InputStreams[j]->Stream;
            if (st->codecpar->codec_type == type && st->discard != AVDISCARD_ALL) found = static_cast<int>(j);
        }
    }
    return found;
}

void TCustomFFmpeg::BuildOutputTable() {
    TRun& run = *Run_;
    int total = 0;
    for (int i = 0; i < OutputFileCount; ++i) {
        AVFormatContext* oc = OutputFiles[i];
        if (oc->nb_streams == 0 && !(oc->oformat->flags & AVFMT_NOSTREAMS)) {
            ff::av_dump_format(oc, i, oc->url, 1);
            throw FFmpegException(Format("Output file #%d does not contain any stream", i));
        }
        total += static_cast<int>(oc->nb_streams);
        if (i == 0) run.StreamsInFirstOutput = total;
    }
    const int mapCount = static_cast<int>(Opt.StreamMaps.size());
    if (mapCount > 0 && mapCount != total)
        throw FFmpegException("Number of stream maps must match number of output streams");
    auto validStream = [&](int file, int stream) {
        return file >= 0 && file < InputFileCount && stream >= 0 && stream < run.InputFiles[file].StreamCount;
    };
    for (const TStreamMap& map : Opt.StreamMaps) {
        if (!validStream(map.FileIndex, map.StreamIndex))
            throw FFmpegException(Format("Could not find input stream #%d.%d", map.FileIndex, map.StreamIndex));
        if (!validStream(map.SyncFileIndex, map.SyncStreamIndex))
            throw FFmpegException(
                Format("Could not find sync stream #%d.%d", map.SyncFileIndex, map.SyncStreamIndex));
    }

    run.OutputStreams.reserve(total);
    for (int j = 0; j < OutputFileCount; ++j) {
        AVFormatContext* oc = OutputFiles[j];
        for (unsigned k = 0; k < oc->nb_streams; ++k) {
            TOutputStream* ost = OutputStreamsForFile[j].at(k).get();
            if (!ost) throw FFmpegException("Could not alloc output stream");
            ost->Stream = oc->streams[k];
            const int n = static_cast<int>(run.OutputStreams.size());
            run.OutputStreams.push_back(ost);
            // Joined files write through the streams and encoders of the first group.
            const bool joined = JoinMode && run.StreamsInFirstOutput > 0;
            ost->Lead = joined ? run.OutputStreams[n % run.StreamsInFirstOutput] : ost;
            const AVMediaType type = OutputTypeOf(*ost, EncoderOf(*ost));
            int source;
            if (mapCount > 0) {
                const TStreamMap& map = Opt.StreamMaps[n];
                source = run.InputFiles[map.FileIndex].FirstStream + map.StreamIndex;
                const AVMediaType inType = run.InputStreams[source]->Stream->codecpar->codec_type;
                if (inType != type) {
                    ff::av_dump_format(OutputFiles[ost->FileIndex], ost->FileIndex, OutputFiles[ost->FileIndex]->url, 1);
                    throw FFmpegException(Format("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)",
                                                 map.FileIndex, map.StreamIndex, MediaTypeName(inType),
                                                 ost->FileIndex, ost->StreamIndex, MediaTypeName(type)));
                }
                ost->SyncSource =
                    run.InputStreams[run.InputFiles[map.SyncFileIndex].FirstStream + map.SyncStreamIndex].get();
            } else {
                source = ChooseSource(*ost, j);
                if (source < 0) {
                    ff::av_dump_format(OutputFiles[ost->FileIndex], ost->FileIndex, OutputFiles[ost->FileIndex]->url, 1);
                    throw FFmpegException(Format("Could not find input stream matching output stream #%d.%d (%s)",
                                                 ost->FileIndex, ost->StreamIndex, MediaTypeName(type)));
                }
                ost->SyncSource = run.InputStreams[source].get();
            }
            ost->SourceIndex = source;
            run.InputStreams[source]->Unmapped = 0;
            ost->Active = 1;
        }
    }
}
