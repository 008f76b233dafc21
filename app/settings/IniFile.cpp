#include "IniFile.h"

// The file holds bytes in the locale's charset and is never converted; this
// also spares the UTF helper header Debian's package does not ship. Debian's
// header keeps the template bodies behind SI_IMPLEMENTATION; this is the one
// file that includes it, so the library stays header-only for us.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "Exception.h"
#include "Format.h"

struct TIniFile::TData {
    CSimpleIniA ini{false, false, false};  // no UTF-8 signature, one value per key, single-line values
};

namespace {

int DigitValue(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v < base ? v : -1;
}

// Writes a new file with the given permissions (0: what the umask leaves of
// 0666, as for any new file). errno tells why when false.
bool WriteWhole(const std::string& path, const std::string& text, mode_t mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    int error = 0;
    if (mode != 0 && ::fchmod(fd, mode) != 0) error = errno;
    for (size_t done = 0; error == 0 && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0) done += static_cast<size_t>(n);
        else if (n == 0) error = EIO;
        else if (errno != EINTR) error = errno;
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    errno = error;
    return error == 0;
}

// The file a chain of symbolic links ends at; the name itself when it is no
// link. A chain that does not end comes back as a link.
std::string FollowLinks(std::string path) {
    namespace fs = std::filesystem;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(path, ec)) return path;
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) return path;
        path = target.is_absolute() ? target.string() : (fs::path(path).parent_path() / target).string();
    }
    return path;
}

} // namespace

// Parsed by hand rather than with strtol: base 0 would read "010" as octal, and
// the user's locale must not matter.
bool ParseIniInteger(const std::string& text, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return false;
    long long magnitude = 0;
    for (; i < text.size(); ++i) {
        int d = DigitValue(text[i], base);
        if (d < 0) return false;
        magnitude = magnitude * base + d;
        if (magnitude > static_cast<long long>(INT32_MAX) + 1) return false;
    }
    long long v = negative ? -magnitude : magnitude;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    value = static_cast<int32_t>(v);
    return true;
}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)), data_(std::make_unique<TData>()) {
    data_->ini.SetSpaces(false);
    if (!fileName_.empty()) data_->ini.LoadFile(fileName_.c_str());  // missing or unreadable: empty
}

TIniFile::~TIniFile() = default;

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    const char* v = data_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return v ? std::string(v) : def;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
    const char* v = data_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    int32_t result;
    if (v && ParseIniInteger(v, result)) return result;
    return def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    data_->ini.SetValue(section.c_str(), key.c_str(), value.c_str());
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int64_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::UpdateFile() const {
    const std::string target = FollowLinks(fileName_);
    struct stat st {};
    const bool exists = ::lstat(target.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        errno = ELOOP;
        throw Exception(Format("Unable to write to %s. %s", fileName_, std::strerror(errno)));
    }
    // Write permission counts, not only access: root may write anything.
    if (exists && ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) return false;
    std::string text;
    bool ok = data_->ini.Save(text) >= 0;
    if (!ok) errno = ENOMEM;
    const std::string temp = target + ".tmp";
    ok = ok && WriteWhole(temp, text, exists ? st.st_mode & 07777 : 0);
    ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        const int saved = errno;
        std::remove(temp.c_str());
        throw Exception(Format("Unable to write to %s. %s", fileName_, std::strerror(saved)));
    }
    return true;
}
