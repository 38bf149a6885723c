#include "base/StatusLog.h"
#include "net/Reachability.h"
#include "support/PocketlaneProcess.h"
#include "support/StandInPage.h"

#include <QTest>

namespace {

using Blocks = QList<QByteArray>;

QString LogText(const StatusLog& log) {
    QStringList lines;
    for (const StatusLog::Line& line : log.lines())
        lines.append(QString::number(line.level) + u' ' + line.message);
    return lines.join(u'\n');
}

// A PC on a LAN without UPnP software, so that nothing leaves loopback.
Reachability::Options OnLanWithoutUpnp(const QUrl& page, int timeLimitMs) {
    Reachability::Options options;
    options.publicIpUrl = page;
    options.lookupTimeLimitMs = timeLimitMs;
    options.upnpSoftware = false;
    options.localIP = [] { return QStringLiteral("192.168.1.20"); };
    return options;
}

bool LookupEnded(const Reachability& reachability) {
    return reachability.AddressText() != QStringLiteral("Locating...");
}

} // namespace

class TestPublicAddressLookup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void requestIsExactlyTheseBytes() {
        QCOMPARE(PublicAddressLookup::RequestFor(QUrl(QStringLiteral("http://ip.example.org"))),
                 QByteArray("GET http://ip.example.org HTTP/1.0\r\nAccept: */*\r\n"
                            "Accept: text/html\r\n\r\n\r\n"));
    }

    void answerDecidesTheAddress_data() {
        QTest::addColumn<Blocks>("blocks");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("failureLine");

        const auto page = &StandInPage::HttpPage;
        QTest::newRow("marker") << Blocks{page("<script>displaycopy('203.0.113.77');</script>")}
                                << true << "203.0.113.77"
                                << "";
        QTest::newRow("plain page")
            << Blocks{page("<html><body>Current IP Address: 81.2.3.4</body></html>\r\n")} << true
            << "81.2.3.4"
            << "";
        QTest::newRow("address cut over two later blocks")
            << Blocks{"HTTP/1.0 200 OK\r\n\r\n<html>", "Current IP Address: 81.2", ".3.4</html>"}
            << true << "81.2.3.4"
            << "";
        QTest::newRow("marker in a later block")
            << Blocks{page("<html>"), "displa", "ycopy('81.2.3.4')"} << true << "81.2.3.4"
            << "";
        QTest::newRow("marker wins over an earlier address")
            << Blocks{page("Proxy 81.9.9.9 says displaycopy('81.2.3.4')")} << true << "81.2.3.4"
            << "";
        QTest::newRow("headers are not the body")
            << Blocks{"HTTP/1.0 200 OK\r\nVia: 81.9.9.9\r\n\r\nCurrent IP Address: 81.2.3.4"}
            << true << "81.2.3.4"
            << "";
        QTest::newRow("empty answer") << Blocks{} << true << ""
                                      << "1 Failed to find public IP address.";
        QTest::newRow("never answers")
            << Blocks{} << false << ""
            << "1 Failed to find public IP address:No answer within 0.5 seconds";
        QTest::newRow("private address")
            << Blocks{page("Current IP Address: 192.168.1.20")} << true << ""
            << "1 Failed to find public IP address:Not a public IPv4 address: 192.168.1.20";
        QTest::newRow("shared address after the marker")
            << Blocks{page("displaycopy('100.64.7.1')")} << true << ""
            << "1 Failed to find public IP address:Not a public IPv4 address: 100.64.7.1";
        QTest::newRow("not an address after the marker")
            << Blocks{page("displaycopy('<b>81.2.3.4</b>')")} << true << ""
            << "1 Failed to find public IP address:Not a public IPv4 address: <b>81.2.3.4</b>";
        QTest::newRow("out-of-range numbers")
            << Blocks{page("Current IP Address: 999.2.3.4")} << true << ""
            << "1 Failed to find public IP address:Not a public IPv4 address: 999.2.3.4";
        QTest::newRow("control characters after the marker")
            << Blocks{page("displaycopy('1.2\r\n\x1b[2J')")} << true << ""
            << "1 Failed to find public IP address:Not a public IPv4 address: 1.2\\r\\n\\x1b[2J";
        QTest::newRow("no address at all")
            << Blocks{page("Service unavailable")} << true << ""
            << "1 Failed to find public IP address:The answer holds no IPv4 address";
        QTest::newRow("64 KiB without an address and without end")
            << Blocks{page(QByteArray(40 * 1024, 'x')), QByteArray(40 * 1024, 'y')} << false << ""
            << "1 Failed to find public IP address:The answer holds no IPv4 address";
    }

    void answerDecidesTheAddress() {
        QFETCH(Blocks, blocks);
        QFETCH(bool, closes);
        QFETCH(QString, address);
        QFETCH(QString, failureLine);
        StandInPage page;
        QVERIFY(page.ListenOnLoopback());
        page.SetAnswer(blocks, closes);
        const QUrl url(QStringLiteral("http://127.0.0.1:%1").arg(page.Port()));
        StatusLog log;
        log.setExtendedLoggingSwitch([] { return true; });
        // The 64 KiB case must end by its size, long before its time limit.
        const int timeLimitMs = closes || !blocks.isEmpty() ? 60000 : 500;
        Reachability reachability(log, OnLanWithoutUpnp(url, timeLimitMs));
        reachability.ResetSetupAnswers();
        reachability.StartUp(8080);
        QCOMPARE(reachability.AddressText(), QStringLiteral("Locating..."));
        QTRY_VERIFY_WITH_TIMEOUT(LookupEnded(reachability), 20000);

        QTRY_COMPARE(page.Requests().value(0),
                     PublicAddressLookup::RequestFor(url) /* and nothing else */);
        const QString start =
            QStringLiteral("3 Removing existing port forwards (if any)...\n"
                           "1 Failed to remove Port Forwarding. You are missing HNetCfg.\n"
                           "2 You are running on a LAN. Attempting to determine public IP.\n");
        const SetupAnswers& answers = reachability.Answers();
        if (address.isEmpty()) {
            QCOMPARE(LogText(log), start + failureLine);
            QCOMPARE(reachability.AddressText(), QStringLiteral("Click here to find out"));
            QCOMPARE(reachability.AddressLink(), url);
            QCOMPARE(answers.Caption(SetupAnswers::PublicAddressAnswer),
                     QStringLiteral("No : Failed to determine"));
            QCOMPARE(answers.Link(SetupAnswers::PublicAddressAnswer).toString(),
                     QStringLiteral("http://www.pocketlane.net/pocketlane/help.htm"
                                    "#failed_to_determine_ip"));
            return;
        }
        QTRY_COMPARE(LogText(log),
                     start + QStringLiteral("2 Found public IP address:") + address +
                         QStringLiteral("\n3 Setting up port forward...\n"
                                        "1 Failed to setup Port Forwarding. You are missing "
                                        "HNetCfg."));
        QCOMPARE(reachability.AddressText(), address);
        QCOMPARE(reachability.AddressLink(), QUrl());
        QCOMPARE(answers.Caption(SetupAnswers::PublicAddressAnswer),
                 QStringLiteral("Yes : ") + address);
        QCOMPARE(answers.Link(SetupAnswers::PublicAddressAnswer), QUrl());
    }

    void refusedConnectionIsTheFailureOutcome() {
        const QUrl url(QStringLiteral("http://127.0.0.1:%1").arg(PocketlaneProcess::FreePort()));
        StatusLog log;
        Reachability reachability(log, OnLanWithoutUpnp(url, 60000));
        reachability.StartUp(80);
        QTRY_VERIFY(LookupEnded(reachability));
        QCOMPARE(log.lines().last().message,
                 QStringLiteral("Failed to find public IP address:Connection refused"));
        QCOMPARE(reachability.AddressText(), QStringLiteral("Click here to find out"));
        QCOMPARE(reachability.AddressLink(), url);
    }

    void notOnALanNothingIsAskedAndTheLocalAddressShows() {
        StandInPage page;
        QVERIFY(page.ListenOnLoopback());
        StatusLog log;
        Reachability::Options options =
            OnLanWithoutUpnp(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(page.Port())), 500);
        options.localIP = [] { return QStringLiteral("81.2.3.4"); };
        Reachability reachability(log, options);
        reachability.StartUp(80);
        QVERIFY(!reachability.RunningOnLan());
        QCOMPARE(reachability.AddressText(), QStringLiteral("81.2.3.4"));
        QTest::qWait(200);
        QVERIFY(page.Requests().isEmpty());
        QVERIFY(log.lines().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPublicAddressLookup)
#include "tst_publicaddresslookup.moc"
