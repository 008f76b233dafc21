#pragma once
// File names between the toolkit's strings and the engine's. On this platform
// a name is bytes; Qt decodes names as UTF-8 and turns bytes that are not
// UTF-8 into U+FFFD, a name that opens nothing. The program keeps every name
// the way the engine does (FileNameEncoding.h): such a byte travels as
// U+DC80 + byte, a lone surrogate, which a QString holds as it is. Names are
// converted only through these functions, never through QFile::encodeName,
// toLocal8Bit or toStdWString.
#include <QString>
#include <string>

class QUrl;

QString NameFromBytes(const std::string& bytes);
std::string NameBytes(const QString& name);
// The engine's wide form and back.
std::wstring WideName(const QString& name);
QString NameFromWide(const std::wstring& name);

// A name as lists and labels show it: bytes that are not UTF-8 as "\xNN".
QString DisplayName(const QString& name);
// Text with names in it from the engine (messages, log lines) for showing.
QString DisplayText(const std::string& bytes);

// The file a local "file:" address names, byte for byte (an address keeps
// such bytes percent-encoded); empty for any other address.
QString LocalFileOfUrl(const QUrl& url);
// The "file:" address of a name (bytes), which keeps every byte.
QUrl UrlOfLocalFile(const std::string& bytes);

// A name from Qt's own file dialog, which lists names with U+FFFD for the
// bytes it cannot decode: the name on disk it stands for, found by listing
// the folders on its way. Unchanged when it has no U+FFFD, or when no single
// entry of a folder matches.
QString RecoverDialogName(const QString& name);
