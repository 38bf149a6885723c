#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>

class QDBusMessage;

// The names systemd-logind answers to on the system bus.
namespace Logind {
inline const QString Service = QStringLiteral("org.freedesktop.login1");
inline const QString ManagerPath = QStringLiteral("/org/freedesktop/login1");
inline const QString ManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
inline const QString SessionInterface = QStringLiteral("org.freedesktop.login1.Session");
// Session name logind resolves to the caller's own session, or, for a program
// started outside any session, to the display session of the caller's user.
inline const QString OwnSession = QStringLiteral("auto");
// Flag of the ...WithFlags power methods: block inhibitors held by running
// programs stop the operation even when the caller is privileged.
inline constexpr quint64 RootCheckInhibitors = 1;
} // namespace Logind

// What logind is asked to do for one session-end action.
struct LogindRequest {
    enum Kind { Unknown, EndOwnSession, PowerOperation };
    Kind kind = Unknown;
    QString what;      // the action in words, for the status log: "reboot the PC"
    QString canMethod; // PowerOperation: the manager's question "may the caller do it?"
    QString method;    // PowerOperation: the manager's ...WithFlags method
    quint64 flags = 0; // PowerOperation: its argument
};

// One request to logind, carried out without blocking the event loop: first
// the privilege step, then the action, which is only asked for when logind
// has said that this program may do it without further authentication.
// Reports once through the callback and then deletes itself.
class LogindSessionEnd : public QObject {
    Q_OBJECT
public:
    using Callback = std::function<void(bool done, const QString& reason)>;

    // done: logind accepted the action; otherwise reason tells why not.
    static void Start(const QDBusConnection& bus, const LogindRequest& request,
                      Callback onFinished);

private:
    LogindSessionEnd(const QDBusConnection& bus, const LogindRequest& request, Callback onFinished);

    void EnableShutdownPrivilege();
    void OnPrivilegeAnswer(const QDBusMessage& reply);
    void TerminateSession(const QDBusMessage& sessionReply);
    void Ask(const QDBusMessage& call, std::function<void(const QDBusMessage&)> onAnswer);
    void Finish(bool done, const QString& reason);

    QDBusConnection m_bus;
    LogindRequest m_request;
    Callback m_onFinished;
};
