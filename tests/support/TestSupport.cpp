#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
