#pragma once
// The muxing side of one output container: its header with its tags
// (tags/OutputTags.cpp) and its cover (cover/CoverSetup.cpp), every packet
// through its stream's bit-stream filters into the muxer, and the trailer
// with what the muxer leaves to the engine: the ID3 tag, the cover in the
// finished ASF header. The run makes one for each container it writes; the
// stages and the stream copy write their packets to it.
#include <optional>
#include <string>
#include <vector>

#include "CoverArt.h"
#include "OutputStage.h"
#include "StreamRecords.h"

struct TMuxSettings {
    bool ExitOnError = false;  // a packet a bit-stream filter refuses ends the run
    bool JoinMode = false;     // the container takes one file after the other
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
    void SetCover(TOutputCover cover) { cover_ = std::move(cover); }

    // Gives the bit-stream filters of `ost` (a stream that writes through its
    // own encoder) their input and the muxer stream their output.
    void InitFilters(TOutputStream& ost);
    // The tags, the muxer's set-up with `options` (may be null), the header.
    // The text the user sees, or "".
    std::string WriteHeader(const AVDictionary* options);
    // A cover carried as a picture stream: its one packet, right after the header.
    void WriteCover();
    // `pkt` (ownership stays with the caller) through the filters of `ost`'s
    // lead into the muxer.
    void Write(TOutputStream& ost, AVPacket* pkt) override;
    // The trailer, then the ID3 tag the muxer left to the engine.
    void WriteTrailer();
    // The cover of an ASF file, added to its finished header.
    void FinishCover();

private:
    void Mux(TOutputStream& ost, AVPacket* pkt);
    // Raises the text of a failed write: the byte stream's own error first.
    void CheckWritten(int ret, const char* call);
    void PlaceTags();
    void NameEncoder();
    void CompleteTags();

    AVFormatContext* oc_;
    int file_;
    std::string path_;
    TMuxSettings settings_;
    void* logSender_;
    std::string pendingId3Frames_;       // ID3 frames the engine still writes
    std::optional<TOutputCover> cover_;
    std::vector<PacketPtr> filtered_;    // by filter of a chain: what it lets out, reused
};
