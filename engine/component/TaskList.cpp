#include "TaskList.h"

#include "Exception.h"
#include "Format.h"

TFFmpeg::TFFmpeg(int fileCapacity, TCustomEncoder* owner)
    : TCustomFFmpeg(fileCapacity), owner_(owner), decoders_(fileCapacity) {}

TFFmpeg::~TFFmpeg() {
    // The worker ends first: it reads the relays until its very last step.
    StopAndJoin();
    // A task being destroyed raises no further event.
    AudioHookRelay = nullptr;
    VideoInputHookRelay = nullptr;
    VideoOutputHookRelay = nullptr;
    PreviewBitmapRelay = nullptr;
    ProgressRelay = nullptr;
    TerminateRelay = nullptr;
    BeforeFindStreamInfoRelay = nullptr;
    decoders_.clear();
}

TFFDecoder& TFFmpeg::DecoderForSlot(int slot) {
    if (!decoders_.at(slot)) decoders_[slot] = std::make_unique<TFFDecoder>();
    return *decoders_[slot];
}

void TFFmpeg::ForgetProbes() {
    for (auto& probe : decoders_) probe.reset();
}

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> task) {
    items_.push_back(std::move(task));
    return Count() - 1;
}

TFFmpeg* TFFmpegList::Items(int index) const {
    if (index < 0 || index >= Count()) throw Exception(Format("List index out of bounds (%d)", index));
    return items_[index].get();
}

int TFFmpegList::IndexOf(const TCustomFFmpeg* task) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[i].get() == task) return i;
    return -1;
}

void TFFmpegList::Delete(int index) {
    Items(index);  // raises for a bad index
    items_.erase(items_.begin() + index);
}

void TFFmpegList::Clear() {
    for (auto& task : items_) task.reset();  // in index order
    items_.clear();
}

void TFFmpegList::StopAll(bool wait) {
    for (int i = 0; i < Count(); ++i) items_[i]->Stop(wait);
}

void TFFmpegList::SetPreviewAll(bool on) {
    for (auto& task : items_) task->SetPreviewFlag(1, on);
}

void TFFmpegList::SetPreviewBitmapAll(bool on) {
    for (auto& task : items_) task->SetPreviewFlag(2, on);
}
