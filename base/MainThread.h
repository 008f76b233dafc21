#pragma once
// Hand-offs to the main thread. A worker that must run something on the main
// thread queues it and waits; the main thread runs the queue whenever it calls
// CheckSynchronize (the GUI from its event loop through the wake hook, the
// command-line program from its own loop, a thread waiting for a worker every 20 ms).
#include <functional>

// Records the calling thread as the main thread. Until this is called every
// hand-off runs at once on the calling thread.
void InitMainThread();
bool IsMainThread();

// Runs fn on the main thread and waits until it has returned. On the main
// thread itself (or before InitMainThread) fn runs at once. An exception thrown
// by fn reaches the caller.
void RunInMainThread(const std::function<void()>& fn);

// Queues fn for the main thread and returns at once; hand-offs run in the
// order they were queued, waited for or not. `owner` names whoever fn belongs
// to, for DiscardPosted. On the main thread itself fn runs at once. What fn
// throws is dropped.
void PostToMainThread(std::function<void()> fn, const void* owner);
// Drops the posted hand-offs of `owner` that have not run yet,
// so that an owner that goes leaves none behind that would reach it.
void DiscardPosted(const void* owner);

// Main thread only: runs every queued hand-off. Waits up to timeoutMs for one
// to arrive when the queue is empty. True when at least one ran.
bool CheckSynchronize(int timeoutMs = 0);

// Called (on the queuing thread) so the owner of the main loop can wake up and
// call CheckSynchronize: `waiting` for every hand-off a worker waits for, which
// should run at once, else for a posted one that finds the queue empty. The
// posted ones queued after it until the queue is run again need no call: they
// may run a little later, all together.
void SetWakeMainThreadHook(std::function<void(bool waiting)> hook);
