// The program against a real home router: Debian's miniupnpd in network
// namespaces made by the test (tests/support/upnp-rig.sh), the program and a
// stand-in what-is-my-IP page in the PC's namespace.

#include "net/GatewaySupervisor.h"
#include "settings/SettingsPaths.h"
#include "support/PocketlaneProcess.h"
#include "support/StandInPage.h"
#include "support/UpnpRig.h"
#include "support/WspClient.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Knobs = QMap<QString, QString>;
constexpr int UpnpTimeoutMs = 30000;
const QByteArray OurMapping = "TCP    80->192.168.77.20:8080  'Pocketlane'";
// The shipped help pages, as the setup check links them.
QByteArray Help() {
    return SettingsPaths::MakerWebPage(u"/Pocketlane/help.htm#"_s).toEncoded();
}
const QByteArray DoubleNat =
    "Your router has no public internet address of its own: the router sits behind another NAT "
    "(double NAT or carrier-grade NAT), so phones on the internet cannot reach this PC even with "
    "the port forwarded.";

// Whether the log holds these messages in this order (others may come between).
bool InOrder(const QByteArray& log, const QList<QByteArray>& messages) {
    qsizetype at = 0;
    for (const QByteArray& message : messages)
        if ((at = log.indexOf(' ' + message + '\n', at)) < 0)
            return false;
    return true;
}

} // namespace

class TestUpnpRouter : public QObject {
    Q_OBJECT
    std::unique_ptr<UpnpRig> m_rig;
    std::unique_ptr<StandInPage> m_page;
    std::unique_ptr<PocketlaneProcess> m_program;
    QStringList m_options; // the program's port and where it looks its address up

    // A router with empty mapping tables and the knobs given, the page
    // answering with `publicAddress`, and a program with extended logging.
    void freshRouter(const Knobs& knobs = {}, const QByteArray& publicAddress = "11.22.33.44") {
        QVERIFY2(m_rig->Up(knobs), m_rig->Output().constData());
        QVERIFY2(m_rig->Run({u"restart-daemon"_s}), m_rig->Output().constData());
        m_page = std::make_unique<StandInPage>();
        QVERIFY(m_page->ListenOnDescriptor(ListenOnLoopbackIn(m_rig->PcNamespace())));
        m_page->SetAnswer({StandInPage::HttpPage("Current IP Address: " + publicAddress)});
        m_options = {u"--port"_s, u"8080"_s, u"--public-ip-url"_s,
                     u"http://127.0.0.1:%1"_s.arg(m_page->Port())};
        m_program = std::make_unique<PocketlaneProcess>();
        QCOMPARE(run({u"--set"_s, u"ExtendedLogging=Y"_s}).exitCode, 0);
    }
    void start(const QStringList& extra = {}) {
        m_program->Launch(m_options + QStringList{u"--headless"_s} + extra, m_rig->InPc());
    }
    bool waitFor(const QByteArray& text, int count = 1) {
        return QTest::qWaitFor([&] { return m_program->StandardError().count(text) >= count; },
                               UpnpTimeoutMs);
    }
    // A run of the program to its end in the PC; the page answers meanwhile.
    PocketlaneProcess::Run run(const QStringList& arguments) {
        return PocketlaneProcess::RunToEnd(arguments, m_program->Environment(), m_rig->InPc());
    }
    QByteArray checkSetup() { return run(m_options + QStringList{u"--check-setup"_s}).out; }
    QByteArray mappings() {
        return m_rig->Run({u"run"_s, u"upnpc"_s, u"-l"_s}) ? m_rig->Output() : QByteArray();
    }
    bool addMapping(const QString& internalPort, const QString& externalPort,
                    const QString& protocol = u"TCP"_s) {
        return m_rig->Run({u"run"_s, u"upnpc"_s, u"-a"_s, u"192.168.77.30"_s, internalPort,
                           externalPort, protocol});
    }

private Q_SLOTS:
    void initTestCase() {
        if (const QString skip = UpnpRig::SkipReason(); !skip.isEmpty())
            QSKIP(qPrintable(skip));
        m_rig = std::make_unique<UpnpRig>(u"pln%1"_s.arg(QCoreApplication::applicationPid()));
    }
    void cleanup() { m_program.reset(); }
    void cleanupTestCase() {
        m_page.reset();
        m_rig.reset();
    }

