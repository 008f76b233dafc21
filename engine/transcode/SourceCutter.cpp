#include "SourceCutter.h"

#include <algorithm>
#include <string>

#include "DiskName.h"
#include "FFLog.h"
#include "Format.h"
#include "TaskTypes.h"

namespace {

// How far before its stretch a source is read: the frames just before it
// give a decoder what the first frames of the stretch build on (the overlap
// of a transform, a bit reservoir, a pre-roll).
constexpr int64_t SeekLead = 1000000;

// Demuxers whose seeking estimates the place from the bit rate, or whose
// time stamps come from such an estimate: after a seek they would place the
// frames only roughly.
bool SeeksRoughly(const AVFormatContext* ic, const AVStream* st) {
    static const char* const rough[] = {"mp3", "aac", "ac3", "eac3", "dts", "dtshd", "truehd", "mlp",
                                        "mpeg", "mpegts", "mpegtsraw", "loas", "spdif", "asf"};
    const std::string names = ic->iformat && ic->iformat->name ? ic->iformat->name : "";
    size_t from = 0;
    while (from <= names.size()) {
        const size_t comma = std::min(names.find(',', from), names.size());
        const std::string name = names.substr(from, comma - from);
        for (const char* r : rough)
            if (name == r) return true;
        // A RIFF or AIFF file places by bytes: exact for samples of a fixed size only.
        if ((name == "wav" || name == "w64" || name == "aiff") && ff::av_get_bits_per_sample(st->codecpar->codec_id) <= 0)
            return true;
        from = comma + 1;
    }
    return false;
}

// Whether the time stamps of `st` name single samples: a clock no coarser
// than the samples, from a demuxer that seeks to where they say.
bool StampsPlaceSamples(const AVFormatContext* ic, const AVStream* st) {
    const int rate = st->codecpar->sample_rate;
    if (rate <= 0 || st->time_base.num <= 0 || st->time_base.den <= 0) return false;
    if (static_cast<int64_t>(st->time_base.num) * rate > st->time_base.den) return false;
    return !SeeksRoughly(ic, st);
}

std::string Seconds(int64_t microseconds) { return Format("%.3f", static_cast<double>(microseconds) / 1e6); }

} // namespace

TSourceCut CutOfSlot(const std::vector<TInputOptions>& records, int slot) {
    return slot >= 0 && static_cast<size_t>(slot) < records.size() ? records[slot].Cut : TSourceCut{};
}

void TSourceCutter::AddFile(int file, AVFormatContext* ic, const TSourceCut& cut, int64_t tsOffset,
                            const std::vector<TInputStream*>& streams) {
    TFileCut f;
    f.File = file;
    f.Input = ic;
    f.Cut = cut;
    f.Streams = streams;
    f.WindowStart = (ic->start_time != NoPts ? ic->start_time : 0) + CutStartMicroseconds(cut) + tsOffset;
    if (cut.Length >= 0) f.WindowEnd = f.WindowStart + CutLengthMicroseconds(cut, -1);
    f.ByTimeStamps = true;
    for (TInputStream* ist : streams) {
        const AVStream* st = ist->Stream;
        if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO || !ist->NeedsDecoding || ist->Unmapped) continue;
        TStreamCut s;
        s.Stream = ist;
        s.Origin = (st->start_time != NoPts ? st->start_time : 0) + ff::av_rescale_q(tsOffset, MicrosecondBase, st->time_base);
        s.OriginUs = ff::av_rescale_q(s.Origin, st->time_base, MicrosecondBase);
        f.ByTimeStamps = f.ByTimeStamps && StampsPlaceSamples(ic, st);
        f.Audio.push_back(s);
    }
    files_.push_back(std::move(f));
}

const TSourceCutter::TFileCut* TSourceCutter::Find(int file) const {
    for (const TFileCut& f : files_)
        if (f.File == file) return &f;
    return nullptr;
}

void TSourceCutter::Begin(void* logSender) {
    for (TFileCut& f : files_) {
        f.LogSender = logSender;
        if (f.ByTimeStamps && !f.Audio.empty()) Seek(f);
    }
}

void TSourceCutter::Seek(TFileCut& f) {
    const int64_t from = CutStartMicroseconds(f.Cut) - SeekLead;
    if (from <= 0) return;  // as near the start as the lead: read from the start
    const AVStream* st = f.Audio.front().Stream->Stream;
    const int64_t start = st->start_time != NoPts ? st->start_time : 0;
    const int64_t target = start + ff::av_rescale_q(from, MicrosecondBase, st->time_base);
    if (ff::av_seek_frame(f.Input, st->index, target, AVSEEK_FLAG_BACKWARD) >= 0) {
        f.Sought = true;
        return;
    }
    GlobalLogger()->LogFmt(f.LogSender, llVerbose, "%s: could not seek to %s s; it is decoded from its start",
                           DiskName(f.Input->url), Seconds(from));
    Restart(f.File);
}

