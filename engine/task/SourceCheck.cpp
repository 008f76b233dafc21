// Whether a run could read its sources as far as they promised. A FLAC
// whose header says ten seconds but whose frames stop at four converts to
// four seconds: the task keeps that output, but the user is told, in the log
// and in the termination record.
//
// Only what a file states about itself is held against what was read: a
// length guessed from the bit rate (a VBR MP3 without its header, raw AAC)
// or from the last time stamps (MPEG transport streams) is no promise, and a
// good file must never be called damaged. A file that shrank on disk while
// it was read is damaged whatever its length said.
#include "SourceCheck.h"

#include <algorithm>

#include "FFLog.h"
#include "FileSetup.h"
#include "Format.h"
#include "RunTables.h"
#include "SourceCutter.h"

namespace {

constexpr int64_t Second = 1000000;
// Where the tail of a file is read from, before the end it promised, and how
// many packets that reading may take at most.
constexpr int64_t TailSpan = 2 * Second;
constexpr int TailPackets = 10000;

int64_t ToMicroseconds(int64_t value, AVRational timeBase) {
    return ff::av_rescale_q(value, timeBase, MicrosecondBase);
}

// Where a packet ends in its file's time, microseconds; INT64_MIN without a time.
int64_t PacketEnd(const AVFormatContext* ic, const AVPacket& pkt) {
    if (pkt.stream_index < 0 || static_cast<unsigned>(pkt.stream_index) >= ic->nb_streams) return INT64_MIN;
    const int64_t ts = pkt.pts != NoPts ? pkt.pts : pkt.dts;
    if (ts == NoPts) return INT64_MIN;
    return ToMicroseconds(ts + std::max<int64_t>(pkt.duration, 0), ic->streams[pkt.stream_index]->time_base);
}

int64_t LatestEnd(const std::vector<int64_t>& ends) {
    return ends.empty() ? INT64_MIN : *std::max_element(ends.begin(), ends.end());
}

// What could be read of a stream or a file against what it promised: its
// length, which it promised to last until `Promised`.
struct TReading {
    int64_t Start = 0;
    int64_t Read = INT64_MIN;
    int64_t Promised = INT64_MIN;
    int64_t Length = -1;
    // Packets without time stamps tell nothing of where the reading stopped.
    bool Known() const { return Read != INT64_MIN && Promised != INT64_MIN && Length > 0; }
    int64_t Missing() const { return Promised - std::max(Read, Start); }
    bool ClearlyShort() const { return Known() && ::ClearlyShort(Length - Missing(), Length); }
    std::string Text() const { return SourceDamagedText((std::max(Read, Start) - Start) / 1e6, Length / 1e6); }
};

// What `e` promises of the stretch `cut`: the part of each span that lies
// in it. The stretch alone promises nothing: a sheet may name more than the
// file holds.
void NarrowToCut(TSourceExpectation& e, const TSourceCut& cut) {
    const int64_t from = CutStartMicroseconds(cut);
    const int64_t length = cut.Length < 0 ? -1 : CutLengthMicroseconds(cut, -1);
    // A span from `start` lasting `span` (-1: unknown) and ending at `end`, narrowed to the stretch.
    const auto narrow = [&](int64_t& start, int64_t end, int64_t& span) {
        start += from;
        if (span < 0) return;
        if (length >= 0) end = std::min(end, start + length);
        span = end > start ? end - start : -1;
    };
    if (e.Length > 0) {
        narrow(e.Start, e.End, e.Length);
        e.End = e.Length > 0 ? e.Start + e.Length : INT64_MIN;
    } else {
        e.Start += from;
    }
    for (TSourceExpectation::TSpan& span : e.Streams) narrow(span.Start, span.Start + span.Length, span.Length);
}

} // namespace

std::string SourceDamagedText(double readSeconds, double promisedSeconds) {
    return Format("source damaged: only %.1f s of %.1f s could be read", readSeconds, promisedSeconds);
}

