#pragma once
// Shutting the computer down at the end of a batch. The requests go to
// systemd-logind on the system bus, which asks polkit whether this user may
// make them; they go out asynchronously, and a refusal or a missing bus ends
// up in the log, never in a stalled window.
#include <QDBusConnection>
#include <optional>
#include <string>

// What ShutdownComputer asks of the platform. Tests put a fake in place of
// the real requests with SetPowerRequests.
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

// The real requests: Quit ends the application's event loop; the others call
// org.freedesktop.login1.Manager with "interactive" true, so that polkit may
// ask the user for a password where its rules want one.
class TLogindPowerRequests : public TPowerRequests {
public:
    // On the system bus, connected on the first request.
    TLogindPowerRequests() = default;
    // On another connection (a test's peer in place of logind).
    explicit TLogindPowerRequests(const QDBusConnection& connection) : connection_(connection) {}

    bool Available() override;
    void Quit() override;
    void PowerOff() override;
    void Reboot() override;
    void Hibernate() override;
    void Suspend() override;

private:
    QDBusConnection Connection();
    void Call(const char* method);

    std::optional<QDBusConnection> connection_;
};

// Puts `requests` in place (not owned; null restores the real ones) and
// returns the previous ones.
TPowerRequests* SetPowerRequests(TPowerRequests* requests);
TPowerRequests* PowerRequests();

// The shut-down privilege's name.
constexpr const char* ShutdownPrivilegeName = "SeShutdownPrivilege";

// There is no shut-down privilege for a process to hold here: logind asks
// polkit about every single request. So enabling the privilege means making
// sure the requests can be delivered (true when they can), and disabling it
// has nothing to drop (always true). Any other privilege name is unknown on
// this system, and the result is false.
bool SetPrivilege(const std::string& privilegeName, bool enable);

// Mode 0 ends the event loop, 1 and 2 power the computer off, 3 restarts it,
// 4 hibernates and 5 suspends it; any other mode asks for nothing. The results
// are not waited for: a refusal is logged.
void ShutdownComputer(int mode);
