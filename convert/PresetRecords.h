#pragma once
// The builders that turn the chosen format and preset into the option records
// of one task.
#include <string>
#include <vector>

#include "FFDecode.h"
#include "TaskRecords.h"

// The output record for the file open in `probe`: a unique name in `outputDir`
// with the format's extension, and the preset's settings. A format code the
// table does not have sets nothing but the name's folder; a preset index the
// format does not have sets only the format's own fields. A video container's
// record keeps the subtitles the conversion takes when the container holds
// their kind (text, or pictures); its video encoder is looked up in the
// loaded libraries.
TOutputOptions BuildOutputOptions(TCustomDecoder& probe, const std::string& outputDir, int format, int presetIndex);

// The command line's extra option lines (KEY=VALUE, as -x gives them) for an
// output record: each is appended to the record's option text, and where it
// sets an option the engine takes from a field of the record after the text
// (the record wins over its text), that field gives way to the line, so the
// line takes effect.
void TakeExtraLines(TOutputOptions& options, const std::vector<std::string>& lines);
// Why `line` cannot be used with output format `format`, or "".
std::string ExtraLineProblem(const std::string& line, int format);

// The input record for the file open in `probe`: its name, and "vn=1" unless
// the format is a video container.
TInputOptions BuildInputOptions(TCustomDecoder& probe, int format);
