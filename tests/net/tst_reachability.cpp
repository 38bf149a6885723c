// The LAN test, the public-address lookup against a stand-in page on
// loopback, and the setup check's answers on a PC without UPnP software (the
// answers from a real router are in tst_upnprouter).

#include "base/StatusLog.h"
#include "net/LanAddress.h"
#include "net/PrimaryAddress.h"
#include "net/Reachability.h"
#include "settings/SettingsPaths.h"
#include "support/PocketlaneProcess.h"
#include "support/StandInPage.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Blocks = QList<QByteArray>;
enum PageKind { Closes, NeverAnswers, Refuses };

QString LogText(const StatusLog& log) {
    QString text;
    for (const StatusLog::Line& line : log.lines())
        text += u'\n' + QString::number(line.level) + u' ' + line.message;
    return text.mid(1);
}

// A PC without UPnP software, so that nothing leaves loopback.
Reachability::Options WithoutUpnp(quint16 pagePort, const QString& localIP, int timeLimitMs) {
    Reachability::Options options;
    options.publicIpUrl = QUrl(u"http://127.0.0.1:%1"_s.arg(pagePort));
    options.lookupTimeLimitMs = timeLimitMs;
    options.upnpSoftware = false;
    options.localIP = [localIP] { return localIP; };
    return options;
}

void AddLookupRow(const char* name, const Blocks& blocks, const QString& outcome,
                  PageKind kind = Closes) {
    QTest::newRow(name) << blocks << int(kind) << outcome;
}

} // namespace

