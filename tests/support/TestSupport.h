#pragma once
// Shared test helpers: the library folder of this build, temporary folders and
// a fixture that has the engine's libraries loaded.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

std::string LibDir();

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Starts the binding and loads the engine's libraries from build/lib.
class LibrariesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
};

std::string ReadTextFile(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& text);

// The text a shell command writes to standard output.
std::string CommandOutput(const std::string& command);
// `text` as one single-quoted shell word.
std::string ShellQuote(const std::string& text);

// What ffprobe finds of the first audio stream of a file: the samples of its
// frames, and the file's tags (keys in lower case).
struct TProbedAudio {
    int64_t Samples = 0;
    std::map<std::string, std::string> Tags;
};
TProbedAudio ProbeAudioFrames(const std::string& file);

// What one run of tembrio-convert gave.
struct CliResult {
    int exitCode = -1;  // -1 when it did not exit normally
    int signal = 0;     // the signal that ended it, if one did
    std::string out;
    std::string err;
};
// Runs the shell command `command` (which must `exec` the converter) and
// sends it `signal` once it prints its first line starting with `trigger`.
// Returns the wait status; `out` gets its standard output, `signalled`
// whether it was sent.
int RunAndSignalAfterFirstFile(const std::string& command, int signal, std::string& out, bool& signalled,
                               const std::string& trigger = "Finish: ");

// Runs build/tembrio-convert with `args` (stdin from /dev/null), its output
// kept in files of `scratch`. `shellPrefix` goes before the command in the
// same shell, e.g. "ulimit -n 64;".
CliResult RunConvert(const std::vector<std::string>& args, const TempDir& scratch, const std::string& shellPrefix = "");
