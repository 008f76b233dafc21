#pragma once
// The builders that turn the chosen format and preset into the option records
// of one task.
#include <string>

#include "FFDecode.h"
#include "TaskRecords.h"

// The output record for the file open in `probe`: a unique name in `outputDir`
// with the format's extension, and the preset's settings. A format code
// outside 0..7 sets nothing but the name's folder; a preset index the format
// does not have sets only the format's own fields.
TOutputOptions BuildOutputOptions(TCustomDecoder& probe, const std::string& outputDir, int format, int presetIndex);

// The input record for the file open in `probe`: its name and "vn=1".
TInputOptions BuildInputOptions(TCustomDecoder& probe);
