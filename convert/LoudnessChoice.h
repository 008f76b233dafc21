#pragma once
// What a batch does about loudness, as the user chose it: ReplayGain tags,
// and normalising every file to a target loudness. A file to normalise is
// first measured by a pass that decodes and converts its audio as its output
// would (rate, channels) and writes nothing; its conversion then gives the
// samples the gain that brings it to the target.
#include <string>
#include <vector>

#include "Loudness.h"
#include "QueueFile.h"
#include "SourceTrack.h"

struct AVFormatContext;

struct TLoudnessChoice {
    // Each output's tags carry its track gain and peak, and those of the
    // files of an album (same album and album artist, same source folder)
    // the album's once its last file of the batch is done.
    bool ReplayGain = false;
    // The loudness every file is converted to, in LUFS (NormaliseTargets),
    // its true peak at or below NormalisedPeakCeiling; 0 keeps each file's.
    int NormaliseTo = 0;
};

// The targets a batch normalises to: -23, -18, -16 and -14 LUFS.
const std::vector<int>& NormaliseTargets();

// The records of the measuring pass of `file`, a probed file with its output
// named: its audio as its output's would be, to a loudness meter only.
TProbedFile MeasuringRecords(const TProbedFile& file);

// The gain in dB that brings audio of `measured` loudness to `target` LUFS,
// less where its true peak would go above the ceiling. `notice` tells the
// user when the ceiling took some of it, or why there is none; else "".
double NormalisingGain(const TLoudness& measured, int target, std::string& notice);

// The folder a source was found in ("." for a bare name): an album of a
// batch is in one folder.
std::string SourceFolderOf(const std::string& path);

// The album of a batch the file open in `ic` (found as `path`) belongs to:
// its folder with its album and album-artist tags; "" when it names no
// album. `name` gets the album's title. A track of the file (`track`) takes
// the album and album artist its sheet gives, else the file's; the tracks of
// a file that names no album still form one, named after the file.
std::string AlbumKeyOf(const AVFormatContext* ic, const std::string& path, std::string& name,
                       const TSourceTrack* track = nullptr);
