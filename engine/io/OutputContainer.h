#pragma once
// Ownership of an output container.
#include <memory>

#include "AVFormatStubs.h"
#include "MediaIO.h"

// The byte stream is closed and the context freed, once.
struct OutputContextDeleter {
    void operator()(AVFormatContext* c) const {
        CloseOutputIO(c);
        ff::avformat_free_context(c);
    }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
