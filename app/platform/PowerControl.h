#pragma once
// Shutting the computer down at the end of a batch. The requests go to
// systemd-logind on the system bus, which asks polkit whether this user may
// make them; they go out asynchronously, and a refusal or a missing bus ends
// up in the log, never in a stalled window.
#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <utility>

// What ShutdownComputer asks of the platform. Tests hand it a fake instead.
class TPowerRequests {
public:
    virtual ~TPowerRequests();
    // Whether the power requests can reach the platform at all.
    virtual bool Available() = 0;
    virtual void Quit() = 0;
    virtual void PowerOff() = 0;
    virtual void Reboot() = 0;
    virtual void Hibernate() = 0;
    virtual void Suspend() = 0;
};

// Where a request that could not be delivered, or was refused, is told: one
// line for the log.
using TPowerReport = std::function<void(const std::string& line)>;

// The real requests: Quit ends the application's event loop; the others call
// org.freedesktop.login1.Manager with "interactive" true, so that polkit may
// ask the user for a password where its rules want one.
class TLogindPowerRequests : public TPowerRequests {
public:
    // On the system bus, connected on the first request.
    explicit TLogindPowerRequests(TPowerReport report) : report_(std::move(report)) {}
    // On another connection (a test's peer in place of logind).
    TLogindPowerRequests(const QDBusConnection& connection, TPowerReport report)
        : report_(std::move(report)), connection_(connection) {}

    bool Available() override;
    void Quit() override;
    void PowerOff() override;
    void Reboot() override;
    void Hibernate() override;
    void Suspend() override;

private:
    QDBusConnection Connection();
    void Call(const char* method);
    void ReportFailure(const char* method, const QString& why);

    TPowerReport report_;
    std::optional<QDBusConnection> connection_;
    // The watchers of the answers still awaited: an answer that comes after
    // these requests have gone (with the log they report to) is dropped.
    QObject pending_;
};

// The shut-down privilege's name.
constexpr const char* ShutdownPrivilegeName = "SeShutdownPrivilege";

// There is no shut-down privilege for a process to hold here: logind asks
// polkit about every single request. So enabling the privilege means making
// sure `requests` can be delivered (true when they can), and disabling it has
// nothing to drop (always true). Any other privilege name is unknown on this
// system, and the result is false.
bool SetPrivilege(const std::string& privilegeName, bool enable, TPowerRequests& requests);

// Mode 0 ends the event loop, 1 and 2 power the computer off, 3 restarts it,
// 4 hibernates and 5 suspends it; any other mode asks for nothing. The results
// are not waited for: a refusal is reported by `requests`.
void ShutdownComputer(int mode, TPowerRequests& requests);
