#include "TimeSpan.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

#include "Format.h"

namespace {

constexpr double MillisecondsPerDay = 86400000.0;
constexpr double SecondsPerDay = 86400.0;
constexpr double UnixEpochDays = 25569.0;  // 1970-01-01 counted from 1899-12-30
const char* const NoTimeText = "...";

} // namespace

std::string FormatTimeSpan(double days) {
    if (!std::isfinite(days)) days = 0;
    // Whole days go before rounding so that even a huge span keeps its
    // milliseconds exact; a fraction that rounds up to a full day is a day.
    int64_t ms = std::llround(std::fmod(std::fabs(days), 1.0) * MillisecondsPerDay);
    if (ms >= static_cast<int64_t>(MillisecondsPerDay)) ms = 0;
    const int64_t seconds = ms / 1000;
    return Format("%d:%.2d:%.2d", seconds / 3600, (seconds / 60) % 60, seconds % 60);
}

double LocalTimeDays() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const double unixSeconds = std::chrono::duration<double>(now.time_since_epoch()).count();
    return UnixEpochDays + (unixSeconds + static_cast<double>(local.tm_gmtoff)) / SecondsPerDay;
}

TBatchTimeTexts BatchTimeTexts(double elapsedDays, int64_t doneMs, int64_t batchDurationUs) {
    TBatchTimeTexts texts;
    // A clock set back during the batch must not show as time gone by.
    elapsedDays = std::max(elapsedDays, 0.0);
    texts.Elapsed = FormatTimeSpan(elapsedDays);
    const int64_t batchMs = batchDurationUs / 1000;
    if (doneMs <= 0 || batchMs <= 0) {
        texts.Estimated = NoTimeText;
        texts.TimeLeft = NoTimeText;
        return texts;
    }
    const double estimated =
        std::max(elapsedDays * static_cast<double>(batchMs) / static_cast<double>(doneMs), elapsedDays);
    texts.Estimated = FormatTimeSpan(estimated);
    texts.TimeLeft = FormatTimeSpan(estimated - elapsedDays);
    return texts;
}
