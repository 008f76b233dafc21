// The transcode of a task: the set-up in its ten steps, the loop, and the
// release step that frees every run table whatever way the run ends.

#include "FFLog.h"
#include "RunTables.h"
#include "Format.h"
#include "InterruptCB.h"
#include "MyUtilStubs.h"

void TCustomFFmpeg::TRunDeleter::operator()(TRun* run) const { delete run; }

void TCustomFFmpeg::Transcode() {
    Completed = false;
    Failed = false;
    ErrorMessage.clear();
    try {
        TranscodeSetup();
        TranscodeLoop();
        CheckSourcesRead();
    } catch (const std::exception& e) {
        // A stop that cut the run short keeps the output only if it holds audio.
        if (StopRequested && Run_) stoppedBeforeAudio_ = !AudioWrittenToEveryOutput();
        ReleaseRun();
        Failed = true;
        ErrorMessage = e.what();
        throw;
    }
    ReleaseRun();
}

void TCustomFFmpeg::TranscodeSetup() {
    Run_.reset(new TRun(*this));
    Run_->NoPacket.assign(FileCapacity, 0);                 // step 1
    BuildInputTables();                                     // step 2
    BuildOutputTable();                                     // step 3
    CreateMuxes();
    const TDecodeSettings decoding{Opt.AudioVolume, Opt.RateEmulation, Opt.Deinterlace, Opt.VideoHookActive};
    Run_->Decoder = std::make_unique<TSourceDecoder>(Run_->Outputs, decoding, PictureHooks, VideoHooks,
                                                     AudioHookRelay, Run_->Cutter, this);
    NoteAudioStreams();
    PrepareStreams();
    // Which streams are decoded is known now: the cutter follows those of the cut inputs.
    for (int f = 0; f < InputFileCount; ++f) {
        const TSourceCut cut = CutOfSlot(InputOptionCopies, f);
        if (cut.Whole()) continue;
        std::vector<TInputStream*> streams;
        for (auto& ist : Run_->InputStreams)
            if (ist->FileIndex == f) streams.push_back(ist.get());
        Run_->Cutter.AddFile(f, InputFiles[f].get(), cut, InputTsOffsets[f], streams);
    }
    OpenEncoders();                                         // step 4
    OpenDecoders();                                         // step 5
    InitTimestamps();                                       // step 6
    ApplyMetadataMaps();                                    // steps 7 and 8
    AddCovers();
    WriteHeaders();                                         // step 9
    DescribeRun();                                          // step 10
}

TOutputStream& TCustomFFmpeg::LeadOf(TOutputStream& ost) const { return ost.Lead ? *ost.Lead : ost; }

void TCustomFFmpeg::CreateMuxes() {
    TMuxSettings settings{Opt.ExitOnError, JoinMode, Opt.ReplayGainTags, Opt.AudioGain != 0, {}};
    for (int i = 0; i < OutputFileCount; ++i) {
        settings.Tags = i < static_cast<int>(OutputOptionCopies.size()) ? OutputOptionCopies[i].Tags : TGivenTags{};
        // Joined files write one after the other into the first slot's container.
        if (JoinMode && i > 0) {
            Run_->SlotMuxes.push_back(Run_->Muxes.front().get());
            continue;
        }
        Run_->Muxes.push_back(std::make_unique<TOutputMux>(OutputFiles[i], i, OutputPaths[i], settings, this));
        Run_->SlotMuxes.push_back(Run_->Muxes.back().get());
    }
}

AVCodecContext* TCustomFFmpeg::EncoderOf(const TOutputStream& ost) const {
    return LeadOf(const_cast<TOutputStream&>(ost)).Encoder.get();
}

void TCustomFFmpeg::DescribeRun() {
    const int files = JoinMode ? std::min(OutputFileCount, 1) : OutputFileCount;
    for (int i = 0; i < files; ++i)
        if (OutputFiles[i]) ff::av_dump_format(OutputFiles[i], i, OutputFiles[i]->url, 1);
    if (Opt.Verbose < 0 || !Run_) return;
    GlobalLogger()->Log(this, llVerbose, "Stream mapping:");
    for (TOutputStream* ost : Run_->OutputStreams) {
        if (!ost || ost->SourceIndex < 0 || ost->SourceIndex >= static_cast<int>(Run_->InputStreams.size())) continue;
        const TInputStream& ist = *Run_->InputStreams[ost->SourceIndex];
        const std::string type = MediaTypeName(OutputTypeOf(*ost, EncoderOf(*ost)));
        GlobalLogger()->LogFmt(this, llVerbose, "  Stream #%d.%d -> #%d.%d (%s)", ist.FileIndex, ist.StreamIndex,
                               JoinMode ? 0 : ost->FileIndex, ost->StreamIndex, type);
        if (ost->SyncSource && ost->SyncSource != &ist)
            GlobalLogger()->LogFmt(this, llVerbose, " [sync #%d.%d (%s)]", ost->SyncSource->FileIndex,
                                   ost->SyncSource->StreamIndex, type);
    }
}

void TCustomFFmpeg::RaiseAfterDescription(const std::string& text) {
    DescribeRun();
    GlobalLogger()->Log(this, llError, text);
    throw FFmpegException(text);
}

void TCustomFFmpeg::CloseRunCodecs() {
    if (!Run_) return;
    std::lock_guard<std::mutex> lock(CodecCloseLock());
    for (TInputStream* ist : Run_->OpenedDecoders)
        if (ist && ist->NeedsDecoding) ist->Decoder.reset();
    Run_->OpenedDecoders.clear();
    for (TOutputStream* ost : Run_->OpenedEncoders) {
        if (!ost || !ost->NeedsEncoding || !ost->Encoder) continue;
        ff::av_freep(&ost->Encoder->stats_in);
        ost->Encoder.reset();
    }
    Run_->OpenedEncoders.clear();
}

void TCustomFFmpeg::ReleaseRun() {
    if (!Run_) return;
    Run_->Decoder.reset();
    Run_->NoPacket.assign(Run_->NoPacket.size(), 0);
    Run_->NoPacketCount = 0;
    CloseRunCodecs();
    Run_->VideoStatistics.reset();
    Run_->InputFiles.clear();
    Run_->InputStreams.clear();
    for (TOutputStream* ost : Run_->OutputStreams) {
        if (!ost) continue;
        ost->Stage.reset();
        ost->Lead = nullptr;
    }
    Run_->OutputStreams.clear();
    if (Run_->StopCheckRegistered && InterruptRegistry())
        InterruptRegistry()->Remove(Run_->StopCheckThread, this, &TCustomFFmpeg::StopCheck);
    Run_.reset();
}

bool TCustomFFmpeg::AudioWrittenToEveryOutput() const {
    // An output with an audio stream that received no audio at all is no
    // conversion, even when its header and trailer were written.
    for (const TOutputStream* ost : Run_->OutputStreams) {
        if (!ost || &LeadOf(const_cast<TOutputStream&>(*ost)) != ost) continue;
        if (OutputTypeOf(*ost, EncoderOf(*ost)) == AVMEDIA_TYPE_AUDIO && ost->PacketsWritten == 0) return false;
    }
    return true;
}
