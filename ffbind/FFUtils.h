#pragma once
// Small helpers over library structures shared by the transcoder and the probe.
#include <cstdint>
#include <string>

extern "C" {
#include <libavutil/dict.h>
}

// "<name>: <text for code>"; an unknown code gives "Error number %d occurred".
std::string LibraryErrorText(const std::string& name, int code);
// "HH:MM:SS.mmm" for microseconds; "N/A" for the no-value time stamp.
std::string TimeText(int64_t microseconds);
// "Video", "Audio", "Data", "Subtitle", "Attachment", else "Unknown".
std::string MediaTypeName(int type);
// The dictionary's value for key, or def.
std::string MetadataValue(const AVDictionary* metadata, const std::string& key, const std::string& def);
