#include "CodecMutex.h"

#include <atomic>

#include "ThreadId.h"

namespace {

std::atomic<int> g_nextId{1};
std::atomic<int> g_liveCount{0};

} // namespace

TCodecMutex::TCodecMutex() : id_(g_nextId++) { ++g_liveCount; }

TCodecMutex::~TCodecMutex() { --g_liveCount; }

void TCodecMutex::Obtain() {
    const uint32_t self = CurrentThreadId();
    std::unique_lock<std::mutex> guard(lock_);
    released_.wait(guard, [&] { return depth_ == 0 || owner_ == self; });
    owner_ = self;
    ++depth_;
}

bool TCodecMutex::Release() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (depth_ == 0 || owner_ != CurrentThreadId()) return false;
        if (--depth_ > 0) return true;
        owner_ = 0;
    }
    released_.notify_one();
    return true;
}

int TCodecMutex::LiveCount() { return g_liveCount.load(); }
