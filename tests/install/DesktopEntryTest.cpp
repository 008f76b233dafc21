// The desktop entry offers the program for every file it converts, and for
// nothing else: each MIME type the system's shared MIME database gives to an
// accepted extension is in its MimeType list, so "Open with" names the program
// for such files, apart from the types of accepted extensions the libraries
// cannot read.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "SourceFiles.h"
#include "TestSupport.h"

namespace {

// Extensions accepted by name whose files are never converted, each with a
// small file of its kind. A standard MIDI file holds notes, not sound, and the
// media libraries have no reader for it (here: one note, a quarter long).
const std::map<std::string, std::string> NotConverted = {
    {".mid", std::string("MThd\0\0\0\6\0\0\0\1\0\x60"
                         "MTrk\0\0\0\x0c\0\x90\x3c\x40\x60\x80\x3c\x40\0\xff\x2f\0",
                         34)},
};

std::vector<std::string> ConvertedExtensions() {
    std::vector<std::string> extensions;
    for (const auto* list : {&VideoExtensions(), &AudioExtensions()})
        for (const std::string& extension : *list)
            if (!NotConverted.count(extension)) extensions.push_back(extension);
    return extensions;
}

// ".ts" is also a translation source; such text types are not media.
bool IsText(const std::string& type) { return type.rfind("text/", 0) == 0; }

std::set<std::string> DesktopEntryMimeTypes(const std::string& path) {
    std::ifstream in(path);
    std::set<std::string> types;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("MimeType=", 0) != 0) continue;
        std::istringstream list(line.substr(9));
        for (std::string type; std::getline(list, type, ';');)
            if (!type.empty()) types.insert(type);
    }
    return types;
}

// "weight:type:glob[:flags]" lines, e.g. "50:audio/ogg:*.oga".
std::multimap<std::string, std::string> TypesByGlob(const std::string& path) {
    std::ifstream in(path);
    std::multimap<std::string, std::string> types;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string weight, type, glob;
        if (std::getline(fields, weight, ':') && std::getline(fields, type, ':') && std::getline(fields, glob, ':'))
            types.emplace(glob, type);
    }
    return types;
}

// "alias canonical" lines: the other names a type goes by, which some
// programs still give files of the type.
std::multimap<std::string, std::string> AliasesByType(const std::string& path) {
    std::ifstream in(path);
    std::multimap<std::string, std::string> aliases;
    for (std::string alias, type; in >> alias >> type;) aliases.emplace(type, alias);
    return aliases;
}

} // namespace

TEST(DesktopEntryTest, OffersEveryConvertedTypeAndNoOther) {
    const std::set<std::string> offered = DesktopEntryMimeTypes(TEMBRIO_DESKTOP_ENTRY);
    ASSERT_FALSE(offered.empty()) << TEMBRIO_DESKTOP_ENTRY << " has no MimeType list";
    const std::multimap<std::string, std::string> database = TypesByGlob("/usr/share/mime/globs2");
    ASSERT_FALSE(database.empty()) << "no shared MIME database; run scripts/setup";

    std::set<std::string> converted;
    for (const std::string& extension : ConvertedExtensions()) {
        const auto [first, last] = database.equal_range("*" + extension);
        for (auto it = first; it != last; ++it)
            if (!IsText(it->second)) converted.insert(it->second);
    }
    for (const std::string& type : converted) EXPECT_TRUE(offered.count(type)) << type << " is not offered";

    std::set<std::string> namesOfConverted = converted;
    const std::multimap<std::string, std::string> aliases = AliasesByType("/usr/share/mime/aliases");
    for (const std::string& type : converted) {
        const auto [first, last] = aliases.equal_range(type);
        for (auto it = first; it != last; ++it) namesOfConverted.insert(it->second);
    }
    for (const std::string& type : offered)
        EXPECT_TRUE(namesOfConverted.count(type)) << type << " is offered, but no file it converts is of that type";
}

// What keeps a type out of the list is the libraries' word: the converter
// cannot read such a file. A library that learns to read it fails this test,
// and the type belongs in the list again.
TEST(DesktopEntryTest, FilesLeftOutAreOnesTheConverterCannotRead) {
    TempDir dir;
    for (const auto& [extension, content] : NotConverted) {
        const std::string file = dir.File("sample" + extension);
        WriteTextFile(file, content);
        const CliResult info = RunConvert({"--info", file}, dir);
        EXPECT_NE(info.exitCode, 0) << extension << ": " << info.out;
        EXPECT_NE(info.err.find(file), std::string::npos) << extension << ": " << info.err;
    }
}
