#pragma once
// Shared pieces of the probe suites: fixtures made on demand in a private
// folder, the logger's lines, and ffprobe as an independent witness.
#include <map>
#include <string>
#include <vector>

#include "FFLog.h"
#include "Fixtures.h"
#include "TestSupport.h"

struct TLoggedLine {
    TLogLevel Level;
    std::string Text;
};

class ProbeTest : public LibrariesTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the named fixture (once) and returns its path.
    std::wstring Fixture(const std::wstring& name);
    std::string Narrow(const std::wstring& path) const { return Utf8Path(path); }
    bool Logged(TLogLevel level, const std::string& text) const;

    TempDir dir_;
    std::vector<TLoggedLine> log_;
};

// Runs ffprobe on `path` and returns its key=value answers for `entries`
// (e.g. "format=duration,bit_rate"); `stream` selects one stream (-1: none).
std::map<std::string, std::string> FFprobe(const std::string& path, const std::string& entries,
                                           int stream = -1, const std::string& extra = "");
// The number in an ffprobe answer; `missing` for "N/A" or an absent key.
double ProbeNumber(const std::map<std::string, std::string>& values, const std::string& key,
                   double missing = -1);
// "25/1" → {25, 1}.
std::pair<int, int> ProbeRatio(const std::string& text);
