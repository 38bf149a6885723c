#include "support/StandInLogind.h"

#include "site/mycomputer/LogindClient.h"

#include <QDBusMessage>
#include <QDBusObjectPath>

namespace {
QString NextConnectionName() {
    static int counter = 0;
    return QStringLiteral("pocketlane-stand-in-logind-%1").arg(++counter);
}

QString Written(const QString& sPath, const QString& sInterface, const QString& sMethod,
                const QString& sArguments) {
    const QString sCall = sMethod + u'(' + sArguments + u')';
    if (sPath == Logind::ManagerPath && sInterface == Logind::ManagerInterface)
        return sCall;
    if (sPath == StandInLogind::OwnSessionPath && sInterface == Logind::SessionInterface)
        return QStringLiteral("session ") + sCall;
    return sPath + u' ' + sInterface + u'.' + sCall;
}

QString WrittenArguments(const QDBusMessage& message) {
    QStringList values;
    for (const QVariant& value : message.arguments())
        values.append(value.toString());
    return values.isEmpty()
               ? QString()
               : message.signature() + QStringLiteral(": ") + values.join(QStringLiteral(", "));
}
} // namespace

StandInLogind::StandInLogind(const QString& sBusAddress)
    : m_connectionName(NextConnectionName())
    , m_bus(QDBusConnection::connectToBus(sBusAddress, m_connectionName)) {
    m_serving = m_bus.isConnected() &&
                m_bus.registerVirtualObject(Logind::ManagerPath, this, QDBusConnection::SubPath) &&
                m_bus.registerService(Logind::Service);
}

StandInLogind::~StandInLogind() {
    m_bus.unregisterService(Logind::Service);
    m_bus.unregisterObject(Logind::ManagerPath, QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void StandInLogind::refuse(const QString& sMethod, const QString& sErrorName,
                           const QString& sMessage) {
    m_refusals.insert(sMethod, {sErrorName, sMessage});
}

QString StandInLogind::ManagerCall(const QString& sMethod, const QString& sArguments) {
    return Written(Logind::ManagerPath, Logind::ManagerInterface, sMethod, sArguments);
}

QString StandInLogind::SessionCall(const QString& sMethod) {
    return Written(OwnSessionPath, Logind::SessionInterface, sMethod, {});
}

QString StandInLogind::introspect(const QString&) const {
    return {};
}

bool StandInLogind::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    m_calls.append(
        Written(message.path(), message.interface(), message.member(), WrittenArguments(message)));
    connection.send(answer(message));
    return true;
}

QDBusMessage StandInLogind::answer(const QDBusMessage& message) const {
    const QString sMethod = message.member();
    if (m_refusals.contains(sMethod)) {
        const auto& [sErrorName, sText] = m_refusals.value(sMethod);
        return message.createErrorReply(sErrorName, sText);
    }
    if (sMethod.startsWith(u"Can"))
        return message.createReply(m_privilegeAnswer);
    if (sMethod == u"GetSession")
        return message.createReply(QVariant::fromValue(QDBusObjectPath(OwnSessionPath)));
    return message.createReply();
}

QStringList StandInLogind::CallsFor(quint32 lCode, bool bForce) {
    if (lCode == 0)
        return {ManagerCall(QStringLiteral("GetSession"), QStringLiteral("s: auto")),
                SessionCall(QStringLiteral("Terminate"))};
    const QString verb = lCode == 1   ? QStringLiteral("Halt")
                         : lCode == 2 ? QStringLiteral("Reboot")
                                      : QStringLiteral("PowerOff");
    return {ManagerCall(QStringLiteral("Can") + verb),
            ManagerCall(verb + QStringLiteral("WithFlags"),
                        bForce ? QStringLiteral("t: 0") : QStringLiteral("t: 1"))};
}
