#include "support/PrivateBus.h"

#include "support/TestSupport.h"

#include <QDBusMessage>
#include <QFile>
#include <QTest>

namespace {
// Everyone may own any name and call anything; no service directories, so a
// call to a name nobody owns fails at once instead of starting a program.
QByteArray BusConfig(const QString& sSocketDir) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:dir=" +
           sSocketDir.toUtf8() +
           "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}
} // namespace

PrivateBus::~PrivateBus() {
    for (const QString& sName : std::as_const(m_connectionNames))
        QDBusConnection::disconnectFromBus(sName);
}

bool PrivateBus::start() {
    const QString sConfig = m_dir.filePath(QStringLiteral("bus.conf"));
    const QString sOutput = m_dir.filePath(QStringLiteral("bus.out"));
    QFile config(sConfig);
    if (!m_dir.isValid() || !config.open(QIODevice::WriteOnly) ||
        config.write(BusConfig(m_dir.path())) < 0) {
        m_error = QStringLiteral("cannot write the bus configuration");
        return false;
    }
    config.close();
    if (!m_daemon.start(QStringLiteral("dbus-daemon"),
                        {QStringLiteral("--config-file=") + sConfig, QStringLiteral("--nofork"),
                         QStringLiteral("--print-address")},
                        sOutput)) {
        m_error = m_daemon.errorString();
        return false;
    }
    // The daemon prints its address once it listens.
    const auto output = [&] { return QString::fromUtf8(TestSupport::tailOfFile(sOutput)); };
    (void)QTest::qWaitFor([&] { return output().contains(u'\n') || !m_daemon.isRunning(); }, 30000);
    m_address = output().section(u'\n', 0, 0).trimmed();
    if (!m_address.startsWith(QStringLiteral("unix:"))) {
        m_error =
            QStringLiteral("dbus-daemon did not start (%1): ").arg(m_daemon.exitDescription()) +
            output();
        return false;
    }
    return true;
}

QDBusConnection PrivateBus::connect(const QString& sName) {
    m_connectionNames.append(sName);
    return QDBusConnection::connectToBus(m_address, sName);
}

bool PrivateBus::takeOverSystemBus() {
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
    const QString sOwnId = BusId(connect(QStringLiteral("pocketlane-private-bus-check")));
    return !sOwnId.isEmpty() && BusId(QDBusConnection::systemBus()) == sOwnId;
}

QString BusId(const QDBusConnection& oBus) {
    const QDBusMessage reply = oBus.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toString()
                                                      : QString();
}
