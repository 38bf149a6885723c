#include "net/PrimaryAddress.h"

#include <QFile>
#include <QNetworkInterface>

#include <limits>

namespace {

// The interface's first IPv4 address, or an empty text.
QString FirstIPv4Address(const QNetworkInterface& interface) {
    for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
        const QHostAddress address = entry.ip();
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address.toString();
    }
    return {};
}

bool IsUp(const QNetworkInterface& interface) {
    const auto flags = interface.flags();
    return flags.testFlag(QNetworkInterface::IsUp) &&
           flags.testFlag(QNetworkInterface::IsRunning) &&
           !flags.testFlag(QNetworkInterface::IsLoopBack);
}

} // namespace

QString DefaultRouteInterface(const QByteArray& routeTable) {
    // Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ...
    QString best;
    qulonglong bestMetric = std::numeric_limits<qulonglong>::max();
    const QList<QByteArray> lines = routeTable.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> columns = lines.at(i).simplified().split(' ');
        if (columns.size() < 8 || columns.at(1) != "00000000" || columns.at(7) != "00000000")
            continue;
        bool ok = false;
        const qulonglong metric = columns.at(6).toULongLong(&ok);
        if (ok && metric < bestMetric) {
            bestMetric = metric;
            best = QString::fromLatin1(columns.at(0));
        }
    }
    return best;
}

QString PrimaryIPv4Address() {
    QFile routes(QStringLiteral("/proc/net/route"));
    if (routes.open(QIODevice::ReadOnly)) {
        const QString name = DefaultRouteInterface(routes.readAll());
        if (!name.isEmpty()) {
            QString address = FirstIPv4Address(QNetworkInterface::interfaceFromName(name));
            if (!address.isEmpty())
                return address;
        }
    }
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        if (!IsUp(interface))
            continue;
        QString address = FirstIPv4Address(interface);
        if (!address.isEmpty())
            return address;
    }
    return {};
}
