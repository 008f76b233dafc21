#pragma once
// The termination records of an encoder component go out through one thread
// of the component: one at a time, in the order they were made. The all-ended
// record is made last, so it reaches its handler only after every per-task
// handler has returned.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "EncoderEvents.h"

class TTerminateDelivery {
public:
    using THandler = std::function<void(const TTerminateInfo& Info)>;

    TTerminateDelivery() = default;
    // Hands out what is still queued, then joins the thread.
    ~TTerminateDelivery();
    TTerminateDelivery(const TTerminateDelivery&) = delete;
    TTerminateDelivery& operator=(const TTerminateDelivery&) = delete;

    // Queues a record for `handler`; the thread starts with the first record.
    void Post(THandler handler, const TTerminateInfo& info);
    // Returns once every record queued so far has been handled. On the
    // delivery thread itself (a handler waiting) it returns at once: every
    // record before the current one has been handled already.
    void WaitIdle();

private:
    void Work();

    struct TItem {
        THandler Handler;
        TTerminateInfo Info;
    };
    std::mutex lock_;                  // guards every field below
    std::condition_variable changed_;
    std::deque<TItem> queue_;
    bool busy_ = false;                // a handler is running
    bool stopping_ = false;
    std::thread thread_;
};
