#include "PacketTime.h"

#include <algorithm>

#include "AVCodecStubs.h"
#include "AVUtilStubs.h"
#include "FFPtr.h"

std::vector<TPacketTime> ReadPacketTimes(AVFormatContext* ic) {
    PacketPtr pkt = MakePacket();
    if (!pkt) return {};
    const size_t count = ic->nb_streams;
    std::vector<int64_t> total(count, 0), first(count, INT64_MAX), end(count, INT64_MIN);
    std::vector<TPacketTime> times(count);
    while (ff::av_read_frame(ic, pkt.get()) >= 0) {
        const int i = pkt->stream_index;
        if (i >= 0 && static_cast<size_t>(i) < count && pkt->size > 0) {
            ++times[i].Packets;
            // A packet of over a minute is a demuxer's arithmetic gone wrong
            // (an Ogg end trimmed to before the last packet's start wraps
            // round), not media: it counts as one without a length.
            const double tb = av_q2d(ic->streams[i]->time_base);
            const int64_t duration = pkt->duration > 0 && pkt->duration * tb <= 60 ? pkt->duration : 0;
            total[i] += duration;
            if (pkt->pts != AV_NOPTS_VALUE) {
                first[i] = std::min(first[i], pkt->pts);
                end[i] = std::max(end[i], pkt->pts + duration);
            }
        }
        ff::av_packet_unref(pkt.get());
    }
    for (size_t i = 0; i < count; ++i)
        times[i].Seconds = std::max(total[i], end[i] > first[i] ? end[i] - first[i] : 0) *
                           av_q2d(ic->streams[i]->time_base);
    return times;
}
