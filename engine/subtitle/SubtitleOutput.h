#pragma once
// The subtitle stage of an encoded subtitle stream: every decoded subtitle
// is encoded and written with its display time; a DVB subtitle twice, as its
// page and then as the empty page that takes it off the screen when its
// display time is over.
#include <memory>
#include <vector>

#include "OutputStage.h"
#include "StreamRecords.h"

struct TSubtitleSettings {
    bool ExitOnError = false;  // a subtitle without a time stamp ends the run
};

class TSubtitleOutput final : public TOutputStage {
public:
    TSubtitleOutput(const TStageLinks& links, const TSubtitleSettings& settings);

    // The encoder counts in microseconds and draws bitmap subtitles for the
    // picture the source was made for: the decoder's size, else the picture
    // beside the source among `inputs` (the run's input streams).
    void Prepare(TInputStream& ist, const std::vector<std::unique_ptr<TInputStream>>& inputs);
    // The encoder starts from the header of the source's opened decoder (the
    // styles of text subtitles). False when memory runs out.
    static bool CopyHeader(AVCodecContext* enc, const AVCodecContext* dec);

    void Push(TInputStream& ist, const TDecodedData& decoded) override;
    // Writes the empty page still held back.
    void Drain() override;

private:
    void Encode(const TInputStream& ist, const AVSubtitle& subtitle, int64_t pts);
    AVCodecContext* Encoder() const { return links_.Lead->Encoder.get(); }

    TStageLinks links_;
    TSubtitleSettings settings_;
    // DVB: the empty page due when the last page ends. Written once the next
    // page starts later, or at the end: a page that comes first replaces the
    // last one on the screen anyway.
    PacketPtr pendingClearPage_;
    std::vector<uint8_t> buffer_;  // the encoder's output, allocated by the first subtitle
};