    // A mapping of port 80 to another machine, and one of another port first
    // in the router's order; two starts, a router reboot in the second.
    void everyStartRemovesTheMappingAndAddsItAgain() {
        freshRouter({{u"RIG_SECURE"_s, u"no"_s}});
        QVERIFY(addMapping(u"443"_s, u"8443"_s) && addMapping(u"8080"_s, u"80"_s));
        QByteArray check = checkSetup();
        QVERIFY2(check.contains("Appropriate port is forwarded? Incorrect (" + Help() +
                                "port_forward_wrong_machine)\n"),
                 check.constData());
        for (int run = 1; run <= 2; ++run) {
            start({u"--upnp-recheck"_s, u"3"_s});
            QVERIFY2(waitFor("Port forward successfully setup."), m_program->StandardError());
            QVERIFY2(
                InOrder(m_program->StandardError(),
                        {"3 Removing existing port forwards (if any)...",
                         "3 Port forward successfully removed.",
                         "2 You are running on a LAN. Attempting to determine public IP.",
                         "2 Found public IP address:11.22.33.44", "3 Setting up port forward...",
                         "3 Port forward successfully setup."}),
                m_program->StandardError());
            QVERIFY(!m_program->StandardError().contains("another NAT"));
            QVERIFY(mappings().contains(OurMapping));
            if (run == 2) {
                // A router reboot: it comes back with empty tables. The periodic check adds
                // the mapping again only when it finds it missing, with the start-up's lines.
                QVERIFY(m_rig->Run({u"restart-daemon"_s}));
                QVERIFY2(waitFor("Port forward successfully setup.", 2),
                         m_program->StandardError());
                QCOMPARE(m_program->StandardError().count("Setting up port forward..."), 2);
            }
            m_program->Stop();
            // Where the site is reached: printed at start, and once the lookup found it.
            QCOMPARE(m_program->StandardOutput(),
                     "Site on your network: http://192.168.77.20:8080/\n"
                     "Site from the internet: http://11.22.33.44/\n");
            QVERIFY(mappings().contains(OurMapping)); // it outlives the program
            check = checkSetup();
            QVERIFY2(check.contains("Appropriate port is forwarded? Yes\n"), check.constData());
        }
        // Without --port the check judges the port the owner set.
        const QStringList withoutPort = m_options.mid(2) + QStringList{u"--check-setup"_s};
        QVERIFY(run(withoutPort).out.contains("Appropriate port is forwarded? Incorrect"));
        QCOMPARE(run({u"--set"_s, u"Port=8080"_s}).exitCode, 0);
        check = run(withoutPort).out;
        QVERIFY2(check.contains("Appropriate port is forwarded? Yes\n"), check.constData());
    }

    // A router away at start-up gets the mapping when it comes; its leaving is logged once.
    // The setup check finds this PC's mapping wherever the router lists it, and its exit
    // code says whether phones reach the PC.
    void theRouterIsFollowedWhenItComesAndGoes() {
        freshRouter({{u"RIG_SECURE"_s, u"no"_s}});
        QVERIFY(m_rig->Run({u"stop-daemon"_s}));
        start({u"--upnp-recheck"_s, u"1"_s});
        QVERIFY2(waitFor("Failed to setup Port Forwarding. UPnP is not supported or disabled."),
                 m_program->StandardError());
        QCOMPARE(run(m_options + QStringList{u"--check-setup"_s}).exitCode, 1);
        QVERIFY(m_rig->Run({u"restart-daemon"_s}));
        QVERIFY2(waitFor("Port forward successfully setup."), m_program->StandardError());
        // Another machine's mapping of port 80, listed after ours once ours comes back.
        QVERIFY(addMapping(u"80"_s, u"80"_s, u"UDP"_s));
        QVERIFY(m_rig->Run({u"run"_s, u"upnpc"_s, u"-d"_s, u"80"_s, u"TCP"_s}));
        QVERIFY2(waitFor("Port forward successfully setup.", 2), m_program->StandardError());
        const QByteArray listed = mappings();
        QVERIFY2(listed.indexOf("UDP    80->192.168.77.30:80") > listed.indexOf(OurMapping),
                 listed.constData());
        const PocketlaneProcess::Run check = run(m_options + QStringList{u"--check-setup"_s});
        QVERIFY2(check.out.contains("Appropriate port is forwarded? Yes\n"), check.out.constData());
        QCOMPARE(check.exitCode, 0);

        const QByteArray gone = "1 The router no longer answers UPnP requests; the port forward "
                                "is set up again when it does.";
        QVERIFY(m_rig->Run({u"stop-daemon"_s}));
        QVERIFY2(waitFor(gone), m_program->StandardError());
        QVERIFY(m_rig->Run({u"restart-daemon"_s}));
        QVERIFY2(waitFor("Port forward successfully setup.", 3), m_program->StandardError());
        QCOMPARE(m_program->StandardError().count(gone), 1);
        // The router found after its reboot serves every later check without a new discovery.
        QVERIFY(QTest::qWaitFor(
            [&] { return m_rig->Run({u"log"_s}) && m_rig->Output().count("80 TCP found") >= 3; },
            UpnpTimeoutMs));
        QCOMPARE(m_rig->Output().count("GET /rootDesc.xml"), 1);
    }

