// The packet loop of a run: which file to read next, the run limits, reading
// with the try-again rule, time stamp offsets, scales and discontinuities,
// and the hand-over of every packet to the decoding side.
#include <cmath>

#include "FFLog.h"
#include "RunTables.h"
#include "FileSetup.h"
#include "Format.h"
#include "InterruptCB.h"
#include "MainThread.h"
#include "ThreadId.h"

namespace {

int MaxFramesIndex(AVMediaType type) {
    return type >= AVMEDIA_TYPE_VIDEO && type <= AVMEDIA_TYPE_SUBTITLE ? static_cast<int>(type) : -1;
}

double MuxerTime(const AVStream* st) {
    const int64_t pts = ff::av_stream_get_end_pts(st);
    return pts == NoPts ? 0.0 : static_cast<double>(pts) * av_q2d(st->time_base);
}

} // namespace

int TCustomFFmpeg::ChooseInputFile() {
    TRun& run = *Run_;
    auto limitReached = [&](const TOutputStream& ost) {
        const int kind = MaxFramesIndex(OutputTypeOf(ost, EncoderOf(ost)));
        return kind >= 0 && ost.FrameNumber >= Opt.MaxFrames[kind];
    };
    if (JoinMode) {
        const int n = run.StreamsInFirstOutput;
        for (int j = run.CurrentFile * n; j < (run.CurrentFile + 1) * n && j < static_cast<int>(run.OutputStreams.size()); ++j)
            if (limitReached(*run.OutputStreams[j])) return -1;
        return run.CurrentFile;
    }
    double inputMin = 1e100, outputMin = 1e100;
    int file = -1;
    for (TOutputStream* ost : run.OutputStreams) {
        const TInputStream& ist = *run.InputStreams[ost->SourceIndex];
        if (ist.PastRecordingTime || run.NoPacket[ist.FileIndex]) continue;
        if (!run.InputFiles[ist.FileIndex].EOFReached) {
            const double inputTime = static_cast<double>(ist.Pts);
            const double outputTime = MuxerTime(ost->Stream);
            if (inputTime < inputMin) {
                inputMin = inputTime;
                if (Opt.InputSync) file = ist.FileIndex;
            }
            if (outputTime < outputMin) {
                outputMin = outputTime;
                if (!Opt.InputSync) file = ist.FileIndex;
            }
        }
        if (limitReached(*ost)) return -1;
    }
    return file;
}

bool TCustomFFmpeg::AdjustPacket(AVPacket* pkt, TInputStream& ist, int file) {
    const AVRational tb = ist.Stream->time_base;
    const int64_t offset = ff::av_rescale_q(InputTsOffsets[file], MicrosecondBase, tb);
    if (pkt->dts != NoPts) pkt->dts += offset;
    if (pkt->pts != NoPts) pkt->pts += offset;

    const std::vector<double>& scales = InputTsScales[file];
    if (pkt->stream_index < static_cast<int>(scales.size()) && scales[pkt->stream_index] != 0.0) {
        const double scale = scales[pkt->stream_index];
        if (pkt->pts != NoPts) pkt->pts = static_cast<int64_t>(std::nearbyint(pkt->pts * scale));
        if (pkt->dts != NoPts) pkt->dts = static_cast<int64_t>(std::nearbyint(pkt->dts * scale));
    }

    if (pkt->dts != NoPts && ist.NextPts != NoPts && (InputFiles[file]->iformat->flags & AVFMT_TS_DISCONT)) {
        const int64_t packetTime = ff::av_rescale_q(pkt->dts, tb, MicrosecondBase);
        const int64_t delta = packetTime - ist.NextPts;
        if ((std::llabs(delta) > static_cast<int64_t>(Opt.DtsDeltaThreshold * 1000000.0) || packetTime + 1 < ist.Pts) &&
            !Opt.CopyTs) {
            InputTsOffsets[file] -= delta;
            if (Opt.Verbose > 2)
                GlobalLogger()->LogFmt(this, llVerbose, "timestamp discontinuity %d, new offset= %d", delta,
                                       InputTsOffsets[file]);
            const int64_t shift = ff::av_rescale_q(delta, MicrosecondBase, tb);
            pkt->dts -= shift;
            if (pkt->pts != NoPts) pkt->pts -= shift;
        }
    }

    if (Opt.RecordingTime != INT64_MAX) {
        const int64_t limit = Opt.RecordingTime + Opt.StartTime;
        const int64_t ts = pkt->pts != NoPts ? pkt->pts : pkt->dts;
        if (ts != NoPts && ff::av_compare_ts(ts, tb, limit, MicrosecondBase) >= 0) {
            ist.PastRecordingTime = 1;
            return false;
        }
    }
    return true;
}

