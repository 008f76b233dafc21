#include "HelpManual.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include "FileNames.h"
#include "ProgramFiles.h"
#include "UtilFuncsGui.h"

namespace {

const char* const BuildManual = "manual.html";
const char* const InstalledManual = "../share/doc/tembrio/manual.html";
const char* const BuildManPage = "man/man1/tembrio.1.gz";
const char* const InstalledManPage = "../share/man/man1/tembrio.1.gz";

QString OnPath(const char* program) { return QStandardPaths::findExecutable(QString::fromLatin1(program)); }

// The desktop's handler of HTML files, as xdg-open would ask for it.
bool HtmlHandlerRegistered() {
    const QString xdgMime = OnPath("xdg-mime");
    if (xdgMime.isEmpty()) return false;
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished();
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
}

// The manual page in the system's terminal (Debian's x-terminal-emulator takes
// "-e" and a command as every terminal it stands for does). "man -l" reads the
// file itself, so a program in the build folder or under a prefix outside the
// manual path shows its own page.
bool ShowManPageInTerminal(const std::string& manPage) {
    const QString terminal = OnPath("x-terminal-emulator");
    if (manPage.empty() || terminal.isEmpty() || OnPath("man").isEmpty()) return false;
    return QProcess::startDetached(terminal,
                                   {QStringLiteral("-e"), QStringLiteral("man"), QStringLiteral("-l"),
                                    NameFromBytes(manPage)});
}

} // namespace

std::string ManualFile(const std::string& exeFolder) { return ProgramFile(exeFolder, BuildManual, InstalledManual); }

std::string ManPageFile(const std::string& exeFolder) { return ProgramFile(exeFolder, BuildManPage, InstalledManPage); }

std::string HelpAddressFor(const std::string& exeFolder, const std::string& webAddress) {
    const std::string manual = ManualFile(exeFolder);
    return manual.empty() ? webAddress : manual;
}

bool WebBrowserPresent() {
    return !qEnvironmentVariableIsEmpty("BROWSER") || HtmlHandlerRegistered() || !OnPath("x-www-browser").isEmpty();
}

bool OpenHelp(const std::string& address, QWidget* parent) {
    // Without a browser xdg-open takes the page and shows nothing: the manual
    // page says the same in a terminal.
    if (!WebBrowserPresent() && ShowManPageInTerminal(ManPageFile(ExecutableFolder()))) return true;
    return ShellOpen(address, parent);
}
