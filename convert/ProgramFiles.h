#pragma once
// Where the program finds its own files. In the build folder they lie beside
// the executable: lib/ (the media libraries), sounds/, splash.png and the
// version file. Installed under a prefix, the executables are in PREFIX/bin,
// the libraries in PREFIX/lib/tembrio and the rest in PREFIX/share/tembrio.
// Every lookup tries beside the executable first, then the installed place
// relative to it, so the same program runs from either layout and from any
// working folder.
#include <string>

// The running executable's folder with a trailing separator ("./" when the
// system does not tell).
std::string ExecutableFolder();

// The folder the media libraries are loaded from: `exeFolder` + "lib" when that
// is a folder, else `exeFolder` + "../lib/tembrio" when that is one, else ""
// (the libraries are then opened by name, as the system's dynamic linker
// finds them: a package that depends on the distribution's libraries ships no
// copies). `exeFolder` ends with a separator.
std::string ProgramLibraryFolder(const std::string& exeFolder);

// A file of the program: `exeFolder` + `beside` when it exists (a build),
// else `exeFolder` + `installed` when that exists ("../share/…", with "bin/.."
// folded), else "".
std::string ProgramFile(const std::string& exeFolder, const std::string& beside, const std::string& installed);

// A data file of the program, `name` relative to the data folder ("splash.png",
// "sounds/done.wav"): `exeFolder` + name when it exists, else
// `exeFolder` + "../share/tembrio/" + name when that exists, else the first
// (which then names the missing file in the caller's message).
std::string ProgramDataFile(const std::string& exeFolder, const std::string& name);
