// Set-up steps 6 to 9: initial input time stamps, metadata maps and the
// automatic metadata copy, chapters, and the output headers.
#include <cmath>
#include <cstring>

#include "FFLog.h"
#include "RunTables.h"
#include "FileSetup.h"
#include "Format.h"
#include "SourceCutter.h"
#include "UserTags.h"

void TCustomFFmpeg::InitTimestamps() {
    for (auto& ist : Run_->InputStreams) {
        const AVRational rate = ist->Stream->avg_frame_rate;
        ist->Pts = rate.num ? -static_cast<int64_t>(std::nearbyint(ist->Decoder->has_b_frames * 1000000.0 / av_q2d(rate)))
                            : 0;
        ist->NextPts = NoPts;
        ResetPtsCorrection(ist->PtsCorrection);
        ist->AtStart = 1;
    }
}

namespace {

// The metadata dictionary one side of a map names; empty `word` when valid.
AVDictionary** MapSide(AVFormatContext* f, const TMetadataMapSpec& spec, std::string& word) {
    switch (spec.Kind) {
    case 's':
        if (spec.Index < 0 || spec.Index >= static_cast<int>(f->nb_streams)) break;
        return &f->streams[spec.Index]->metadata;
    case 'c':
        if (spec.Index < 0 || spec.Index >= static_cast<int>(f->nb_chapters)) {
            word = "chapter";
            return nullptr;
        }
        return &f->chapters[spec.Index]->metadata;
    case 'p':
        if (spec.Index < 0 || spec.Index >= static_cast<int>(f->nb_programs)) {
            word = "program";
            return nullptr;
        }
        return &f->programs[spec.Index]->metadata;
    default:
        return &f->metadata;
    }
    word = "stream";
    return nullptr;
}

} // namespace

void TCustomFFmpeg::ApplyMetadataMaps() {
    // The chapters come first: a metadata map may name an output chapter,
    // and an output has no chapters before they are copied into it.
    for (const TChapterMap& map : Opt.ChapterMaps) {
        if (map.InFile < 0 || map.OutFile < 0) continue;
        if (map.InFile >= InputFileCount)
            RaiseAfterDescription(Format("Invalid input file index %d in chapter mapping.", map.InFile));
        if (map.OutFile >= OutputFileCount)
            RaiseAfterDescription(Format("Invalid output file index %d in chapter mapping.", map.OutFile));
        CopyChapters(map.InFile, map.OutFile);
    }
    if (Opt.ChapterMaps.empty()) {
        for (int f = 0; f < InputFileCount; ++f) {
            // A stretch of a file is no longer divided as the whole was.
            if (InputFiles[f]->nb_chapters == 0 || !CutOfSlot(InputOptionCopies, f).Whole()) continue;
            // A joined output is one container behind every slot: give it the chapters once.
            const int outputs = JoinMode ? std::min(OutputFileCount, 1) : OutputFileCount;
            for (int g = 0; g < outputs; ++g) CopyChapters(f, g);
            break;
        }
    }
    for (const TMetadataMap& map : Opt.MetadataMaps) {
        if (map.Out.FileIndex < 0 || map.In.FileIndex < 0) continue;
        if (map.Out.FileIndex >= OutputFileCount)
            RaiseAfterDescription(Format("Invalid %s index %d while processing metadata maps", "output file",
                                         map.Out.FileIndex));
        if (map.In.FileIndex >= InputFileCount)
            RaiseAfterDescription(
                Format("Invalid %s index %d while processing metadata maps", "input file", map.In.FileIndex));
        std::string word;
        AVDictionary** out = MapSide(OutputFiles[map.Out.FileIndex], map.Out, word);
        if (!out) RaiseAfterDescription(Format("Invalid %s index %d while processing metadata maps", word, map.Out.Index));
        AVDictionary** in = MapSide(InputFiles[map.In.FileIndex].get(), map.In, word);
        if (!in) RaiseAfterDescription(Format("Invalid %s index %d while processing metadata maps", word, map.In.Index));
        ff::av_dict_copy(out, *in, AV_DICT_DONT_OVERWRITE);
    }
    if (Opt.MetadataGlobalAutocopy && InputFileCount > 0) {
        const bool stretch = !CutOfSlot(InputOptionCopies, 0).Whole();
        for (int i = 0; i < OutputFileCount; ++i) {
            CopySourceTags(&OutputFiles[i]->metadata, InputFiles[0]->metadata, stretch);
            // Ogg keeps a file's tags in its audio stream.
            const AVFormatContext* in = InputFiles[0].get();
            if (std::strcmp(in->iformat->name, "ogg") != 0) continue;
            for (unsigned s = 0; s < in->nb_streams; ++s)
                if (in->streams[s]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                    CopySourceTags(&OutputFiles[i]->metadata, in->streams[s]->metadata, stretch);
                    break;
                }
        }
    }
}

