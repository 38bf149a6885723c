#include "net/PrimaryAddress.h"

#include <QHostAddress>
#include <QTest>

class TestPrimaryAddress : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void defaultRouteWithTheLowestMetricWins() {
        const QByteArray table =
            "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
            "wlan0\t00000000\t0102A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
            "eth0\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
            "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
        QCOMPARE(DefaultRouteInterface(table), QStringLiteral("eth0"));
        QCOMPARE(DefaultRouteInterface(table.left(table.indexOf("wlan0"))), QString());
    }

    void primaryAddressIsEmptyOrAnIPv4Address() {
        const QString address = PrimaryIPv4Address();
        if (address.isEmpty())
            return;
        const QHostAddress parsed(address);
        QCOMPARE(parsed.protocol(), QAbstractSocket::IPv4Protocol);
        QVERIFY(!parsed.isLoopback());
    }
};

QTEST_GUILESS_MAIN(TestPrimaryAddress)
#include "tst_primaryaddress.moc"
