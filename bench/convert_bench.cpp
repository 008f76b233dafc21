// One conversion through the task API, as the converter runs it, for timing
// against the ffmpeg command-line tool (bench/convert.sh).
//   tembrio-convert-bench INPUT OUTPUT CODEC RATE CHANNELS BITRATE [EXTOPTIONS]
// RATE, CHANNELS and BITRATE of -1 leave the converter's defaults.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FFLoad.h"
#include "CustomFFmpeg.h"
#include "TaskRecordApply.h"

namespace {

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string ExeDir() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    if (argc < 7) {
        std::fprintf(stderr, "usage: tembrio-convert-bench INPUT OUTPUT CODEC RATE CHANNELS BITRATE [EXTOPTIONS]\n");
        return 2;
    }
    TFFBindProcess binding;
    FFLoader()->SetLibraryPath(ExeDir() + "/lib");
    if (!FFLoader()->Load(EngineLibraries)) {
        std::fprintf(stderr, "%s\n", FFLoader()->LastError().c_str());
        return 1;
    }
    TCustomFFmpeg task(20);
    TInputOptions in;
    ResetInputOptions(in);
    in.FileName = Wide(argv[1]);
    in.ExtOptions = "vn=1";
    if (!OpenInputWithRecord(task, in.FileName, &in, 10000)) {
        std::fprintf(stderr, "%s\n", task.SetupError.c_str());
        return 1;
    }
    TOutputOptions out;
    ResetOutputOptions(out);
    out.FileName = Wide(argv[2]);
    out.AudioCodec = argv[3];
    out.AudioSampleRate = std::atoi(argv[4]);
    out.AudioChannels = std::atoi(argv[5]);
    out.AudioBitrate = std::atoi(argv[6]);
    out.DisableVideo = out.DisableSubtitle = true;
    if (argc > 7) out.ExtOptions = argv[7];
    if (OpenOutputWithRecord(task, out.FileName, &out, 10000) < 0) {
        std::fprintf(stderr, "%s\n", task.SetupError.c_str());
        return 1;
    }
    try {
        task.Transcode();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return task.Completed ? 0 : 1;
}
