// The desktop entry offers the program for every file it accepts: each MIME
// type the system's shared MIME database gives to an accepted extension is in
// its MimeType list, so "Open with" names the program for such files.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "SourceFiles.h"

namespace {

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

} // namespace

TEST(DesktopEntryTest, OffersEveryAcceptedType) {
    const std::set<std::string> offered = DesktopEntryMimeTypes(TEMBRIO_DESKTOP_ENTRY);
    ASSERT_FALSE(offered.empty()) << TEMBRIO_DESKTOP_ENTRY << " has no MimeType list";
    const std::multimap<std::string, std::string> database = TypesByGlob("/usr/share/mime/globs2");
    ASSERT_FALSE(database.empty()) << "no shared MIME database; run scripts/setup";

    std::vector<std::string> extensions = VideoExtensions();
    extensions.insert(extensions.end(), AudioExtensions().begin(), AudioExtensions().end());
    for (const std::string& extension : extensions) {
        const auto [first, last] = database.equal_range("*" + extension);
        for (auto it = first; it != last; ++it) {
            // ".ts" is also a translation source; such text types are not media.
            if (it->second.rfind("text/", 0) == 0) continue;
            EXPECT_TRUE(offered.count(it->second)) << extension << " files are " << it->second;
        }
    }
}
