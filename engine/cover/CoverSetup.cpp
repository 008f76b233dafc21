// The covers of a run: chosen once the output streams have their sources and
// kept until the finished outputs get their tags (tags/OutputTags.cpp).
#include "CoverArt.h"
#include "FFLog.h"
#include "FileSetup.h"
#include "Format.h"
#include "RunTables.h"
#include "StreamList.h"
#include "TagFiles.h"

namespace {

// The input file whose cover output `file` carries: the one its audio comes
// from. -1 for none.
int CoverSourceFile(const std::vector<TOutputStream*>& outputs,
                    const std::vector<std::unique_ptr<TInputStream>>& inputs, int file) {
    for (const TOutputStream* ost : outputs)
        if (ost->FileIndex == file && OutputTypeOf(*ost, nullptr) == AVMEDIA_TYPE_AUDIO)
            return inputs[ost->SourceIndex]->FileIndex;
    return -1;
}

} // namespace

void TCustomFFmpeg::AddCovers() {
    TRun& run = *Run_;
    // Joined inputs have a cover each, and explicit maps name everything the output is to hold.
    if (JoinMode || !Opt.StreamMaps.empty()) return;
    for (int j = 0; j < OutputFileCount; ++j) {
        // Outputs with moving pictures of their own keep those only.
        if (TagFormatOf(OutputFiles[j]) == TTagFormat::None) continue;
        const int source = CoverSourceFile(run.OutputStreams, run.InputStreams, j);
        if (source < 0) continue;
        const int index = CoverStreamIndex(InputFiles[source].get());
        if (index < 0) continue;

        const AVStream* picture = InputFiles[source]->streams[index];
        TCoverPicture cover = CoverOfStream(picture);
        const char* how = "copied";
        if (PictureMimeType(cover.Codec).empty()) {
            try {
                cover = CoverAsPng(cover);
                how = "coded as PNG";
            } catch (const FFmpegException& e) {
                GlobalLogger()->LogFmt(this, llWarning, "The cover picture of %s is left out: %s",
                                       DiskName(InputFiles[source]->url), e.Message());
                continue;
            }
        }
        GlobalLogger()->LogFmt(this, llInfo, "Cover picture: stream #%d.%d (%s, %dx%d) %s into output #%d, %d bytes",
                               source, index, ff::avcodec_get_name(picture->codecpar->codec_id),
                               cover.Width, cover.Height, how, j,
                               static_cast<int64_t>(cover.Data.size()));
        Run_->MuxOf(j).SetCover(std::move(cover));
    }
}

void TCustomFFmpeg::NoteAudioStreams() {
    StreamNotice.clear();
    const TRun& run = *Run_;
    for (int f = 0; f < InputFileCount; ++f) {
        std::string used;
        int usedCount = 0, leftOut = 0;
        for (const auto& ist : run.InputStreams) {
            if (ist->FileIndex != f || ist->Stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
            if (ist->Unmapped) {
                ++leftOut;
                continue;
            }
            used += Format("%s#%d.%d", used.empty() ? "" : ", ", ist->FileIndex, ist->StreamIndex);
            ++usedCount;
        }
        if (leftOut == 0 || usedCount == 0) continue;
        const std::string text = Format("Converting audio stream%s %s; %d more audio stream%s left out.",
                                        usedCount > 1 ? "s" : "", used, leftOut, leftOut > 1 ? "s" : "");
        GlobalLogger()->Log(this, llInfo, text);
        StreamNotice += (StreamNotice.empty() ? "" : " ") + text;
    }
}