void TCustomFFmpeg::CopyChapters(int inFile, int outFile) {
    const AVFormatContext* is = InputFiles[inFile].get();
    AVFormatContext* os = OutputFiles[outFile];
    const int64_t offset = Opt.StartTime - InputTsOffsets[inFile];
    for (unsigned i = 0; i < is->nb_chapters; ++i) {
        const AVChapter* in = is->chapters[i];
        const int64_t ts = ff::av_rescale_q(offset, MicrosecondBase, in->time_base);
        const bool limited = Opt.RecordingTime != INT64_MAX;
        const int64_t rt = limited ? ff::av_rescale_q(Opt.RecordingTime, MicrosecondBase, in->time_base) : INT64_MAX;
        if (in->end < ts) continue;
        if (limited && in->start > rt + ts) break;
        auto* out = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
        if (!out) throw FFmpegException("av_mallocz fail");
        out->id = in->id;
        out->time_base = in->time_base;
        out->start = std::max<int64_t>(0, in->start - ts);
        out->end = std::min(rt, in->end - ts);
        if (Opt.MetadataChaptersAutocopy) ff::av_dict_copy(&out->metadata, in->metadata, 0);
        void* grown = ff::av_realloc(os->chapters, sizeof(AVChapter*) * (os->nb_chapters + 1));
        if (!grown) {
            ff::av_dict_free(&out->metadata);
            ff::av_free(out);
            throw FFmpegException("av_realloc fail");
        }
        os->chapters = static_cast<AVChapter**>(grown);
        os->chapters[os->nb_chapters++] = out;
    }
}

void TCustomFFmpeg::WriteHeaders() {
    const size_t leads = JoinMode ? std::min<size_t>(Run_->StreamsInFirstOutput, Run_->OutputStreams.size())
                                  : Run_->OutputStreams.size();
    for (size_t i = 0; i < leads; ++i) {
        TOutputStream& ost = *Run_->OutputStreams[i];
        Run_->MuxOf(ost.FileIndex).InitFilters(ost);
    }
    bool allRtp = true;
    for (size_t i = 0; i < Run_->Muxes.size(); ++i) {
        TOutputMux& mux = *Run_->Muxes[i];
        const AVDictionary* options = i < OutputMuxerOptions.size() ? OutputMuxerOptions[i].get() : nullptr;
        const std::string error = mux.WriteHeader(options);
        if (!error.empty()) RaiseAfterDescription(error);
        if (std::strcmp(mux.Container()->oformat->name, "rtp") != 0) allRtp = false;
    }
    const int files = static_cast<int>(Run_->Muxes.size());
    if (!allRtp || files == 0) return;
    char sdp[2048];
    ff::av_sdp_create(OutputFiles.data(), files, sdp, sizeof sdp);
    std::string text = sdp;
    const size_t first = text.find_first_not_of(" \t\r\n");
    const size_t last = text.find_last_not_of(" \t\r\n");
    text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    GlobalLogger()->Log(this, llInfo, "SDP:\r\n" + text);
}