bool TSourceCutter::Place(TFileCut& f, TStreamCut& s, const AVFrame& frame, int64_t& position) {
    const int64_t ts = frame.pts != NoPts ? frame.pts : frame.best_effort_timestamp;
    if (f.ByTimeStamps && ts == NoPts && !s.Placed) {
        // Without a time the first frame after a seek lies nowhere; at the
        // start, it is the first.
        if (f.Sought) return false;
        f.ByTimeStamps = false;
    }
    if (!f.ByTimeStamps || ts == NoPts) {
        position = s.Placed ? s.Next : 0;
        return true;
    }
    const AVRational tb = s.Stream->Stream->time_base;
    position = ff::av_rescale_q_rnd(ts - s.Origin, tb, AVRational{1, s.Rate},
                                    static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    return true;
}

TKeptSamples TSourceCutter::Audio(TInputStream& ist, const AVFrame& frame) {
    TFileCut* f = Find(ist.FileIndex);
    if (!f) return {0, frame.nb_samples, ist.Pts};
    auto it = std::find_if(f->Audio.begin(), f->Audio.end(), [&](const TStreamCut& s) { return s.Stream == &ist; });
    if (it == f->Audio.end() || f->RestartPending || it->Ended || frame.nb_samples <= 0) return {};
    TStreamCut& s = *it;
    if (!s.Placed) {
        s.Rate = frame.sample_rate > 0 ? frame.sample_rate : ist.Stream->codecpar->sample_rate;
        if (s.Rate <= 0) return {};
        s.Start = CutSamples(f->Cut.Start, f->Cut, s.Rate);
        s.End = f->Cut.Length < 0 ? -1 : CutSamples(f->Cut.Start + f->Cut.Length, f->Cut, s.Rate);
    }
    int64_t position = 0;
    if (!Place(*f, s, frame, position) || (!s.Placed && f->Sought && position > s.Start)) {
        // The seek went past the stretch's start, or left the frames nowhere.
        f->RestartPending = true;
        return {};
    }
    // Samples are kept once each, should a frame's time overlap the last.
    const int64_t from = s.Placed ? std::max(s.Start, s.Next) : s.Start;
    if (!s.Placed) NoteFirstFrame(*f, s, position);
    s.Placed = true;
    const int64_t count = frame.nb_samples;
    s.Next = std::max(s.Next, position + count);
    if (s.End >= 0 && position + count >= s.End) s.Ended = true;
    const int64_t first = std::clamp<int64_t>(from - position, 0, count);
    const int64_t last = s.End < 0 ? count : std::clamp<int64_t>(s.End - position, 0, count);
    if (last <= first) return {};
    return {static_cast<int>(first), static_cast<int>(last - first),
            s.OriginUs + ff::av_rescale_q(position + first, AVRational{1, s.Rate}, MicrosecondBase)};
}

void TSourceCutter::NoteFirstFrame(const TFileCut& f, const TStreamCut& s, int64_t position) const {
    const AVRational rate{1, s.Rate};
    const std::string end =
        s.End < 0 ? std::string("its end") : Seconds(ff::av_rescale_q(s.End, rate, MicrosecondBase)) + " s";
    GlobalLogger()->LogFmt(f.LogSender, llVerbose, "%s: stream #%d.%d cut from %s s to %s, decoded from %s s%s",
                           DiskName(f.Input->url), f.File, s.Stream->StreamIndex,
                           Seconds(ff::av_rescale_q(s.Start, rate, MicrosecondBase)), end,
                           Seconds(ff::av_rescale_q(position, rate, MicrosecondBase)),
                           f.ByTimeStamps ? "" : " (its samples counted from its start)");
}

bool TSourceCutter::Keeps(TInputStream& ist) {
    TFileCut* f = Find(ist.FileIndex);
    if (!f) return true;
    if (ist.Stream->disposition & AV_DISPOSITION_ATTACHED_PIC) return true;
    // Before the sound is placed, the file's clock is not yet to be trusted.
    if (f->RestartPending) return false;
    if (!f->Audio.empty() && std::none_of(f->Audio.begin(), f->Audio.end(), [](const TStreamCut& s) { return s.Placed; }))
        return false;
    if (ist.Pts >= f->WindowEnd) {
        ist.PastRecordingTime = 1;
        return false;
    }
    return ist.Pts >= f->WindowStart;
}

bool TSourceCutter::Ended(int file) const {
    const TFileCut* f = Find(file);
    return f && !f->Audio.empty() &&
           std::all_of(f->Audio.begin(), f->Audio.end(), [](const TStreamCut& s) { return s.Ended; });
}

bool TSourceCutter::RestartPending(int file) const {
    const TFileCut* f = Find(file);
    return f && f->RestartPending;
}

void TSourceCutter::Restart(int file) {
    TFileCut* f = Find(file);
    if (!f) return;
    if (f->Sought)
        GlobalLogger()->LogFmt(f->LogSender, llVerbose,
                               "%s: its time stamps could not place its stretch after a seek; it is decoded from its start",
                               DiskName(f->Input->url));
    const AVStream* st = f->Audio.empty() ? nullptr : f->Audio.front().Stream->Stream;
    const int index = st ? st->index : -1;
    const int64_t start = st ? (st->start_time != NoPts ? st->start_time : 0)
                             : (f->Input->start_time != NoPts ? f->Input->start_time : 0);
    if (ff::av_seek_frame(f->Input, index, start, AVSEEK_FLAG_BACKWARD) < 0)
        throw FFmpegException(Format("%s: its stretch cannot be cut: its reading cannot return to its start",
                                     DiskName(f->Input->url)));
    for (TInputStream* ist : f->Streams) {
        if (ist->NeedsDecoding && ist->Decoder) ff::avcodec_flush_buffers(ist->Decoder.get());
        ist->NextPts = NoPts;
        ResetPtsCorrection(ist->PtsCorrection);
        ist->AtStart = 1;
    }
    f->ByTimeStamps = false;
    f->Sought = false;
    f->RestartPending = false;
    for (TStreamCut& s : f->Audio) {
        s.Placed = false;
        s.Next = 0;
        s.Ended = false;
    }
}
