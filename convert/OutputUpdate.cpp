#include "OutputUpdate.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "AVFormatStubs.h"
#include "FormatPresets.h"
#include "OutputNames.h"
#include "UnicodeProtocol.h"

namespace {

int64_t Nanoseconds(const timespec& time) { return time.tv_sec * 1000000000LL + time.tv_nsec; }

std::string IdentityText(const TSourceIdentity& source) {
    return std::to_string(source.Size) + ":" + std::to_string(source.ModifiedNs);
}

// The identity `output` records in its attribute; not Known without one.
TSourceIdentity RecordedIdentity(const std::string& output) {
    char text[64];
    const ssize_t length = ::getxattr(output.c_str(), SourceAttribute, text, sizeof text - 1);
    TSourceIdentity recorded;
    if (length <= 0) return recorded;
    text[length] = '\0';
    long long size = 0, modified = 0;
    int used = 0;
    if (std::sscanf(text, "%lld:%lld%n", &size, &modified, &used) == 2 && used == length) {
        recorded.Known = true;
        recorded.Size = size;
        recorded.ModifiedNs = modified;
    } else {
        // Something else wrote the attribute: it records a source, but not
        // this one.
        recorded.Known = true;
        recorded.Size = -1;
    }
    return recorded;
}

} // namespace

bool MoveWithoutReplacing(const std::string& temporary, const std::string& target) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    // Network file systems take no such rename, but a hard link is made in
    // one step there too.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
    if (::link(temporary.c_str(), target.c_str()) != 0) return false;
    ::unlink(temporary.c_str());
    return true;
}

TSourceIdentity SourceIdentityOf(const std::string& source) {
    struct stat st {};
    TSourceIdentity identity;
    if (::stat(source.c_str(), &st) != 0) return identity;
    identity.Known = true;
    identity.Size = st.st_size;
    identity.ModifiedNs = Nanoseconds(st.st_mtim);
    return identity;
}

bool RecordSourceIdentity(int fd, const TSourceIdentity& source, TIdentityRecord how) {
    if (fd < 0 || !source.Known) return false;
    const std::string text = IdentityText(source);
    const bool attribute = ::fsetxattr(fd, SourceAttribute, text.data(), text.size(), 0) == 0;
    const bool time =
        how == TIdentityRecord::AttributeAndTime || (how == TIdentityRecord::AttributeElseTime && !attribute);
    if (!time) return attribute;
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = source.ModifiedNs / 1000000000LL;
    times[1].tv_nsec = source.ModifiedNs % 1000000000LL;
    return ::futimens(fd, times) == 0 || attribute;
}

bool RecordSourceIdentity(const std::string& path, const TSourceIdentity& source, TIdentityRecord how) {
    // Read-only is enough for both, and the open never follows a link or
    // waits on a pipe put in the output's place.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    const bool recorded = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && RecordSourceIdentity(fd, source, how);
    ::close(fd);
    return recorded;
}

bool MadeFrom(const std::string& output, const TSourceIdentity& source) {
    if (!source.Known) return false;
    const TSourceIdentity recorded = RecordedIdentity(output);
    if (recorded.Known) return recorded == source;
    // Where the file system keeps no attributes, the modification time
    // alone carries the record.
    struct stat st {};
    return ::lstat(output.c_str(), &st) == 0 && S_ISREG(st.st_mode) && Nanoseconds(st.st_mtim) == source.ModifiedNs;
}

TOutputState CheckOutput(const std::string& output, const std::string& source, const TSourceCut& cut) {
    struct stat out {};
    if (::lstat(output.c_str(), &out) != 0) return TOutputState::Missing;
    if (!S_ISREG(out.st_mode)) return TOutputState::InTheWay;
    const TSourceIdentity now = SourceIdentityOf(source);
    if (!now.Known) return TOutputState::Stale;
    const TSourceIdentity recorded = RecordedIdentity(output);
    if (recorded.Known) return recorded == now ? TOutputState::UpToDate : TOutputState::Stale;
    if (Nanoseconds(out.st_mtim) == now.ModifiedNs) return TOutputState::UpToDate;
    if (Nanoseconds(out.st_mtim) < now.ModifiedNs) return TOutputState::Stale;
    // Newer than its source but not known to be made from it: a run without
    // --update that was killed mid-file leaves it as far as it got, under the
    // real name (a stopped one renames it).
    if (OutputCutShort(output, source, cut)) return TOutputState::CutShort;
    RecordSourceIdentity(output, now, TIdentityRecord::AttributeElseTime);
    return TOutputState::UpToDate;
}

std::string TemporaryOutputName(const std::string& output) {
    static const std::string Suffix = ".tembrio-part";
    const size_t slash = output.find_last_of('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    return output.substr(0, start) + FitStem("." + output.substr(start), NameMax - Suffix.size()) + Suffix;
}

TUpdateClaim ClaimOutput(const std::string& output, const std::string& source, TOutputClaim& claim,
                         TSourceIdentity& identity, std::string& error) {
    switch (claim.Take(TemporaryOutputName(output), error)) {
    case TOutputClaim::TResult::Busy: return TUpdateClaim::Busy;
    case TOutputClaim::TResult::Failed: return TUpdateClaim::Failed;
    case TOutputClaim::TResult::Claimed: break;
    }
    // Noted before the conversion reads the source: should it change from
    // here on, the output records the old identity and is made again.
    identity = SourceIdentityOf(source);
    if (MadeFrom(output, identity)) {
        claim.Release();
        return TUpdateClaim::Done;
    }
    return TUpdateClaim::Claimed;
}

std::string ContainerOf(int format) {
    const std::string extension = OutputExtension(format);
    if (extension.empty() || !ff::av_guess_format) return {};
    // The engine names the container of an output by its file's extension.
    const AVOutputFormat* container = ff::av_guess_format(nullptr, ("output" + extension).c_str(), nullptr);
    return container ? container->name : std::string();
}

std::string MoveIntoPlace(const std::string& temporary, const std::string& output, bool replace,
                          std::string& error) {
    if (replace && ::rename(temporary.c_str(), output.c_str()) == 0) return output;
    if (!replace) {
        for (int n = 0; n <= MaxNameCounter; ++n) {
            const std::string target = n == 0 ? output : CounterName(output, n);
            if (MoveWithoutReplacing(temporary, target)) return target;
            if (errno != EEXIST) break;
        }
    }
    const int code = errno;
    if (code == EEXIST)
        error = NoFreeNameText(output);
    else if (code == ENAMETOOLONG)
        error = NameTooLongText(output);
    else
        error = "Cannot move " + temporary + " to " + output + ": " + std::strerror(code);
    ::unlink(temporary.c_str());
    return {};
}
