#pragma once
// The time texts of the running batch. Times are spans in days, the unit the
// batch start is kept in. Free of Qt so that it can be tested on its own.
#include <cstdint>
#include <string>

// "h:nn:ss" of a span: rounded to whole milliseconds, the sign and whole days
// dropped, hours 0-23 without a leading zero (25 hours read "1:00:00"). A span
// that is not a number reads "0:00:00".
std::string FormatTimeSpan(double days);

// The local date and time in days since 1899-12-30.
double LocalTimeDays();

// The three texts of a batch in progress; "..." where there is nothing to show.
struct TBatchTimeTexts {
    std::string Estimated;
    std::string Elapsed;
    std::string TimeLeft;
};

// elapsedDays: since the batch started. doneMs: media time converted so far.
// batchDurationUs: the known media time of the whole batch. The estimate
// scales the elapsed time by how much of the batch is done; before any media
// time is done, or when no file's length is known, there is no estimate and
// the estimate and the time left read "...". The estimate never falls below
// the elapsed time (files of unknown length add to the work done but not to
// the batch's length), so the time left never goes negative.
TBatchTimeTexts BatchTimeTexts(double elapsedDays, int64_t doneMs, int64_t batchDurationUs);
