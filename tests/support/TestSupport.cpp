#include "TestSupport.h"

#include <cctype>
#include <csignal>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "FFLoad.h"

std::string LibDir() { return TEMBRIO_LIB_DIR; }

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tembrio-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("mkdtemp failed");
    path_ = made;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void LibrariesTest::SetUpTestSuite() {
    FFBindStartup();
    FFLoader()->SetLibraryPath(LibDir());
    ASSERT_TRUE(FFLoader()->Load(EngineLibraries)) << FFLoader()->LastError();
}

void LibrariesTest::TearDownTestSuite() { FFBindShutdown(); }

std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string CommandOutput(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe.get())) > 0) out.append(buf, n);
    return out;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

TProbedAudio ProbeAudioFrames(const std::string& file) {
    TProbedAudio probed;
    std::istringstream lines(CommandOutput("ffprobe -v error -select_streams a:0 -show_entries "
                                           "frame=nb_samples:format_tags -of default=nw=1 " + ShellQuote(file)));
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (key == "nb_samples") probed.Samples += std::atoll(line.c_str() + eq + 1);
        else if (key.rfind("tag:", 0) == 0) probed.Tags[key.substr(4)] = line.substr(eq + 1);
    }
    return probed;
}

CliResult RunConvert(const std::vector<std::string>& args, const TempDir& scratch, const std::string& shellPrefix) {
    std::string command = shellPrefix + " " + ShellQuote(std::string(TEMBRIO_BUILD_DIR) + "/tembrio-convert");
    for (const std::string& a : args) command += " " + ShellQuote(a);
    command += " >" + ShellQuote(scratch.File("stdout")) + " 2>" + ShellQuote(scratch.File("stderr")) + " </dev/null";
    // The shell reports a child ended by a signal as 128 + the signal.
    const int status = std::system(command.c_str());
    CliResult r;
    if (WIFEXITED(status)) {
        r.exitCode = WEXITSTATUS(status);
        if (r.exitCode > 128 && r.exitCode < 128 + 65) r.signal = r.exitCode - 128;
    } else if (WIFSIGNALED(status)) {
        r.signal = WTERMSIG(status);
    }
    r.out = ReadTextFile(scratch.File("stdout"));
    r.err = ReadTextFile(scratch.File("stderr"));
    return r;
}

int RunAndSignalAfterFirstFile(const std::string& command, int signal, std::string& out, bool& signalled,
                               const std::string& trigger) {
    signalled = false;
    // The shell prints its process id, then becomes the converter.
    FILE* pipe = popen(("echo $$; " + command + " 2>/dev/null </dev/null").c_str(), "r");
    if (!pipe) return -1;
    pid_t pid = 0;
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, pipe)) {
        const std::string line = buffer;
        if (pid == 0) {
            pid = static_cast<pid_t>(std::stol(line));
            continue;
        }
        out += line;
        if (!signalled && line.rfind(trigger, 0) == 0) {
            kill(pid, signal);
            signalled = true;
        }
    }
    return pclose(pipe);
}
