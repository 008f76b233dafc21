#pragma once
// The builders that turn the chosen format and preset into the option records
// of one task.
#include <string>

#include "FFDecode.h"
#include "TaskRecords.h"

// The output record for the file open in `probe`: a unique name in `outputDir`
// with the format's extension, and the preset's settings. A format code the
// table does not have sets nothing but the name's folder; a preset index the
// format does not have sets only the format's own fields. A video container's
// record keeps text subtitles when every subtitle stream of the file is text;
// its video encoder is looked up in the loaded libraries.
TOutputOptions BuildOutputOptions(TCustomDecoder& probe, const std::string& outputDir, int format, int presetIndex);

// The input record for the file open in `probe`: its name, and "vn=1" unless
// the format is a video container.
TInputOptions BuildInputOptions(TCustomDecoder& probe, int format);
