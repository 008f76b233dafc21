#pragma once
// A settings file in INI form: sections in brackets, one "key=value" line per
// key. Keys are matched without regard to letter case and written in the order
// they were first set; values are stored as they are, without escaping.
#include <cstdint>
#include <memory>
#include <string>

// Reads an integer the way the settings file stores it: decimal, or
// hexadecimal after "0x", with an optional sign. False when the text is not a
// whole integer or does not fit 32 bits.
bool ParseIniInteger(const std::string& text, int32_t& value);

class TIniFile {
public:
    // Reads the file when it exists; a missing or unreadable file reads as empty,
    // so every key then yields its default.
    explicit TIniFile(std::string fileName);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // A value that is not a valid integer reads as the default.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    // True when the integer value is non-zero.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int64_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

    // Writes the file through a temporary file that replaces it, so a failed
    // write never leaves a half-written settings file behind. A symbolic link
    // is written through: its target is replaced and the link stays. The file
    // keeps its permissions. A file this process may not write (the user made
    // it read-only) is left alone: false. Raises Exception "Unable to write to
    // <file>. <reason>" on failure.
    bool UpdateFile() const;

private:
    struct TData;
    std::string fileName_;
    std::unique_ptr<TData> data_;
};