    // Start-ups that cannot forward the port, and what the setup check says then.
    void failedPortForward_data() {
        QTest::addColumn<Knobs>("knobs");
        QTest::addColumn<bool>("upnpStopped");
        QTest::addColumn<QByteArray>("publicAddress");
        QTest::addColumn<QList<QByteArray>>("log");
        QTest::addColumn<QByteArray>("check"); // its end
        // clang-format off
        const QByteArray refused = "1 Failed to setup Port Forwarding. UPnP is not supported or disabled.";
        const QByteArray tail = "Have retrieved public IP address? Yes : 11.22.33.44\nHave retrieved local IP address? Yes : 192.168.77.20\n";
        QTest::newRow("UPnP stopped") << Knobs{} << true << QByteArray("11.22.33.44")
            << QList<QByteArray>{"2 No ports are currently forwarded, or your router does not support UPnP.",
                                 "2 You are running on a LAN. Attempting to determine public IP.",
                                 "2 Found public IP address:11.22.33.44", "3 Setting up port forward...", refused}
            << "Have UPnP NAT software? Yes\nCan perform Port Forwarding? Disabled/Unsupported (" + Help() +
                   "port_mapping_problems)\nAppropriate port is forwarded? Unknown\n" + tail;
        QTest::newRow("port 80 refused") << Knobs{{u"RIG_ALLOW"_s, u"1024-65535"_s}} << false << QByteArray("11.22.33.44")
            << QList<QByteArray>{"3 Setting up port forward...", refused}
            << "Running on a LAN/behind a router? Yes\nHave UPnP NAT software? Yes\nCan perform Port Forwarding? Yes\n"
               "Appropriate port is forwarded? No (" + Help() + "manual_port_forward)\n" + tail;
        // The page sees the carrier's address; miniupnpd keeps its reserved one to itself.
        QTest::newRow("router behind another NAT") << Knobs{{u"RIG_WAN_IP"_s, u"203.0.113.2"_s}} << false
            << QByteArray("198.51.100.7") << QList<QByteArray>{"2 Found public IP address:198.51.100.7", "1 " + DoubleNat}
            << "\n" + DoubleNat + "\n";
        // clang-format on
    }
    void failedPortForward() {
        QFETCH(Knobs, knobs);
        QFETCH(bool, upnpStopped);
        QFETCH(QByteArray, publicAddress);
        QFETCH(QList<QByteArray>, log);
        QFETCH(QByteArray, check);
        freshRouter(knobs, publicAddress);
        if (upnpStopped)
            QVERIFY(m_rig->Run({u"stop-daemon"_s}));
        start();
        QVERIFY2(waitFor(log.last()), m_program->StandardError());
        QVERIFY2(InOrder(m_program->StandardError(), log), m_program->StandardError());
        QVERIFY(!mappings().contains(OurMapping));
        m_program->Stop();
        const QByteArray answers = checkSetup();
        QVERIFY2(answers.endsWith(check), answers.constData());
    }

