#pragma once
// The help the program ships: the manual, an HTML page made from the README at
// build time, and the manual page tembrio(1). "Help Content" and "More
// Information..." open them rather than a web address, so help works offline;
// the web address is a link inside the manual.
//
// Like the program's other files they are looked up beside the executable
// first (the build folder: manual.html, man/man1/tembrio.1.gz), then where an
// installation puts them relative to it (PREFIX/share/doc/tembrio/manual.html,
// PREFIX/share/man/man1/tembrio.1.gz).
#include <string>

class QWidget;

// The manual's file, or "" when neither place has it. `exeFolder` ends with a
// separator.
std::string ManualFile(const std::string& exeFolder);
// The manual page's file, or "" when neither place has it.
std::string ManPageFile(const std::string& exeFolder);

// The help address of the state record: the manual when there is one, else
// `webAddress`.
std::string HelpAddressFor(const std::string& exeFolder, const std::string& webAddress);

// Whether the desktop has a web browser to show a page in: $BROWSER is set,
// xdg-mime names a handler of HTML files, or the system has an x-www-browser.
bool WebBrowserPresent();

// Shows the help at `address` (HelpAddress): in the web browser; without one,
// the manual page of the running program in a terminal; when that cannot be
// either, hands the address to the desktop all the same (ShellOpen: a message
// says when nothing takes it). False when nothing showed the help.
bool OpenHelp(const std::string& address, QWidget* parent);
