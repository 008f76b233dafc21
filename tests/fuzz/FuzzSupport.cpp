#include "FuzzSupport.h"

#include <stdlib.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Exception.h"
#include "FFLoad.h"
#include "FFLog.h"
#include "Fixtures.h"
#include "UnicodeProtocol.h"

namespace {

// Non-ASCII names: under the C locale only the "unicode:utf8:" URL opens them.
const std::wstring InputName = L"eingabe-\u00e4\u65e5";
const std::wstring RunFolderName = L"ausgabe-\u00f6";

std::string g_scratch;  // UTF-8 name of the process's scratch folder
std::wstring g_validInput;

[[noreturn]] void Fail(const std::string& text) {
    std::fprintf(stderr, "fuzz set-up: %s\n", text.c_str());
    std::abort();
}

void RemoveScratch() {
    std::error_code ec;
    std::filesystem::remove_all(g_scratch, ec);
}

std::wstring ScratchFile(const std::wstring& name) { return WidePath(g_scratch) + L"/" + name; }

} // namespace

void InitFuzzProcess() {
    std::setlocale(LC_ALL, "C");
    FFBindStartup();
    FFLoader()->SetLibraryPath(TEMBRIO_LIB_DIR);
    if (!FFLoader()->Load(EngineLibraries)) Fail(FFLoader()->LastError());
    QuietLibraryLog();

    std::string pattern = (std::filesystem::temp_directory_path() / "tembrio-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) Fail("cannot make a scratch folder under " + pattern);
    g_scratch = pattern;
    std::atexit(RemoveScratch);
    if (!NeedsUnicodeURL(ScratchFile(InputName)))
        Fail("the input name does not need the unicode I/O; run under the C locale");

    g_validInput = ScratchFile(L"valid.wav");
    try {
        WriteToneWav(g_validInput, 22050, 1, 0.2);
    } catch (const Exception& e) {
        Fail(e.Message());
    }
}

std::wstring WriteFuzzInput(const uint8_t* data, size_t size) {
    const std::wstring name = ScratchFile(InputName);
    std::ofstream out(Utf8Path(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) Fail("cannot write " + Utf8Path(name));
    return name;
}

const std::wstring& ValidInputFile() { return g_validInput; }

void QuietLibraryLog() { GlobalLogger()->SetLogLevel(llQuiet); }

TRunFolder::TRunFolder() : path_(Utf8Path(ScratchFile(RunFolderName))) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    if (!std::filesystem::create_directory(path_, ec)) Fail("cannot make " + path_);
}

TRunFolder::~TRunFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::wstring TRunFolder::File(const std::wstring& name) const { return WidePath(path_) + L"/" + name; }
