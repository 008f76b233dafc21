// tembrio-probe-bench: probes every file of a folder in one process, the way
// the file list does when files are added, and prints the time per file.
//   tembrio-probe-bench [--lib DIR] FOLDER
#include <chrono>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FFDecode.h"
#include "FFLoad.h"
#include "FFLog.h"

namespace fs = std::filesystem;

static std::string ExeDir() {
    std::error_code ec;
    auto exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string libDir = ExeDir() + "/lib", folder;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--lib" && i + 1 < argc) libDir = argv[++i];
        else folder = a;
    }
    if (folder.empty()) {
        std::fprintf(stderr, "usage: tembrio-probe-bench [--lib DIR] FOLDER\n");
        return 2;
    }
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.is_regular_file()) files.push_back(e.path());

    TFFBindProcess binding;
    FFLoader()->SetLibraryPath(libDir);
    if (!FFLoader()->Load(EngineLibraries)) {
        std::fprintf(stderr, "%s\n", FFLoader()->LastError().c_str());
        return 1;
    }
    GlobalLogger()->SetLogLevel(llQuiet);

    TFFDecoder probe;
    int opened = 0;
    auto start = std::chrono::steady_clock::now();
    for (const fs::path& file : files) {
        if (!probe.LoadFile(file.wstring())) continue;
        ++opened;
        TFileStreamInfo f;
        probe.GetFileStreamInfo(f);
        for (int i = 0; i < probe.StreamCount(); ++i) {
            TAudioStreamInfo a;
            TVideoStreamInfo v;
            if (probe.FormatContext()->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                probe.GetAudioStreamInfo(i, a);
            else
                probe.GetVideoStreamInfo(i, v);
        }
        probe.CloseFile();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("files=%zu opened=%d total_s=%.6f per_file_ms=%.4f\n", files.size(), opened, seconds,
                files.empty() ? 0.0 : seconds * 1000 / files.size());
    return opened == static_cast<int>(files.size()) ? 0 : 1;
}
