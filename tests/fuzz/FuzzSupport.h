#pragma once
// What the fuzz targets share: the engine's libraries loaded once per process
// from this build's lib/ folder, and a scratch folder for inputs and outputs
// with non-ASCII names, which reach the media libraries only through the
// program's unicode I/O: every mutated input is read (and every output
// written) the way a file with such a name is under the C locale.
#include <cstddef>
#include <cstdint>
#include <string>

// Starts the binding, loads the engine libraries, silences the library log and
// makes the scratch folder (removed at exit). Aborts when any of it fails: a
// fuzz run without them would test nothing.
void InitFuzzProcess();

// Writes `size` bytes to the process's input file and returns its name.
std::wstring WriteFuzzInput(const uint8_t* data, size_t size);

// A small WAV written once at start-up, for targets that need a valid input.
const std::wstring& ValidInputFile();

// An option text may raise the log level; this puts it back to quiet.
void QuietLibraryLog();

// A folder for one run's outputs, removed with what is in it when the run ends.
class TRunFolder {
public:
    TRunFolder();
    ~TRunFolder();
    TRunFolder(const TRunFolder&) = delete;
    TRunFolder& operator=(const TRunFolder&) = delete;
    // A file name in the folder (non-ASCII, like the folder).
    std::wstring File(const std::wstring& name) const;

private:
    std::string path_;
};