    // With the gateway on, the router also forwards UDP 9200 and 9201 to this
    // PC: a phone on the internet side reaches the site through them, and a
    // rebooted router gets them back with the TCP port.
    void theGatewaysPortsAreForwarded() {
        if (!GatewaySupervisor::KannelInstalled())
            QSKIP("needs Kannel (apt install kannel)");
        freshRouter({{u"RIG_SECURE"_s, u"no"_s}});
        QCOMPARE(run({u"--set"_s, u"EnableGateway=Y"_s}).exitCode, 0);
        start({u"--upnp-recheck"_s, u"1"_s});
        QVERIFY2(waitFor("Port forward successfully setup.") && waitFor("The WAP gateway runs."),
                 m_program->StandardError());
        const QList<QByteArray> ours{OurMapping, "UDP  9200->192.168.77.20:9200  'Pocketlane'",
                                     "UDP  9201->192.168.77.20:9201  'Pocketlane'"};
        const auto allMapped = [&] {
            const QByteArray listed = mappings();
            return std::all_of(ours.begin(), ours.end(),
                               [&](const QByteArray& line) { return listed.contains(line); });
        };
        QVERIFY2(allMapped(), mappings().constData());
        const QByteArray check = checkSetup();
        QVERIFY2(check.contains("Can old WAP phones reach the gateway? Yes\nIn the phone's WAP "
                                "settings: gateway 11.22.33.44 (192.168.77.20 for a phone on your "
                                "home Wi-Fi), port 9201"),
                 check.constData());
        WspReply welcome;
        QVERIFY(RunInNamespace(m_rig->WanNamespace(), [&] {
            WspClient phone(QHostAddress(u"11.22.33.44"_s), QHostAddress(u"11.22.33.1"_s));
            phone.setAcceptedTypes({"application/vnd.wap.wmlc"});
            welcome = phone.get("http://11.22.33.44/");
        }));
        QVERIFY2(welcome.error.isEmpty() && welcome.status == 0x20, qPrintable(welcome.error));
        QVERIFY(waitFor("New user logging in."));
        QVERIFY(m_rig->Run({u"restart-daemon"_s}));
        QVERIFY2(waitFor("Port forward successfully setup.", 2), m_program->StandardError());
        QVERIFY2(allMapped(), mappings().constData());
    }

    // The UPnP calls wait on a router whose web service drops every packet;
    // meanwhile phones are answered at once, one after the other.
    void phonesAreAnsweredWhileTheRouterHangs() {
        freshRouter();
        const QByteArray stall = "table inet stall { chain input { type filter hook input priority "
                                 "0; policy accept; tcp dport 5000 drop; }; }\n";
        QVERIFY2(m_rig->Run({u"router"_s, u"nft"_s, u"-f"_s, u"-"_s}, stall), m_rig->Output());
        start();
        QVERIFY(waitFor("Removing existing port forwards (if any)..."));
        QElapsedTimer stalled;
        stalled.start();
        qint64 slowestMs = 0;
        int answered = 0;
        for (int i = 0; i < 20; ++i)
            RunInNamespace(m_rig->PcNamespace(), [&] {
                QElapsedTimer request;
                request.start();
                QTcpSocket phone;
                phone.connectToHost(QHostAddress::LocalHost, 8080);
                answered += phone.waitForConnected(5000) &&
                            phone.write("GET / HTTP/1.1\r\nHost: pc\r\n\r\n") > 0 &&
                            phone.waitForReadyRead(5000);
                slowestMs = std::max(slowestMs, request.elapsed());
            });
        // The removal was asked before the first request and has no outcome in the log up to
        // the last request's line: every request was answered while it waited on the router.
        QVERIFY2(waitFor("New user logging in.", 20), m_program->StandardError());
        QVERIFY2(!m_program->StandardError().contains("Port Forwarding") &&
                     !m_program->StandardError().contains("Port forward successfully"),
                 m_program->StandardError());
        qInfo("%d requests answered in %lld ms while UPnP waited on the router; slowest %lld ms",
              answered, stalled.elapsed(), slowestMs);
        QCOMPARE(answered, 20);
        QVERIFY2(slowestMs < 1000, qPrintable(QString::number(slowestMs)));
        QVERIFY(
            m_rig->Run({u"router"_s, u"nft"_s, u"delete"_s, u"table"_s, u"inet"_s, u"stall"_s}));
    }
};

QTEST_GUILESS_MAIN(TestUpnpRouter)
#include "tst_upnprouter.moc"
