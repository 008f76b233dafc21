#pragma once
// Shared test helpers: the library folder of this build, temporary folders and
// a fixture that has the engine's libraries loaded.
#include <gtest/gtest.h>

#include <string>

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
