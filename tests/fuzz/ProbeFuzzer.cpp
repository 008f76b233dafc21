// The media probe on mutated files: open the file through the unicode I/O and
// ask for the container and every stream's properties, as the file list does
// for each file added.
#include <cstddef>
#include <cstdint>

#include "Exception.h"
#include "FFDecode.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitFuzzProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring file = WriteFuzzInput(data, size);
    TCustomDecoder probe;
    try {
        if (!probe.LoadFile(file)) return 0;
        TFileStreamInfo fileInfo;
        probe.GetFileStreamInfo(fileInfo);
        // -1 asks for the first stream of the kind; one past the end must be refused.
        for (int i = -1; i <= probe.StreamCount(); ++i) {
            TAudioStreamInfo audio;
            TVideoStreamInfo video;
            probe.GetAudioStreamInfo(i, audio);
            probe.GetVideoStreamInfo(i, video);
        }
    } catch (const Exception&) {
        // The probe's own answer to a file it cannot describe.
    }
    return 0;
}
