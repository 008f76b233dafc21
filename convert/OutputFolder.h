#pragma once
// The output folder of a batch: made when missing, and checked before any file
// is queued, so that a folder that cannot take files fails once, with the
// reason, rather than once per file.
#include <string>

// Creates `folder` (and the folders above it) when missing. Empty when it is a
// folder this process may write into; otherwise the message for the user:
// which folder, and why it cannot be used.
std::string PrepareOutputFolder(const std::string& folder);