std::string SourceShrankText(int64_t sizeBefore, int64_t sizeAfter) {
    return Format("source damaged: it shrank from %d to %d bytes while it was read", sizeBefore, sizeAfter);
}

bool ClearlyShort(int64_t read, int64_t promised) {
    const int64_t missing = promised - read;
    return missing > Second && missing > promised / 100;
}

void TSourceCheck::NoteOpened(int slot, const AVFormatContext* ic, const TSourceCut& cut) {
    TSourceExpectation e;
    e.Size = ic->pb ? ff::avio_size(ic->pb) : -1;
    e.Stated = ic->duration_estimation_method == AVFMT_DURATION_FROM_STREAM;
    if (ic->start_time != NoPts) e.Start = ic->start_time;
    // Matroska may count the length of the whole from time 0 rather than
    // from the first time stamp: of the two ends it may mean, the earlier is
    // promised.
    if (ic->duration != NoPts && ic->duration > 0) {
        e.Length = ic->duration;
        e.End = std::min<int64_t>(e.Start, 0) + ic->duration;
    }
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        TSourceExpectation::TSpan span;
        span.Start = st->start_time != NoPts ? ToMicroseconds(st->start_time, st->time_base) : e.Start;
        if (st->duration != NoPts && st->duration > 0) span.Length = ToMicroseconds(st->duration, st->time_base);
        e.Streams.push_back(span);
    }
    if (!cut.Whole()) NarrowToCut(e, cut);
    if (expectations_.size() <= static_cast<size_t>(slot)) expectations_.resize(slot + 1);
    expectations_[slot] = std::move(e);
}

const TSourceExpectation* TSourceCheck::Expectation(int file) const {
    return file >= 0 && static_cast<size_t>(file) < expectations_.size() ? &expectations_[file] : nullptr;
}

void TSourceCheck::NotePacket(int file, const AVPacket& pkt) {
    // Kept in the stream's own clock: every packet of the run passes here,
    // and only the latest end is ever turned into microseconds.
    const int64_t ts = pkt.pts != NoPts ? pkt.pts : pkt.dts;
    if (ts == NoPts || pkt.stream_index < 0) return;
    const int64_t end = ts + std::max<int64_t>(pkt.duration, 0);
    if (readEnds_.size() <= static_cast<size_t>(file)) readEnds_.resize(file + 1);
    std::vector<int64_t>& ends = readEnds_[file];
    if (ends.size() <= static_cast<size_t>(pkt.stream_index)) ends.resize(pkt.stream_index + 1, INT64_MIN);
    ends[pkt.stream_index] = std::max(ends[pkt.stream_index], end);
}

