#include "base/StatusLog.h"
#include "net/LanAddress.h"
#include "net/Reachability.h"

#include <QSignalSpy>
#include <QTest>

namespace {

Reachability::Options WithoutUpnpAt(const QString& localIP) {
    Reachability::Options options;
    options.upnpSoftware = false;
    // Nothing listens there: a lookup fails at once, on loopback.
    options.publicIpUrl = QUrl(QStringLiteral("http://127.0.0.1:1"));
    options.localIP = [localIP] { return localIP; };
    return options;
}

} // namespace

class TestSetupAnswers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lanIsJudgedByTheFirstCharacters_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("onLan");
        for (const char* lan : {"192.168.1.20", "10.0.0.5", "172.200.1.1", "172.16.0.1"})
            QTest::newRow(lan) << QString::fromLatin1(lan) << true;
        for (const char* notLan : {"11.0.0.1", "100.64.0.1", "193.168.0.1", "192.16", "", "10"})
            QTest::newRow(notLan) << QString::fromLatin1(notLan) << false;
    }
    void lanIsJudgedByTheFirstCharacters() {
        QFETCH(QString, address);
        QFETCH(bool, onLan);
        QCOMPARE(IsRunningOnLan(address), onLan);
    }

    void onlyWellFormedPublicAddressesCount_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isPublic");
        for (const char* good : {"81.2.3.4", "203.0.113.77", "1.0.0.1", "223.255.255.254",
                                 "100.63.255.255", "100.128.0.0", "172.32.0.1", "172.15.9.9"})
            QTest::newRow(good) << QString::fromLatin1(good) << true;
        for (const char* bad :
             {"10.1.2.3",        "172.16.0.1", "172.31.255.255", "192.168.0.1", "100.64.0.1",
              "100.127.255.255", "127.0.0.1",  "169.254.1.1",    "0.1.2.3",     "224.0.0.1",
              "255.255.255.255", "240.0.0.1",  "81.2.3",         "81.2.3.4.5",  "81.02.3.4",
              "256.1.1.1",       "81.2.3.4 ",  "+81.2.3.4",      "81..3.4",     "",
              "a.b.c.d"})
            QTest::newRow(bad) << QString::fromLatin1(bad) << false;
    }
    void onlyWellFormedPublicAddressesCount() {
        QFETCH(QString, text);
        QFETCH(bool, isPublic);
        QCOMPARE(IsPublicIPv4Address(text), isPublic);
    }

    void answersResetToUnknownWithoutLinks() {
        SetupAnswers answers;
        answers.SetAnswer(SetupAnswers::PortForwardedAnswer, QStringLiteral("No"),
                          QUrl(QStringLiteral("http://help")));
        answers.SetNatWarning(QStringLiteral("behind another NAT"));
        QSignalSpy changed(&answers, &QAbstractItemModel::dataChanged);
        answers.ResetSetupAnswers();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(answers.rowCount(), 6);
        for (int row = 0; row < answers.rowCount(); ++row) {
            const QModelIndex index = answers.index(row);
            QCOMPARE(index.data().toString(), QStringLiteral("Unknown"));
            QCOMPARE(index.data(SetupAnswers::LinkRole).toUrl(), QUrl());
        }
        QCOMPARE(answers.index(0).data(SetupAnswers::QuestionRole).toString(),
                 QStringLiteral("Running on a LAN/behind a router?"));
        QCOMPARE(answers.NatWarning(), QString());
    }

    void notOnALanTheLocalAddressIsThePublicOne() {
        StatusLog log;
        Reachability reachability(log, WithoutUpnpAt(QStringLiteral("81.2.3.4")));
        reachability.StartUp(80);
        SetupAnswers& answers = reachability.Answers();
        answers.SetAnswer(SetupAnswers::PortForwardingAnswer, QStringLiteral("No"),
                          QUrl(QStringLiteral("http://help")));
        QSignalSpy checked(&reachability, &Reachability::SetupChecked);
        reachability.CheckSetup();
        QCOMPARE(checked.count(), 1);
        QCOMPARE(answers.Lines(),
                 QStringList({QStringLiteral("Running on a LAN/behind a router? No"),
                              QStringLiteral("Have UPnP NAT software? Unknown"),
                              QStringLiteral("Can perform Port Forwarding? Not required"),
                              QStringLiteral("Appropriate port is forwarded? Not required"),
                              QStringLiteral("Have retrieved public IP address? Yes : 81.2.3.4"),
                              QStringLiteral("Have retrieved local IP address? Yes : 81.2.3.4")}));
        QVERIFY(log.lines().isEmpty());
    }

    void onALanWithoutUpnpSoftwareTheAnswersLinkToHelp() {
        StatusLog log;
        Reachability reachability(log, WithoutUpnpAt(QStringLiteral("192.168.1.20")));
        reachability.StartUp(80);
        QTRY_COMPARE(reachability.AddressText(), QStringLiteral("Click here to find out"));
        const qsizetype logged = log.lines().size();
        SetupAnswers& answers = reachability.Answers();
        answers.SetCaption(SetupAnswers::PortForwardedAnswer, QStringLiteral("Yes"));
        QSignalSpy checked(&reachability, &Reachability::SetupChecked);
        reachability.CheckSetup();
        QVERIFY(reachability.IsCheckRunning());
        reachability.CheckSetup(); // ignored while the first runs
        QVERIFY(checked.wait());
        QTest::qWait(100);
        QCOMPARE(checked.count(), 1);
        QVERIFY(!reachability.IsCheckRunning());
        const QString help = QStringLiteral("http://www.pocketlane.net/Pocketlane/help.htm#");
        QCOMPARE(
            answers.Lines(),
            QStringList(
                {QStringLiteral("Running on a LAN/behind a router? Yes"),
                 QStringLiteral("Have UPnP NAT software? No (%1missing_upnp_software)").arg(help),
                 QStringLiteral("Can perform Port Forwarding? No (%1manual_port_forward)")
                     .arg(help),
                 QStringLiteral("Appropriate port is forwarded? Yes"),
                 QStringLiteral("Have retrieved public IP address? No : Failed to determine "
                                "(http://www.pocketlane.net/pocketlane/help.htm"
                                "#failed_to_determine_ip)"),
                 QStringLiteral("Have retrieved local IP address? Yes : 192.168.1.20")}));
        QCOMPARE(log.lines().size(), logged); // the check writes no log line
    }
};

QTEST_GUILESS_MAIN(TestSetupAnswers)
#include "tst_setupanswers.moc"
