#include "ProbeTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <memory>

void ProbeTest::SetUp() {
    GlobalLogger()->TriggerEventInMainThread = false;
    GlobalLogger()->SetLogLevel(llDebug);
    GlobalLogger()->OnLog = [this](void*, uint32_t, TLogLevel level, const std::string& text) {
        log_.push_back({level, text});
    };
}

void ProbeTest::TearDown() { GlobalLogger()->OnLog = nullptr; }

std::wstring ProbeTest::Fixture(const std::wstring& name) {
    std::wstring path = WidePath(dir_.Path()) + L"/" + name;
    if (!std::filesystem::exists(Utf8Path(path))) GenerateFixture(name, WidePath(dir_.Path()));
    return path;
}

bool ProbeTest::Logged(TLogLevel level, const std::string& text) const {
    for (const TLoggedLine& l : log_)
        if (l.Level == level && l.Text == text) return true;
    return false;
}

std::map<std::string, std::string> FFprobe(const std::string& path, const std::string& entries,
                                           int stream, const std::string& extra) {
    const std::string quoted = ShellQuote(path);
    std::string cmd = "ffprobe -v error -of default=noprint_wrappers=1 " + extra +
                      " -show_entries " + entries +
                      (stream >= 0 ? " -select_streams " + std::to_string(stream) : "") + " " +
                      quoted + " 2>/dev/null";
    std::map<std::string, std::string> values;
    std::istringstream lines(CommandOutput(cmd));
    std::string l;
    while (std::getline(lines, l)) {
        while (!l.empty() && l.back() == '\r') l.pop_back();
        size_t eq = l.find('=');
        if (eq != std::string::npos) values.emplace(l.substr(0, eq), l.substr(eq + 1));
    }
    return values;
}

double ProbeNumber(const std::map<std::string, std::string>& values, const std::string& key,
                   double missing) {
    auto it = values.find(key);
    if (it == values.end() || it->second == "N/A" || it->second.empty()) return missing;
    return std::strtod(it->second.c_str(), nullptr);
}

std::pair<int, int> ProbeRatio(const std::string& text) {
    size_t slash = text.find('/');
    if (slash == std::string::npos) return {0, 0};
    return {std::atoi(text.substr(0, slash).c_str()), std::atoi(text.substr(slash + 1).c_str())};
}