class TestReachability : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void addressKinds_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("onLan"); // judged by the first characters only
        QTest::addColumn<bool>("isPublic");
        // clang-format off
        const struct { bool onLan, isPublic; std::initializer_list<const char*> addresses; } groups[] = {
            {true, false, {"192.168.1.20", "10.0.0.5", "172.16.0.1", "172.31.255.255"}},
            {true, true, {"172.200.1.1", "172.32.0.1", "172.15.9.9"}},
            {false, true, {"11.0.0.1", "100.63.255.255", "100.128.0.0", "193.168.0.1", "81.2.3.4",
                           "203.0.113.77", "1.0.0.1", "223.255.255.254"}},
            {false, false, {"100.64.0.1", "100.127.255.255", "192.16", "10", "", "127.0.0.1",
                            "169.254.1.1", "0.1.2.3", "224.0.0.1", "255.255.255.255", "240.0.0.1",
                            "81.2.3", "81.2.3.4.5", "81.02.3.4", "256.1.1.1", "81.2.3.4 ",
                            "+81.2.3.4", "81..3.4", "a.b.c.d"}},
        };
        // clang-format on
        for (const auto& group : groups)
            for (const char* address : group.addresses)
                QTest::newRow(address)
                    << QString::fromLatin1(address) << group.onLan << group.isPublic;
    }
    void addressKinds() {
        QFETCH(QString, address);
        QFETCH(bool, onLan);
        QFETCH(bool, isPublic);
        QCOMPARE(IsRunningOnLan(address), onLan);
        QCOMPARE(IsPublicIPv4Address(address), isPublic);
    }

    void primaryAddressFollowsTheDefaultRoute() {
        const QByteArray table =
            "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
            "wlan0\t00000000\t0102A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
            "eth0\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
            "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
        QCOMPARE(DefaultRouteInterface(table), u"eth0"_s); // the lowest metric
        QCOMPARE(DefaultRouteInterface(table.left(table.indexOf("wlan0"))), QString());
        const QHostAddress primary(PrimaryIPv4Address());
        QVERIFY(PrimaryIPv4Address().isEmpty() ||
                (primary.protocol() == QHostAddress::IPv4Protocol && !primary.isLoopback()));
    }

    void lookupOnALan_data() {
        QTest::addColumn<Blocks>("blocks");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("outcome"); // the address found, or the failure's log line
        const auto page = &StandInPage::HttpPage;
        const QString failed = u"1 Failed to find public IP address:"_s;
        const QString notPublic = failed + u"Not a public IPv4 address: "_s;
        // clang-format off
        AddLookupRow("marker", {page("<script>displaycopy('203.0.113.77');</script>")}, u"203.0.113.77"_s);
        AddLookupRow("plain page", {page("<html><body>Current IP Address: 81.2.3.4</body></html>")}, u"81.2.3.4"_s);
        AddLookupRow("address cut over two later blocks", {"HTTP/1.0 200 OK\r\n\r\n<html>", "Current IP Address: 81.2", ".3.4</html>"}, u"81.2.3.4"_s);
        AddLookupRow("marker in a later block", {page("<html>"), "displa", "ycopy('81.2.3.4')"}, u"81.2.3.4"_s);
        AddLookupRow("marker wins over an earlier address", {page("Proxy 81.9.9.9 says displaycopy('81.2.3.4')")}, u"81.2.3.4"_s);
        AddLookupRow("headers are not the body", {"HTTP/1.0 200 OK\r\nVia: 81.9.9.9\r\n\r\nCurrent IP Address: 81.2.3.4"}, u"81.2.3.4"_s);
        AddLookupRow("empty answer", {}, u"1 Failed to find public IP address."_s);
        AddLookupRow("refused connection", {}, failed + u"Connection refused"_s, Refuses);
        AddLookupRow("never answers", {}, failed + u"No answer within 0.5 seconds"_s, NeverAnswers);
        AddLookupRow("private address", {page("Current IP Address: 192.168.1.20")}, notPublic + u"192.168.1.20"_s);
        AddLookupRow("not an address after the marker", {page("displaycopy('<b>81.2.3.4</b>')")}, notPublic + u"<b>81.2.3.4</b>"_s);
        AddLookupRow("out-of-range numbers", {page("Current IP Address: 999.2.3.4")}, notPublic + u"999.2.3.4"_s);
        AddLookupRow("control characters after the marker", {page("displaycopy('1.2\r\n\x1b[2J')")}, notPublic + u"1.2\\r\\n\\x1b[2J"_s);
        AddLookupRow("no address at all", {page("Service unavailable")}, failed + u"The answer holds no IPv4 address"_s);
        // Ends by its size, long before its time limit.
        AddLookupRow("64 KiB without an address and without end", {page(QByteArray(qsizetype{40} * 1024, 'x')), QByteArray(qsizetype{40} * 1024, 'y')},
                     failed + u"The answer holds no IPv4 address"_s, NeverAnswers);
        // clang-format on
    }

    void lookupOnALan() {
        QFETCH(Blocks, blocks);
        QFETCH(int, kind);
        QFETCH(QString, outcome);
        StandInPage page;
        QVERIFY(page.ListenOnLoopback());
        page.SetAnswer(blocks, kind == Closes);
        const quint16 port = kind == Refuses ? PocketlaneProcess::FreePort() : page.Port();
        const QString url = u"http://127.0.0.1:%1"_s.arg(port);
        StatusLog log;
        log.setExtendedLoggingSwitch([] { return true; });
        const int timeLimitMs = kind == NeverAnswers && blocks.isEmpty() ? 500 : 60000;
        Reachability reachability(log, WithoutUpnp(port, u"192.168.1.20"_s, timeLimitMs));
        reachability.StartUp(8080);
        using State = Reachability::AddressState;
        QCOMPARE(reachability.AddressShown(), State::Locating);
        QTRY_VERIFY_WITH_TIMEOUT(reachability.AddressShown() != State::Locating, 20000);

        const QByteArray request =
            "GET " + url.toLatin1() + " HTTP/1.0\r\nAccept: */*\r\nAccept: text/html\r\n\r\n\r\n";
        QTRY_COMPARE(page.Requests().value(0), kind == Refuses ? QByteArray() : request);
        const bool found = !outcome.startsWith(u"1 "_s);
        const QString start = u"3 Removing existing port forwards (if any)...\n"
                              "1 Failed to remove Port Forwarding. You are missing HNetCfg.\n"
                              "2 You are running on a LAN. Attempting to determine public IP.\n"_s;
        const QString add = u"\n3 Setting up port forward...\n"
                            "1 Failed to setup Port Forwarding. You are missing HNetCfg."_s;
        QTRY_COMPARE(LogText(log),
                     start + (found ? u"2 Found public IP address:"_s + outcome + add : outcome));
        QCOMPARE(reachability.AddressShown(), found ? State::Found : State::Failed);
        QCOMPARE(reachability.Address(), found ? outcome : QString());
        QCOMPARE(reachability.LookupPage(), QUrl(url));
        // The site from the internet through the router's port 80, on this network at the
        // port served.
        QCOMPARE(
            reachability.SiteUrls(),
            (Reachability::SiteAddresses{QUrl(u"http://192.168.1.20:8080/"_s),
                                         found ? QUrl(u"http://"_s + outcome + u'/') : QUrl()}));

        // The setup check: the answers link to help; it runs once at a time and logs nothing.
        const qsizetype logged = log.lines().size();
        reachability.Answers().SetCaption(SetupAnswers::PortForwardedAnswer, u"Yes"_s);
        QSignalSpy checked(&reachability, &Reachability::SetupChecked);
        reachability.CheckSetup();
        QVERIFY(reachability.IsCheckRunning());
        reachability.CheckSetup(); // ignored while the first runs
        QVERIFY(checked.wait());
        QVERIFY(!reachability.IsCheckRunning());
        // The router's steps end in the order asked: had the ignored check run, its end
        // would come before the end of this next one.
        reachability.CheckSetup();
        QVERIFY(checked.wait());
        QCOMPARE(checked.count(), 2);
        const QString publicAnswer =
            found ? u"Yes : "_s + outcome
                  : u"No : Failed to determine "
                    "(http://www.pocketlane.net/pocketlane/help.htm#failed_to_determine_ip)"_s;
        QCOMPARE(reachability.Answers().Lines().join(u'\n'),
                 uR"(Running on a LAN/behind a router? Yes
Have UPnP NAT software? No (http://www.pocketlane.net/Pocketlane/help.htm#missing_upnp_software)
Can perform Port Forwarding? No (http://www.pocketlane.net/Pocketlane/help.htm#manual_port_forward)
Appropriate port is forwarded? Yes
Have retrieved public IP address? %1
Have retrieved local IP address? Yes : 192.168.1.20)"_s.arg(publicAnswer)
                     .replace(u"http://www.pocketlane.net"_s,
                              SettingsPaths::MakerWebPage({}).toString()));
        QCOMPARE(log.lines().size(), logged);
    }

    void notOnALanNothingIsAskedAndTheLocalAddressIsThePublicOne() {
        StandInPage page;
        QVERIFY(page.ListenOnLoopback());
        StatusLog log;
        Reachability reachability(log, WithoutUpnp(page.Port(), u"81.2.3.4"_s, 500));
        QSignalSpy sites(&reachability, &Reachability::siteUrlsChanged);
        reachability.StartUp(80);
        QVERIFY(!reachability.RunningOnLan());
        QCOMPARE(reachability.AddressShown(), Reachability::AddressState::Local);
        QCOMPARE(reachability.Address(), u"81.2.3.4"_s);
        QCOMPARE(reachability.SiteUrls().lan, QUrl(u"http://81.2.3.4/"_s));
        reachability.SetServedPort(80);
        QCOMPARE(sites.count(), 1);
        // While the server is stopped no address leads to the site.
        reachability.SiteClosed();
        QCOMPARE(reachability.SiteUrls(), Reachability::SiteAddresses{});
        reachability.SetServedPort(80);
        QCOMPARE(reachability.SiteUrls().lan, QUrl(u"http://81.2.3.4/"_s));
        QCOMPARE(sites.count(), 3);
        SetupAnswers& answers = reachability.Answers();
        answers.SetAnswer(SetupAnswers::PortForwardingAnswer, u"No"_s, QUrl(u"http://help"_s));
        QSignalSpy checked(&reachability, &Reachability::SetupChecked);
        reachability.CheckSetup();
        QCOMPARE(checked.count(), 1);
        QCOMPARE(answers.Lines().join(u'\n'), uR"(Running on a LAN/behind a router? No
Have UPnP NAT software? Unknown
Can perform Port Forwarding? Not required
Appropriate port is forwarded? Not required
Have retrieved public IP address? Yes : 81.2.3.4
Have retrieved local IP address? Yes : 81.2.3.4)"_s);
        QVERIFY(answers.PhonesCanReach());
        // A PC on a LAN asks the same page afterwards: once it has its answer, a request of
        // the first (asked earlier, from the same thread) would have reached the page too.
        page.SetAnswer({StandInPage::HttpPage("Current IP Address: 81.2.3.4")});
        StatusLog lanLog;
        Reachability onLan(lanLog, WithoutUpnp(page.Port(), u"192.168.1.20"_s, 60000));
        onLan.StartUp(8080);
        QTRY_COMPARE(onLan.AddressShown(), Reachability::AddressState::Found);
        QCOMPARE(page.Requests().size(), 1);
        QVERIFY(log.lines().isEmpty());
        // With the gateway on, phones reach it here directly; what to type into one.
        reachability.SetGatewayForwarded(true);
        QCOMPARE(answers.Lines().mid(SetupAnswers::Count).join(u'\n'),
                 u"Can old WAP phones reach the gateway? Yes\nIn the phone's WAP settings: gateway "
                 "81.2.3.4, port 9201 (connection-oriented) or 9200 (connectionless), home page "
                 "http://81.2.3.4/"_s);
        reachability.SetGatewayForwarded(false);
        QCOMPARE(answers.Lines().size(), SetupAnswers::Count);

        // A reset: every answer "Unknown" without a link, the warning gone; each answer that
        // changes is announced once.
        answers.SetNatWarning(u"behind another NAT"_s);
        QSignalSpy changed(&answers, &QAbstractItemModel::dataChanged);
        reachability.ResetSetupAnswers();
        QCOMPARE(changed.count(), 5);
        QCOMPARE(answers.Lines().size(), SetupAnswers::Count);
        for (const QString& line : answers.Lines())
            QVERIFY2(line.endsWith(u"? Unknown"_s), qPrintable(line));
        QVERIFY(!answers.PhonesCanReach());
    }

    // The periodic check after the start-up's port forward writes the answers, though
    // nobody pressed "Check my Setup", and adds no log line of its own.
    void thePeriodicCheckRefreshesTheAnswers() {
        StandInPage page;
        QVERIFY(page.ListenOnLoopback());
        page.SetAnswer({StandInPage::HttpPage("Current IP Address: 81.2.3.4")});
        StatusLog log;
        Reachability::Options options = WithoutUpnp(page.Port(), u"192.168.1.20"_s, 60000);
        options.recheckMs = 10;
        Reachability reachability(log, options);
        reachability.StartUp(8080);
        QTRY_COMPARE(reachability.Answers().Caption(SetupAnswers::UpnpSoftwareAnswer), u"No"_s);
        QCOMPARE(reachability.Answers().Caption(SetupAnswers::PortForwardingAnswer), u"No"_s);
        QVERIFY(!reachability.Answers().PhonesCanReach());
        QCOMPARE(log.lines().size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestReachability)
#include "tst_reachability.moc"
