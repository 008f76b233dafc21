// Cue sheets on mutated bytes: the same bytes read as a sheet beside an image
// (text decoding, the sheet's lines, libcue, the FILE names matched to files),
// as a sheet embedded in an image, and as a FLAC file whose CUESHEET block
// the program reads itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include "CueSheet.h"
#include "FileNameEncoding.h"
#include "FlacCueSheet.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitFuzzProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WideToUtf8(WriteFuzzInput(data, size));
    ReadCueSheet(path);
    ReadEmbeddedCueSheet(std::string(reinterpret_cast<const char*>(data), size), path);
    FlacCueSheetChapters(path);
    return 0;
}
