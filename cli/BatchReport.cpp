#include "BatchReport.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "JsonText.h"
#include "UnicodeProtocol.h"

namespace {

const char* const StatusNames[] = {"converted", "failed", "skipped", "stopped"};

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Seconds with three decimals, whatever the locale's decimal mark.
std::string Seconds(int64_t microseconds) {
    const int64_t milliseconds = std::max<int64_t>(0, microseconds) / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03d", static_cast<long long>(milliseconds / 1000),
                  static_cast<int>(milliseconds % 1000));
    return text;
}

} // namespace

TBatchReport::TBatchReport(std::ostream& out, std::ostream& err, const std::vector<TSourceFile>& files, bool json,
                           bool live, bool withSkipped)
    : out_(out), err_(err), files_(files), json_(json), live_(live && !json), withSkipped_(withSkipped),
      settled_(files.size(), false) {}

void TBatchReport::Started(size_t index, const std::string& output) {
    if (!json_) return;
    std::lock_guard<std::mutex> lock(lock_);
    out_ << "{\"event\":\"started\",\"index\":" << index << ",\"source\":" << JsonString(files_[index].Path)
         << ",\"output\":" << JsonString(output) << "}\n"
         << std::flush;
}

void TBatchReport::Progress(size_t index, const std::string& output, int64_t converted, int64_t total) {
    const int percent = total > 0 ? static_cast<int>(std::min<int64_t>(100, converted * 100 / total)) : -1;
    std::lock_guard<std::mutex> lock(lock_);
    if (json_) {
        out_ << "{\"event\":\"progress\",\"index\":" << index << ",\"time\":" << Seconds(converted);
        if (percent >= 0) out_ << ",\"percent\":" << percent;
        out_ << "}\n" << std::flush;
        return;
    }
    if (!live_ || percent < 0) return;
    const std::string name = ShownName(BaseName(output));
    if (name == barName_ && percent == barPercent_) return;
    barName_ = name;
    barPercent_ = percent;
    std::string bar(percent / 5, '#');
    bar.resize(20, '.');
    out_ << "\r\033[K[" << settledCount_ << "/" << settled_.size() << "] [" << bar << "] " << percent << "% "
         << name << std::flush;
}

void TBatchReport::Finished(size_t index, const std::string& output, TFileStatus status, const std::string& error,
                            const std::string& notice, const std::string& warning) {
    std::lock_guard<std::mutex> lock(lock_);
    Settle(index, status);
    // Only a converted file has an output the warning is about.
    const std::string converted = status == TFileStatus::Converted ? warning : std::string();
    if (json_) {
        FinishedObject(index, output, status, error, notice, converted);
        return;
    }
    ClearBar();
    if (!notice.empty()) out_ << ShownName(BaseName(files_[index].Path)) << ": " << ShownName(notice) << "\n";
    const std::string name = ShownName(BaseName(files_[index].Path) + (output.empty() ? "" : " -> " + output));
    switch (status) {
    case TFileStatus::Converted:
        out_ << "Finish: " << name << (converted.empty() ? "" : ": " + ShownName(converted)) << "\n" << std::flush;
        break;
    case TFileStatus::Failed: err_ << "Failed: " << name << ": " << ShownName(error) << "\n" << std::flush; break;
    case TFileStatus::Skipped: out_ << "Skipped: " << name << "\n" << std::flush; break;
    case TFileStatus::Stopped: out_ << "Stopped: " << name << "\n" << std::flush; break;
    }
}

void TBatchReport::NotQueued(size_t index, const std::string& message) {
    std::lock_guard<std::mutex> lock(lock_);
    Settle(index, TFileStatus::Failed);
    ClearBar();
    err_ << ShownName(message) << "\n" << std::flush;
    if (json_) FinishedObject(index, {}, TFileStatus::Failed, message);
}

int TBatchReport::Summary() {
    std::lock_guard<std::mutex> lock(lock_);
    const int total = static_cast<int>(settled_.size());
    const int converted = counts_[static_cast<int>(TFileStatus::Converted)];
    const int failed = counts_[static_cast<int>(TFileStatus::Failed)];
    const int skipped = counts_[static_cast<int>(TFileStatus::Skipped)];
    // Files that never settled were stopped before they were queued.
    const int stopped = total - converted - failed - skipped;
    if (json_) {
        for (size_t i = 0; i < settled_.size(); ++i)
            if (!settled_[i]) FinishedObject(i, {}, TFileStatus::Stopped, {});
        out_ << "{\"event\":\"summary\",\"total\":" << total << ",\"converted\":" << converted
             << ",\"failed\":" << failed << ",\"skipped\":" << skipped << ",\"stopped\":" << stopped;
        if (notFiles_ > 0) out_ << ",\"not_files\":" << notFiles_;
        out_ << "}\n" << std::flush;
    } else {
        ClearBar();
        out_ << "Total files: " << total << "\n"
             << "Successed: " << converted << "\n"
             << "Failed: " << failed << "\n";
        if (withSkipped_) out_ << "Skipped: " << skipped << "\n";
        if (stopped > 0) out_ << "Stopped: " << stopped << "\n";
        if (notFiles_ > 0) out_ << "Skipped: " << notFiles_ << " that are not media files\n";
        out_ << std::flush;
    }
    return converted + skipped == total ? 0 : 1;
}

void TBatchReport::ClearBar() {
    if (live_ && barPercent_ >= 0) out_ << "\r\033[K";
    barPercent_ = -1;
}

void TBatchReport::Settle(size_t index, TFileStatus status) {
    if (index >= settled_.size() || settled_[index]) return;
    settled_[index] = true;
    ++settledCount_;
    ++counts_[static_cast<int>(status)];
}

void TBatchReport::FinishedObject(size_t index, const std::string& output, TFileStatus status,
                                  const std::string& error, const std::string& notice, const std::string& warning) {
    out_ << "{\"event\":\"finished\",\"index\":" << index << ",\"source\":" << JsonString(files_[index].Path)
         << ",\"status\":\"" << StatusNames[static_cast<int>(status)] << "\"";
    if (!output.empty()) out_ << ",\"output\":" << JsonString(output);
    if (status == TFileStatus::Failed) out_ << ",\"error\":" << JsonString(error);
    if (!notice.empty()) out_ << ",\"notice\":" << JsonString(notice);
    if (!warning.empty()) out_ << ",\"warning\":" << JsonString(warning);
    out_ << "}\n" << std::flush;
}