void TCustomFFmpeg::TranscodeLoop() {
    TRun& run = *Run_;
    Run_->TimerStart = ff::av_gettime();
    run.LastReportTime = Run_->TimerStart;
    run.NoPacket.assign(run.NoPacket.size(), 0);
    run.NoPacketCount = 0;
    if (!IsMainThread() && InterruptRegistry()) {
        run.StopCheckThread = CurrentThreadId();
        InterruptRegistry()->Add(run.StopCheckThread, this, &TCustomFFmpeg::StopCheck);
        run.StopCheckRegistered = true;
    }
    run.CurrentFile = 0;
    PacketPtr pkt = MakePacket();
    if (!pkt) throw FFmpegException("av_mallocz fail");
    run.Cutter.Begin(this);

    while (!StopRequested) {
        const int file = ChooseInputFile();
        if (file < 0) {
            if (JoinMode || run.NoPacketCount == 0) break;
            run.NoPacket.assign(run.NoPacket.size(), 0);
            run.NoPacketCount = 0;
            ff::av_usleep(10000);
            continue;
        }
        if (Opt.LimitFileSize && OutputFiles[0]->pb &&
            static_cast<uint64_t>(std::max<int64_t>(0, ff::avio_seek(OutputFiles[0]->pb, 0, SEEK_CUR))) >= Opt.LimitFileSize)
            break;
        const int ret = ff::av_read_frame(InputFiles[file].get(), pkt.get());
        if (ret == AVERROR(EAGAIN)) {
            run.NoPacket[file] = 1;
            ++run.NoPacketCount;
            continue;
        }
        if (ret < 0) {
            run.InputFiles[file].EOFReached = 1;
            if (!JoinMode) {
                if (Opt.Shortest) break;
                continue;
            }
            if (EndJoinedFile(file)) break;
            continue;
        }
        run.NoPacket.assign(run.NoPacket.size(), 0);
        run.NoPacketCount = 0;
        SourceCheck_.NotePacket(file, *pkt);
        const TInputFile& in = run.InputFiles[file];
        if (Opt.PacketDump && pkt->stream_index < static_cast<int>(InputFiles[file]->nb_streams))
            ff::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt.get(), Opt.HexDump,
                                 InputFiles[file]->streams[pkt->stream_index]);
        if (pkt->stream_index < in.StreamCount) {
            const int index = in.FirstStream + pkt->stream_index;
            TInputStream& ist = *run.InputStreams[index];
            if (!ist.Unmapped && AdjustPacket(pkt.get(), ist, file) && Run_->Decoder->Decode(ist, index, pkt.get()) < 0) {
                const std::string text = Format("Error while decoding stream #%d.%d (%s)", ist.FileIndex,
                                                ist.StreamIndex, MediaTypeName(ist.Stream->codecpar->codec_type));
                if (Opt.ExitOnError) throw FFmpegException(text);
                if (Opt.Verbose >= 0) GlobalLogger()->Log(this, llVerbose, text);
                ff::av_packet_unref(pkt.get());
                continue;
            }
        }
        ff::av_packet_unref(pkt.get());
        if (run.Cutter.RestartPending(file)) {
            run.Cutter.Restart(file);
        } else if (run.Cutter.Ended(file)) {
            // Past its stretch, nothing more of the file is read.
            for (auto& ist : run.InputStreams)
                if (ist->FileIndex == file) ist->PastRecordingTime = 1;
            if (JoinMode && EndJoinedFile(file)) break;
        }
        const int64_t now = ff::av_gettime();
        if (now - run.LastReportTime > ProgressIntervalUs) {
            run.LastReportTime = now;
            ReportProgress(false, JoinMode ? run.CurrentFile : file);
        }
    }
    FinishRun();
}

