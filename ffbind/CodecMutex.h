#pragma once
// The platform mutex behind the codec lock: owned by one thread at a time,
// re-entrant for its owner, and released only by its owner, like the kernel
// mutex the lock manager was written for. Its id stands for the handle value
// in the lock manager's log lines.
#include <condition_variable>
#include <cstdint>
#include <mutex>

class TCodecMutex {
public:
    TCodecMutex();
    ~TCodecMutex();
    TCodecMutex(const TCodecMutex&) = delete;
    TCodecMutex& operator=(const TCodecMutex&) = delete;

    int Id() const { return id_; }
    // Waits until the calling thread owns the mutex.
    void Obtain();
    // False (and nothing changes) when the calling thread does not own it.
    bool Release();

    static int LiveCount();

private:
    const int id_;
    std::mutex lock_;  // guards owner_ and depth_
    std::condition_variable released_;
    uint32_t owner_ = 0;
    int depth_ = 0;
};
