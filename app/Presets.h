#pragma once
// The eight output formats with their presets, and the builders that turn the
// chosen format and preset into the option records of one task. Free of Qt: the
// desktop program and the command-line converter share it.
#include <string>
#include <vector>

#include "FFDecode.h"
#include "TaskRecords.h"

struct TPresetItem {
    std::string Text;         // the list item, as the user sees it
    int AudioChannels = -1;   // -1: keep the record's default
    int AudioSampleRate = -1;
    int AudioBitrate = -1;
    bool SourceBitrate = false;  // the bit rate of the source's first audio stream
    std::string AudioCodec;   // per item (WAV), else the format's
    std::string ExtOptions;
};

struct TFormatPresets {
    const char* Name;          // "wav", "mp3", … (the command line's format names)
    const char* Extension;     // ".wav", …
    std::string AudioCodec;    // empty: the container's default encoder
    std::string VideoCodec;
    bool DisableVideo;
    std::vector<TPresetItem> Items;
};

// Indexed by output format code (0 WAV … 7 MP2).
const std::vector<TFormatPresets>& PresetTable();

// ".wav" … ".mp2" by format code; "" for any other code.
std::string OutputExtension(int format);

// The output record for the file open in `probe`: a unique name in `outputDir`
// with the format's extension, and the preset's settings. A format code
// outside 0..7 sets nothing but the name's folder; a preset index the format
// does not have sets only the format's own fields.
TOutputOptions BuildOutputOptions(TCustomDecoder& probe, const std::string& outputDir, int format, int presetIndex);
// The input record for the file open in `probe`: its name and "vn=1".
TInputOptions BuildInputOptions(TCustomDecoder& probe);

// The output file for `source`: its name with the format's extension, made
// unique in `outputDir` against the files that exist there now.
std::wstring OutputFileNameFor(const std::wstring& source, const std::string& outputDir, int format);

// The name without the extension of its last path component.
std::string StripExtension(const std::string& fileName);
// `name` when it does not exist in `folder`, else name(1).ext, name(2).ext, …
// (up to 32767; 32768 is returned unchecked). The name is never interpreted.
std::string UniqueFileName(const std::string& name, const std::string& folder);
