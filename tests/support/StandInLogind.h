#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QHash>
#include <QPair>
#include <QStringList>

// A stand-in for systemd-logind on a test's private bus (see PrivateBus). It
// owns the name org.freedesktop.login1, serves the manager object and the
// session objects below it, records every call it receives and never does
// anything: every Can... question gets the configured answer, GetSession names
// OwnSessionPath, every other call succeeds unless it was told to refuse it.
// Leaves the bus when destroyed.
class StandInLogind : public QDBusVirtualObject {
    Q_OBJECT
public:
    static inline const QString OwnSessionPath =
        QStringLiteral("/org/freedesktop/login1/session/_32");

    explicit StandInLogind(const QString& sBusAddress);
    ~StandInLogind() override;

    // Whether the name and the objects are on the bus.
    bool isServing() const { return m_serving; }

    // What every Can... question is answered ("yes" unless set).
    void setPrivilegeAnswer(const QString& sAnswer) { m_privilegeAnswer = sAnswer; }
    // Answers calls of sMethod with the D-Bus error sErrorName: sMessage.
    void refuse(const QString& sMethod, const QString& sErrorName, const QString& sMessage);

    // Every call received so far, each as ManagerCall or SessionCall writes it.
    QStringList calls() const { return m_calls; }

    // How calls() writes a call of the manager, or of the owner's session:
    // "CanReboot()", "RebootWithFlags(t: 1)", "session Terminate()".
    static QString ManagerCall(const QString& sMethod, const QString& sArguments = {});
    static QString SessionCall(const QString& sMethod);
    // The calls a granted request of the action code asks for (0 log off,
    // 1 shut down, 2 reboot, 8 power off), with or without force.
    static QStringList CallsFor(quint32 lCode, bool bForce);

    QString introspect(const QString& sPath) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QDBusMessage answer(const QDBusMessage& message) const;

    QString m_connectionName;
    QDBusConnection m_bus;
    bool m_serving = false;
    QString m_privilegeAnswer = QStringLiteral("yes");
    QHash<QString, QPair<QString, QString>> m_refusals;
    QStringList m_calls;
};
