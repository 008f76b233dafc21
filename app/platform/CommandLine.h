#pragma once
// The names the desktop program is started with: `tembrio FILE|FOLDER...`, as
// a desktop entry's %F passes them. The program has no options of its own:
// every argument is a name, apart from a leading "--". The toolkit takes its
// own options (-platform, -style and their values) before the program sees
// the arguments, "--" or not: a file named like one of them is given as ./-name.
#include <QStringList>

// Byte for byte (FileNames.h), made absolute against the current folder, in
// the order given. argv as main() has it once the application object took its
// options.
QStringList CommandLineNames(int argc, const char* const argv[]);
