#pragma once
// The muxing side of one output container: its header with its tags
// (tags/OutputTags.cpp), every packet through its stream's bit-stream
// filters into the muxer, and the trailer. An audio file's tags and cover
// (cover/CoverSetup.cpp) are left for TagLib, which writes them once the
// file is closed. The run makes one for each container it writes; the
// stages and the stream copy write their packets to it.
#include <optional>
#include <string>
#include <vector>

#include "CoverArt.h"
#include "OutputStage.h"
#include "StreamRecords.h"
#include "TagFiles.h"

struct TMuxSettings {
    bool ExitOnError = false;  // a packet a bit-stream filter refuses ends the run
    bool JoinMode = false;     // the container takes one file after the other
    // The source's loudness notes no longer hold for a file measured anew
    // (ReplayGain) or given a gain.
    bool MeasuredAnew = false;
    bool GainApplied = false;
    // The output's own tags, in place of the source's of the same names.
    TGivenTags Tags;
};

class TOutputMux final : public TPacketSink {
public:
    // `file` is the output's index, `path` its file as the file system names it.
    TOutputMux(AVFormatContext* container, int file, std::string path, const TMuxSettings& settings,
               void* logSender);
    TOutputMux(const TOutputMux&) = delete;
    TOutputMux& operator=(const TOutputMux&) = delete;

    AVFormatContext* Container() const { return oc_; }
    // The cover the output carries, chosen by the run before the header.
    void SetCover(TCoverPicture cover) { cover_ = std::move(cover); }

    // Gives the bit-stream filters of `ost` (a stream that writes through its
    // own encoder) their input and the muxer stream their output.
    void InitFilters(TOutputStream& ost);
    // The tags, the muxer's set-up with `options` (may be null), the header.
    // The text the user sees, or "".
    std::string WriteHeader(const AVDictionary* options);
    // `pkt` (ownership stays with the caller) through the filters of `ost`'s
    // lead into the muxer.
    void Write(TOutputStream& ost, AVPacket* pkt) override;
    // The trailer; the file then takes its tags once it is closed.
    void WriteTrailer();
    // What TagLib writes into the closed file (nothing for a file whose muxer
    // wrote its tags, or that cannot be opened again by name).
    TTagJob TakeTagJob() { return std::move(tagJob_); }

private:
    void Mux(TOutputStream& ost, AVPacket* pkt);
    // Raises the text of a failed write: the byte stream's own error first.
    void CheckWritten(int ret, const char* call);
    void PlaceTags();
    void NameEncoder();
    void NoteTagJob();

    AVFormatContext* oc_;
    int file_;
    std::string path_;
    TMuxSettings settings_;
    void* logSender_;
    TTagJob tagJob_;                     // the tags and cover TagLib writes
    std::optional<TCoverPicture> cover_;
    std::vector<PacketPtr> filtered_;    // by filter of a chain: what it lets out, reused
};
