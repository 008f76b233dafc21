#include "BatchReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "Format.h"
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

// ,"track":N for a track of an image.
std::string TrackMember(const TSourceFile& file) {
    return file.Track ? ",\"track\":" + std::to_string(file.Track->Number) : std::string();
}

// A JSON number with one decimal; null for no value (silence).
std::string JsonNumber(double value) { return std::isfinite(value) ? Format("%.1f", value) : "null"; }

// " (-14.2 LUFS, peak -0.3 dBTP)" for a file the batch measured.
std::string LoudnessNote(const TBatchFileEnd& end) {
    if (!end.Loudness.Measured) return {};
    return " (" + LoudnessText(end.Loudness.Integrated, end.Loudness.TruePeak) + ")";
}

} // namespace

TBatchReport::TBatchReport(std::ostream& out, std::ostream& err, const std::vector<TSourceFile>& files, bool json,
                           bool live, bool withSkipped)
    : out_(out), err_(err), files_(files), json_(json), live_(live && !json), withSkipped_(withSkipped) {}

void TBatchReport::Started(size_t index, const std::string& output) {
    if (!json_) return;
    std::lock_guard<std::mutex> lock(lock_);
    out_ << "{\"event\":\"started\",\"index\":" << index << ",\"source\":" << JsonString(files_[index].Path)
         << TrackMember(files_[index]) << ",\"output\":" << JsonString(output) << "}\n"
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
    out_ << "\r\033[K[" << finished_ << "/" << files_.size() << "] [" << bar << "] " << percent << "% " << name
         << std::flush;
}

void TBatchReport::Finished(const TBatchFileEnd& given) {
    std::lock_guard<std::mutex> lock(lock_);
    ++finished_;
    TBatchFileEnd end = given;
    // Only a converted file has an output the warning is about.
    if (end.Outcome != TBatchOutcome::Converted) end.Warning.clear();
    if (end.Outcome == TBatchOutcome::Failed && !end.Queued) {
        ClearBar();
        err_ << ShownName(end.Error) << "\n" << std::flush;
        if (json_) FinishedObject(end);
        return;
    }
    if (json_) {
        FinishedObject(end);
        return;
    }
    if (end.Outcome == TBatchOutcome::Stopped && !end.Queued) return;
    ClearBar();
    const std::string& source = files_[end.Index].Path;
    if (!end.Notice.empty()) out_ << ShownName(BaseName(source)) << ": " << ShownName(end.Notice) << "\n";
    const std::string name = ShownName(BaseName(source) + (end.Output.empty() ? "" : " -> " + end.Output));
    switch (end.Outcome) {
    case TBatchOutcome::Converted:
        out_ << "Finish: " << name << LoudnessNote(end) << (end.Warning.empty() ? "" : ": " + ShownName(end.Warning))
             << "\n" << std::flush;
        break;
    case TBatchOutcome::Failed: err_ << "Failed: " << name << ": " << ShownName(end.Error) << "\n" << std::flush; break;
    case TBatchOutcome::Skipped: out_ << "Skipped: " << name << "\n" << std::flush; break;
    case TBatchOutcome::Stopped: out_ << "Stopped: " << name << "\n" << std::flush; break;
    }
}

void TBatchReport::Summary(const TBatchSummary& summary) {
    std::lock_guard<std::mutex> lock(lock_);
    if (json_) {
        out_ << "{\"event\":\"summary\",\"total\":" << summary.Total << ",\"converted\":" << summary.Converted
             << ",\"failed\":" << summary.Failed << ",\"skipped\":" << summary.Skipped
             << ",\"stopped\":" << summary.Stopped;
        if (notFiles_ > 0) out_ << ",\"not_files\":" << notFiles_;
        out_ << "}\n" << std::flush;
        return;
    }
    ClearBar();
    out_ << "Total files: " << summary.Total << "\n"
         << "Successed: " << summary.Converted << "\n"
         << "Failed: " << summary.Failed << "\n";
    if (withSkipped_) out_ << "Skipped: " << summary.Skipped << "\n";
    if (summary.Stopped > 0) out_ << "Stopped: " << summary.Stopped << "\n";
    if (notFiles_ > 0) out_ << "Skipped: " << notFiles_ << " that are not media files\n";
    out_ << std::flush;
}

void TBatchReport::ClearBar() {
    if (live_ && barPercent_ >= 0) out_ << "\r\033[K";
    barPercent_ = -1;
}

void TBatchReport::FinishedObject(const TBatchFileEnd& end) {
    out_ << "{\"event\":\"finished\",\"index\":" << end.Index << ",\"source\":" << JsonString(files_[end.Index].Path)
         << TrackMember(files_[end.Index]) << ",\"status\":\"" << StatusNames[static_cast<int>(end.Outcome)] << "\"";
    if (!end.Output.empty()) out_ << ",\"output\":" << JsonString(end.Output);
    if (end.Outcome == TBatchOutcome::Failed) out_ << ",\"error\":" << JsonString(end.Error);
    if (!end.Notice.empty()) out_ << ",\"notice\":" << JsonString(end.Notice);
    if (!end.Warning.empty()) out_ << ",\"warning\":" << JsonString(end.Warning);
    if (end.Outcome == TBatchOutcome::Converted && end.Loudness.Measured) {
        out_ << ",\"loudness\":" << JsonNumber(end.Loudness.Integrated)
             << ",\"true_peak\":" << JsonNumber(DecibelsOf(end.Loudness.TruePeak));
        if (end.Loudness.Gain != 0) out_ << ",\"gain\":" << Format("%.2f", end.Loudness.Gain);
    }
    out_ << "}\n" << std::flush;
}

void TBatchReport::AlbumTagged(const TBatchAlbum& album) {
    std::lock_guard<std::mutex> lock(lock_);
    const double gain = ReplayGainReferenceLufs - album.Integrated;
    if (json_) {
        out_ << "{\"event\":\"album\",\"album\":" << JsonString(album.Album) << ",\"files\":[";
        for (size_t i = 0; i < album.Files.size(); ++i) out_ << (i ? "," : "") << album.Files[i];
        out_ << "],\"loudness\":" << JsonNumber(album.Integrated)
             << ",\"true_peak\":" << JsonNumber(DecibelsOf(album.TruePeak)) << ",\"gain\":" << Format("%.2f", gain);
        if (!album.Failures.empty()) {
            out_ << ",\"errors\":[";
            for (size_t i = 0; i < album.Failures.size(); ++i) out_ << (i ? "," : "") << JsonString(album.Failures[i]);
            out_ << "]";
        }
        out_ << "}\n" << std::flush;
        return;
    }
    ClearBar();
    out_ << "Album: " << ShownName(album.Album) << ", " << album.Files.size() << " files: "
         << LoudnessText(album.Integrated, album.TruePeak) << ", album gain " << ReplayGainText(album.Integrated)
         << "\n" << std::flush;
    for (const std::string& failure : album.Failures)
        err_ << "The album gain could not be written: " << ShownName(failure) << "\n" << std::flush;
}
