#pragma once
// How long the streams of a file last by the packets it really holds, read to
// its end: for the checks that must not take a container's estimate.
#include <cstdint>
#include <vector>

#include "AVFormatStubs.h"

struct TPacketTime {
    int64_t Packets = 0;  // packets with data
    double Seconds = 0;   // what their durations and time stamps cover
};

// One entry per stream of `ic` (streams it discards stay at zero); empty when
// no packet can be allocated. Durations in a coarse clock are rounded and some
// packets have none, so a stream lasts the longer of their sum and the span of
// their time stamps; packets without a time or a length add nothing, so the
// figure never says more than the file holds.
std::vector<TPacketTime> ReadPacketTimes(AVFormatContext* ic);
