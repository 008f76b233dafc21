#pragma once
// Keeping converted files up to date with their sources (--update): which
// outputs are missing, made from another version of their source, or cut
// short, and how a new version takes an output's place. It is written under
// a temporary name in the output's folder, which the run claims (other runs
// over the same mirror skip it meanwhile), and moved there only once it is
// complete, so that an output is never seen half written and a run that
// fails or is stopped leaves the old one alone.
#include <cstdint>
#include <string>

#include "SourceCut.h"

// What a source was when its conversion began: enough to tell later whether
// an output was made from the file that is there now.
struct TSourceIdentity {
    bool Known = false;
    int64_t Size = 0;
    int64_t ModifiedNs = 0;  // modification time, nanoseconds since the epoch
    bool operator==(const TSourceIdentity&) const = default;
};

// The identity of the file `source` now (through links); not Known when it
// cannot be examined.
TSourceIdentity SourceIdentityOf(const std::string& source);

// The extended attribute an output keeps the identity of the source it was
// made from in, as "size:mtime_ns".
constexpr const char* SourceAttribute = "user.tembrio.source";

// How an output is marked as made from a source.
enum class TIdentityRecord {
    Attribute,          // the attribute only, where the file system takes one
    AttributeElseTime,  // the attribute, or the source's modification time where it takes none
    AttributeAndTime,   // both: the output gets the source's modification time, as mirroring tools do
};
// Marks the open output `fd` (or the output file `path`, never through a
// link) as made from `source`. False when nothing could be recorded.
bool RecordSourceIdentity(int fd, const TSourceIdentity& source, TIdentityRecord how);
bool RecordSourceIdentity(const std::string& path, const TSourceIdentity& source, TIdentityRecord how);

// Whether the regular file `output` is marked as made from `source` as it is
// now: by its attribute, or, without one, by carrying the source's
// modification time to the nanosecond.
bool MadeFrom(const std::string& output, const TSourceIdentity& source);

enum class TOutputState {
    Missing,   // nothing has the output's name
    UpToDate,  // made from the source as it is now, or complete and not older
    Stale,     // made from another version of the source, or older than it
    CutShort,  // clearly shorter than its source, or unreadable: a conversion cut short
    InTheWay,  // something else has the name: a folder, a link, a device
};

// The state of the file `output` against the file `source`. An output that
// records the source it was made from is judged by that alone. One that
// records nothing (made by a run without --update, by an earlier version or
// by another program) is stale when older than its source; otherwise its
// length is compared with the source's (OutputCutShort), and one found whole
// is marked as made from the source (TIdentityRecord::AttributeElseTime),
// so the next run need not look again. A source that cannot be examined
// counts as changed, so its file is converted again and the open reports
// what is wrong with it. The output of a stretch of the source (a track) is
// held against the stretch's length, `cut`. Needs the libraries loaded.
TOutputState CheckOutput(const std::string& output, const std::string& source, const TSourceCut& cut = {});

// Whether `output` is clearly shorter than `source`: by more than the
// encoder frames at either end of each (an encoder's delay and padding) and
// the rounding of their containers' clocks. The
// output's length is what its packets really hold (no more than its header
// says); the source's is what its container says, counted from its packets
// where that is only an estimate from the bit rate. An output that cannot be
// read is cut short; a source whose length cannot be told is not compared.
// For the output of a stretch of the source the stretch's length counts,
// `cut` (to the source's end when it runs there). Needs the libraries loaded.
bool OutputCutShort(const std::string& output, const std::string& source, const TSourceCut& cut = {});

// The temporary name a new version of `output` is written under: in the same
// folder, hidden, and with an extension no folder search takes for a source
// ("out/.song.mp3.tembrio-part"), so that a leftover of a run that was killed
// is never converted itself. The same output always gets the same name, and
// the name fits the file system's limit (a long one is shortened, with a
// hash of the whole, see FitStem).
std::string TemporaryOutputName(const std::string& output);

// A claim on the temporary name of an output: the file is created
// exclusively and held with an advisory lock (flock) until the claim is let
// go, so that another run finds it taken ("being converted by another run"),
// and a temporary file whose lock is free is known to be a leftover of a run
// that died. The engine writes the new version into the claimed file
// (TOutputOptions::WriteIntoClaimedFile). Any thread, one at a time.
class TOutputClaim {
public:
    enum class TResult {
        Claimed,  // the file is this claim's, new and empty
        Busy,     // another run holds it
        Failed,   // the name cannot be claimed; the error says why
    };

    TOutputClaim() = default;
    TOutputClaim(const TOutputClaim&) = delete;
    TOutputClaim& operator=(const TOutputClaim&) = delete;
    ~TOutputClaim() { Release(); }

    // Claims `temporary`. A file of that name whose lock is free is removed
    // first (`removedStale` tells); one that is not a regular file fails.
    TResult Take(const std::string& temporary, std::string& error, bool* removedStale = nullptr);
    // The open claimed file, -1 without a claim.
    int Handle() const { return fd_; }
    const std::string& Path() const { return path_; }
    // Lets the claim go: its file is removed when it is still under the
    // temporary name (a conversion that never ran or failed), kept when it
    // has been moved into place.
    void Release();

private:
    int fd_ = -1;
    std::string path_;
};

// Removes the temporary files in `folder` (TemporaryOutputName's, of any
// output) that no run holds: leftovers of runs that were killed, also of
// outputs no run will make again (their source is gone). Files other runs
// hold are left alone. The number removed.
int RemoveLeftoverTemporaryFiles(const std::string& folder);

// For --update as a file is queued: claims the temporary name of `output`
// (TOutputClaim::Take), then notes the source's identity and looks again
// whether another run has made the output from it meanwhile (the claim is
// then let go).
enum class TUpdateClaim { Claimed, Busy, Done, Failed };
TUpdateClaim ClaimOutput(const std::string& output, const std::string& source, TOutputClaim& claim,
                         TSourceIdentity& identity, std::string& error);

// The text for a file another run holds the output of.
constexpr const char* BusyText = "being converted by another run";

// The name of the container the engine writes for the format's extension,
// to be given explicitly when the file's own name has another extension; ""
// for a format code outside 0..7. Needs the libraries loaded.
std::string ContainerOf(int format);

// Creates `target` as a new name of `temporary`'s file, never over an
// existing one, and drops the temporary name; false with errno set. EEXIST:
// the name is taken.
bool MoveWithoutReplacing(const std::string& temporary, const std::string& target);

// Moves the finished `temporary` to `output` in one step. With `replace` an
// existing output is replaced; without, nothing ever is: when `output` is
// taken, the first free of name(1).ext, name(2).ext, … is used, as when a file
// is created. The name the file now has, or "" with `error` set and the
// temporary file removed.
std::string MoveIntoPlace(const std::string& temporary, const std::string& output, bool replace,
                          std::string& error);
