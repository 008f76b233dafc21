#pragma once
// Keeping converted files up to date with their sources: which outputs are
// missing or older than their source, and how a new version takes an
// output's place. It is written under a temporary name in the output's folder
// and moved there only once it is complete, so that an output is never seen
// half written and a run that fails or is stopped leaves the old one alone.
#include <string>

enum class TOutputState {
    Missing,   // nothing has the output's name
    UpToDate,  // a file not older than its source
    Stale,     // a file older than its source
    InTheWay,  // something else has the name: a folder, a link, a device
};

// The state of the file `output` against the file `source`, by modification
// time. A source that cannot be examined counts as changed, so its file is
// converted again and the open reports what is wrong with it.
TOutputState CheckOutput(const std::string& output, const std::string& source);

// The temporary name a new version of `output` is written under: in the same
// folder, hidden, and with an extension no folder search takes for a source
// ("out/.song.mp3.tembrio-part"), so that a leftover of a run that was killed
// is never converted itself.
std::string TemporaryOutputName(const std::string& output);

// The name of the container the engine writes for the format's extension,
// to be given explicitly when the file's own name has another extension; ""
// for a format code outside 0..7. Needs the libraries loaded.
std::string ContainerOf(int format);

// Moves the finished `temporary` to `output` in one step. With `replace` an
// existing output is replaced; without, nothing ever is: when `output` is
// taken, the first free of name(1).ext, name(2).ext, … is used, as when a file
// is created. The name the file now has, or "" with `error` set and the
// temporary file removed.
std::string MoveIntoPlace(const std::string& temporary, const std::string& output, bool replace,
                          std::string& error);
