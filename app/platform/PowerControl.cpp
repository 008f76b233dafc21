#include "PowerControl.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace {

const char* const LogindService = "org.freedesktop.login1";
const char* const LogindPath = "/org/freedesktop/login1";
const char* const LogindManager = "org.freedesktop.login1.Manager";

} // namespace

TPowerRequests::~TPowerRequests() = default;

// The system bus is not kept here: Qt keeps its connection.
QDBusConnection TLogindPowerRequests::Connection() {
    return connection_ ? *connection_ : QDBusConnection::systemBus();
}

bool TLogindPowerRequests::Available() { return Connection().isConnected(); }

// Ends the loop without closing the windows first, as the request to end the
// message loop always did: nothing is asked of the user any more.
void TLogindPowerRequests::Quit() { QCoreApplication::exit(0); }

void TLogindPowerRequests::PowerOff() { Call("PowerOff"); }
void TLogindPowerRequests::Reboot() { Call("Reboot"); }
void TLogindPowerRequests::Hibernate() { Call("Hibernate"); }
void TLogindPowerRequests::Suspend() { Call("Suspend"); }

// Asynchronous: polkit may keep an interactive request waiting for as long as
// the user takes to answer, and the window must not freeze meanwhile.
void TLogindPowerRequests::Call(const char* method) {
    QDBusConnection bus = Connection();
    if (!bus.isConnected()) {
        const QString why = bus.lastError().isValid() ? bus.lastError().message() : QStringLiteral("no system bus");
        ReportFailure(method, why);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(LogindService, LogindPath, LogindManager, method);
    call << true;  // interactive
    // Owned by these requests, so a reply that never comes leaks nothing.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), &pending_);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [this, method](QDBusPendingCallWatcher* w) {
        if (w->isError()) ReportFailure(method, w->error().name() + ": " + w->error().message());
        w->deleteLater();
    });
}

void TLogindPowerRequests::ReportFailure(const char* method, const QString& why) {
    if (report_) report_("Shutdown request " + std::string(method) + " failed: " + why.toLocal8Bit().toStdString());
}

bool SetPrivilege(const std::string& privilegeName, bool enable, TPowerRequests& requests) {
    if (privilegeName != ShutdownPrivilegeName) return false;
    return !enable || requests.Available();
}

// The privilege's result is not checked: a request that cannot be delivered
// reports that itself.
void ShutdownComputer(int mode, TPowerRequests& requests) {
    SetPrivilege(ShutdownPrivilegeName, true, requests);
    switch (mode) {
    case 0: requests.Quit(); break;
    case 1:
    case 2: requests.PowerOff(); break;
    case 3: requests.Reboot(); break;
    case 4: requests.Hibernate(); break;
    case 5: requests.Suspend(); break;
    default: break;
    }
    SetPrivilege(ShutdownPrivilegeName, false, requests);
}
