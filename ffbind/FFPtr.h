#pragma once
// Owning handles for library objects. Every library object the program keeps
// lives in one of these, so it is freed exactly once on every path.
#include <memory>

#include "AVCodecStubs.h"
#include "AVFormatStubs.h"
#include "AVUtilStubs.h"
#include "LockManager.h"
#include "MediaIO.h"
#include "SwResampleStubs.h"
#include "SwScaleStubs.h"

struct FramePtrDeleter {
    void operator()(AVFrame* f) const { ff::av_frame_free(&f); }
};
struct PacketPtrDeleter {
    void operator()(AVPacket* p) const { ff::av_packet_free(&p); }
};
// Codec contexts are freed under the codec lock.
struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { CodecFree(&c); }
};
struct InputContextDeleter {
    void operator()(AVFormatContext* c) const { CloseInputURL(&c); }
};
struct SwrContextDeleter {
    void operator()(SwrContext* s) const { ff::swr_free(&s); }
};
struct SwsContextDeleter {
    void operator()(SwsContext* s) const { ff::sws_freeContext(s); }
};
struct DictionaryDeleter {
    void operator()(AVDictionary* d) const { ff::av_dict_free(&d); }
};
struct LibraryMemoryDeleter {
    void operator()(void* p) const { ff::av_free(p); }
};

using FramePtr = std::unique_ptr<AVFrame, FramePtrDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketPtrDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using DictionaryPtr = std::unique_ptr<AVDictionary, DictionaryDeleter>;
template <typename T>
using LibraryMemoryPtr = std::unique_ptr<T, LibraryMemoryDeleter>;

inline FramePtr MakeFrame() { return FramePtr(ff::av_frame_alloc()); }
inline PacketPtr MakePacket() { return PacketPtr(ff::av_packet_alloc()); }
