#pragma once
// The encoder's tasks and the list that owns them: the engine's own, for the
// component's sources (and the engine's tests). The front ends see the tasks
// only through the component's queries and events.
#include <memory>
#include <vector>

#include "CustomFFmpeg.h"
#include "FFDecode.h"

class TCustomEncoder;

// A task of the encoder: the transcoder plus one probe per input slot.
class TFFmpeg : public TCustomFFmpeg {
public:
    TFFmpeg(int fileCapacity, TCustomEncoder* owner);
    ~TFFmpeg() override;

    TCustomEncoder* Owner() const { return owner_; }
    // The probe of input slot `slot`, created on first use.
    TFFDecoder& DecoderForSlot(int slot);
    // Frees the probes before the inputs they look at are closed.
    void ForgetProbes();

private:
    TCustomEncoder* owner_;
    std::vector<std::unique_ptr<TFFDecoder>> decoders_;
};

// The task list; it owns its tasks.
class TFFmpegList {
public:
    int Add(std::unique_ptr<TFFmpeg> task);
    int Count() const { return static_cast<int>(items_.size()); }
    // Raises Exception "List index out of bounds (%d)" for a bad index.
    TFFmpeg* Items(int index) const;
    int IndexOf(const TCustomFFmpeg* task) const;
    void Delete(int index);
    void Clear();
    void StopAll(bool wait);
    void SetPreviewAll(bool on);
    void SetPreviewBitmapAll(bool on);

private:
    std::vector<std::unique_ptr<TFFmpeg>> items_;
};
