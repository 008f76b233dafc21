#pragma once
// Naming the output files: the source's name with the format's extension,
// never the name of a file that exists already.
#include <string>

// The path with a trailing separator. An empty path stays empty, so that it
// keeps meaning "the current folder" instead of turning into the root.
std::string IncludeBackslash(const std::string& path);

// The name without the extension of its last path component.
std::string StripExtension(const std::string& fileName);

// `name` when it does not exist in `folder`, else name(1).ext, name(2).ext, …
// (up to 32767; 32768 is returned unchecked). The name is never interpreted.
std::string UniqueFileName(const std::string& name, const std::string& folder);

// The output file for `source`: its name with the format's extension, made
// unique in `outputDir` against the files that exist there now.
std::wstring OutputFileNameFor(const std::wstring& source, const std::string& outputDir, int format);