// The streams the run left unread (a video under converted audio) may go on
// after the audio ends: where the file's packets really stop is read from
// its tail, every stream taken. INT64_MIN when that cannot be found out.
namespace {

int64_t ReadSourceTail(TCustomFFmpeg& task, AVFormatContext* ic, int64_t promisedEnd) {
    for (unsigned i = 0; i < ic->nb_streams; ++i) ic->streams[i]->discard = AVDISCARD_DEFAULT;
    TTaskIOGuard guard(task);
    if (ff::av_seek_frame(ic, -1, promisedEnd - TailSpan, AVSEEK_FLAG_BACKWARD) < 0) return INT64_MIN;
    PacketPtr pkt = MakePacket();
    if (!pkt) return INT64_MIN;
    int64_t end = INT64_MIN;
    for (int n = 0; n < TailPackets && end < promisedEnd - Second; ++n) {
        guard.Restart();
        if (ff::av_read_frame(ic, pkt.get()) < 0) break;
        end = std::max(end, PacketEnd(ic, *pkt));
        ff::av_packet_unref(pkt.get());
    }
    return end;
}

// What `ic` lacks of what it promised (`e`), or "": `ends` is where the
// reading of each of its streams ended, `used` the audio streams the run
// converts from it.
std::string SourceShortfall(TCustomFFmpeg& task, AVFormatContext* ic, const TSourceExpectation& e,
                            const std::vector<int64_t>& ends, const std::vector<size_t>& used) {
    auto endOf = [&](size_t i) { return i < ends.size() ? ends[i] : INT64_MIN; };

    TReading worst;
    auto consider = [&](const TReading& r) {
        if (r.Known() && (!worst.Known() || r.Missing() > worst.Missing())) worst = r;
    };
    if (e.Stated) {
        // A stream's own length first; a container that states only its
        // own (Matroska) against every stream of the file.
        bool byContainer = used.empty();
        for (size_t i : used) {
            if (i < e.Streams.size() && e.Streams[i].Length > 0) {
                const TSourceExpectation::TSpan& span = e.Streams[i];
                consider({span.Start, endOf(i), span.Start + span.Length, span.Length});
            } else {
                byContainer = true;
            }
        }
        if (byContainer) {
            TReading whole{e.Start, LatestEnd(ends), e.End, e.Length};
            if (whole.ClearlyShort()) whole.Read = std::max(whole.Read, ReadSourceTail(task, ic, e.End));
            consider(whole);
        }
        if (worst.ClearlyShort()) return worst.Text();
    }

    // Cut on disk while it was read: the reading ran into an end that was
    // not there when the file was opened.
    const int64_t size = ic->pb ? ff::avio_size(ic->pb) : -1;
    if (e.Size <= 0 || size < 0 || size >= e.Size || ic->pb->pos > size) return {};
    TReading read{e.Start, INT64_MIN, e.End, e.Length};
    for (size_t i : used) read.Read = std::max(read.Read, endOf(i));
    if (used.empty()) read.Read = LatestEnd(ends);
    // A tenth of a second is what the text can show.
    if (read.Known() && read.Missing() >= Second / 10) return read.Text();
    return SourceShrankText(e.Size, size);
}

} // namespace

void TCustomFFmpeg::CheckSourcesRead() {
    SourceWarning.clear();
    const std::vector<std::vector<int64_t>> reads = SourceCheck_.TakeReadEnds();
    // A stopped run read less because it was asked to.
    if (!Completed || StopRequested || !Run_) return;
    try {
        for (int f = 0; f < InputFileCount; ++f) {
            // Reading that ended at a limit (a time, a size) read what was asked for.
            if (static_cast<size_t>(f) >= Run_->InputFiles.size() || !Run_->InputFiles[f].EOFReached) continue;
            const TSourceExpectation* promised = SourceCheck_.Expectation(f);
            if (!promised || !InputFiles[f]) continue;
            std::vector<int64_t> ends = static_cast<size_t>(f) < reads.size() ? reads[f] : std::vector<int64_t>{};
            for (size_t i = 0; i < ends.size() && i < InputFiles[f]->nb_streams; ++i)
                if (ends[i] != INT64_MIN) ends[i] = ToMicroseconds(ends[i], InputFiles[f]->streams[i]->time_base);
            // The audio the run converts from this file.
            std::vector<size_t> used;
            for (const auto& ist : Run_->InputStreams)
                if (ist->FileIndex == f && !ist->Unmapped && ist->Stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                    used.push_back(static_cast<size_t>(ist->StreamIndex));
            const std::string text = SourceShortfall(*this, InputFiles[f].get(), *promised, ends, used);
            if (text.empty()) continue;
            GlobalLogger()->LogFmt(this, llWarning, "%s: %s", DiskName(InputFiles[f]->url), text);
            if (SourceWarning.empty()) SourceWarning = text;
        }
    } catch (const std::exception& e) {
        // The check only tells; the conversion it looks at stands.
        GlobalLogger()->LogFmt(this, llVerbose, "Could not check what was read of the sources: %s", e.what());
    }
}