bool TCustomFFmpeg::EndJoinedFile(int f) {
    TRun& run = *Run_;
    const int n = run.StreamsInFirstOutput;
    for (size_t i = 0; i < run.InputStreams.size(); ++i) {
        TInputStream& ist = *run.InputStreams[i];
        if (ist.FileIndex != f || !ist.NeedsDecoding) continue;
        Run_->Decoder->Decode(ist, static_cast<int>(i), nullptr);
        ist.Flushed = 1;
    }
    const bool last = f >= InputFileCount - 1;
    // A drained encoder cannot be opened again: the next file gets new ones.
    if (!last) ReopenEncoders();
    for (size_t j = static_cast<size_t>(f + 1) * n; j < run.OutputStreams.size(); ++j) {
        run.OutputStreams[j]->SyncPosition = run.OutputStreams[j - n]->SyncPosition;
        run.OutputStreams[j]->FrameNumber = run.OutputStreams[j - n]->FrameNumber;
    }
    double groupEnd = 0.0;
    for (size_t j = static_cast<size_t>(f) * n; j < static_cast<size_t>(f + 1) * n && j < run.OutputStreams.size(); ++j) {
        groupEnd = std::max(groupEnd, MuxerTime(run.OutputStreams[j]->Stream));
        run.OutputStreams[j]->Active = 0;
    }
    if (last) return true;
    InputTsOffsets[f + 1] += static_cast<int64_t>(std::nearbyint(groupEnd * 1000000.0));
    run.CurrentFile = f + 1;
    return false;
}

void TCustomFFmpeg::FinishRun() {
    TRun& run = *Run_;
    // From here on the output is finalised even after a stop request, so
    // blocking writes must no longer be abandoned.
    if (run.StopCheckRegistered && InterruptRegistry()) {
        InterruptRegistry()->Remove(run.StopCheckThread, this, &TCustomFFmpeg::StopCheck);
        run.StopCheckRegistered = false;
    }
    for (size_t i = 0; i < run.InputStreams.size(); ++i) {
        TInputStream& ist = *run.InputStreams[i];
        if (ist.NeedsDecoding && !ist.Flushed) Run_->Decoder->Decode(ist, static_cast<int>(i), nullptr);
    }
    for (auto& mux : run.Muxes) {
        mux->WriteTrailer();
        TagJobs_.push_back(mux->TakeTagJob());
    }
    ReportProgress(true, -1);
    NoteOutputChecks();
    NoteLoudness();
    if (!AudioWrittenToEveryOutput()) {
        // Stopped before any audio: nothing worth keeping. Otherwise the input had none to give.
        if (StopRequested) stoppedBeforeAudio_ = true;
        else throw FFmpegException(Format("No audio could be converted: %s holds no audio that can be decoded",
                                          DiskName(InputFiles[0]->url)));
    }
    const size_t encoders = JoinMode ? std::min<size_t>(run.StreamsInFirstOutput, run.OutputStreams.size())
                                     : run.OutputStreams.size();
    for (size_t i = 0; i < encoders; ++i) {
        TOutputStream& ost = *run.OutputStreams[i];
        if (!ost.NeedsEncoding || !ost.Encoder) continue;
        std::lock_guard<std::mutex> lock(CodecCloseLock());
        ff::av_freep(&ost.Encoder->stats_in);
        ost.Encoder.reset();
        std::erase(Run_->OpenedEncoders, &ost);
    }
    for (auto& ist : run.InputStreams) {
        if (!ist->NeedsDecoding) continue;
        std::lock_guard<std::mutex> lock(CodecCloseLock());
        ist->Decoder.reset();
        std::erase(Run_->OpenedDecoders, ist.get());
    }
    Completed = !StopRequested;
}
