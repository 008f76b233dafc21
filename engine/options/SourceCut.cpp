#include "SourceCut.h"

#include <algorithm>

namespace {

// num / den to the nearest integer, ties to even; den > 0.
int64_t DivideRounded(__int128 num, __int128 den) {
    __int128 q = num / den, r = num % den;
    if (r < 0) {
        q -= 1;
        r += den;
    }
    if (2 * r > den || (2 * r == den && (q & 1))) q += 1;
    return static_cast<int64_t>(q);
}

} // namespace

int64_t CutStartMicroseconds(const TSourceCut& cut) {
    if (cut.Start <= 0 || cut.TimeBaseDen <= 0) return 0;
    return DivideRounded(static_cast<__int128>(cut.Start) * cut.TimeBaseNum * 1000000, cut.TimeBaseDen);
}

int64_t CutLengthMicroseconds(const TSourceCut& cut, int64_t duration) {
    if (cut.Length >= 0 && cut.TimeBaseDen > 0)
        return DivideRounded(static_cast<__int128>(cut.Length) * cut.TimeBaseNum * 1000000, cut.TimeBaseDen);
    if (duration < 0) return -1;
    return std::max<int64_t>(duration - CutStartMicroseconds(cut), 0);
}

int64_t CutSamples(int64_t value, const TSourceCut& cut, int rate) {
    if (cut.TimeBaseDen <= 0) return 0;
    return DivideRounded(static_cast<__int128>(value) * cut.TimeBaseNum * rate, cut.TimeBaseDen);
}
