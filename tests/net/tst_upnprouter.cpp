// The program against a real home router: Debian's miniupnpd in network
// namespaces made by the test (tests/support/upnp-rig.sh), the program in the
// PC's namespace and a stand-in what-is-my-IP page in the WAN's.

#include "support/PocketlaneProcess.h"
#include "support/StandInPage.h"
#include "support/TestSupport.h"
#include "support/UpnpRig.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

constexpr quint16 ServedPort = 8080;
constexpr quint16 PagePort = 8081;
constexpr int UpnpTimeoutMs = 30000;
const QString RouterAddress = QStringLiteral("11.22.33.44");
const QByteArray OurMapping = "TCP    80->192.168.77.20:8080  'Pocketlane'";

// The program inside the PC namespace with extended logging on.
class PcProgram {
public:
    explicit PcProgram(UpnpRig& rig)
        : m_rig(rig) {
        m_settings = m_home.ConfigDir() + QStringLiteral("/settings.reg");
        PocketlaneProcess::RunToEnd({QStringLiteral("--settings"), m_settings,
                                     QStringLiteral("--set"), QStringLiteral("ExtendedLogging=Y")},
                                    m_home.Environment());
        m_process.setProcessEnvironment(m_home.Environment());
    }
    ~PcProgram() { Stop(); }

    QStringList Arguments(const QString& pageUrl, const QStringList& extra) const {
        return QStringList{QStringLiteral("--settings"),      m_settings,
                           QStringLiteral("--port"),          QString::number(ServedPort),
                           QStringLiteral("--public-ip-url"), pageUrl} +
               extra;
    }

    void Start(const QString& pageUrl, const QStringList& extra = {}) {
        const QStringList command =
            m_rig.InPc(TestSupport::programPath(),
                       Arguments(pageUrl, QStringList{QStringLiteral("--headless")} + extra));
        m_process.start(command.first(), command.mid(1));
        m_process.waitForStarted();
    }

    // The setup check's lines.
    QByteArray CheckSetup(const QString& pageUrl) {
        const QStringList command = m_rig.InPc(
            TestSupport::programPath(), Arguments(pageUrl, {QStringLiteral("--check-setup")}));
        QProcess check;
        check.setProcessEnvironment(m_home.Environment());
        check.start(command.first(), command.mid(1));
        // The stand-in page answers from this event loop meanwhile.
        if (!QTest::qWaitFor([&] { return check.state() == QProcess::NotRunning; }, UpnpTimeoutMs))
            check.kill();
        return check.readAllStandardOutput();
    }

    QByteArray Log() {
        m_log += m_process.readAllStandardError();
        return m_log;
    }
    bool WaitFor(const QByteArray& text, int count = 1) {
        return QTest::qWaitFor([&] { return Log().count(text) >= count; }, UpnpTimeoutMs);
    }
    // The log's messages, without their dates.
    QList<QByteArray> Messages() {
        QList<QByteArray> messages;
        for (const QByteArray& line : Log().split('\n'))
            if (line.indexOf(' ') > 0)
                messages.append(line.mid(line.indexOf(' ') + 1));
        return messages;
    }
    void Stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(UpnpTimeoutMs))
            m_process.kill();
        m_process.waitForFinished();
        Log();
    }

private:
    UpnpRig& m_rig;
    PocketlaneProcess m_home;
    QString m_settings;
    QProcess m_process;
    QByteArray m_log;
};

// Whether `lines` holds `expected` in this order (other lines may come
// between).
bool InOrder(const QList<QByteArray>& lines, const QList<QByteArray>& expected) {
    qsizetype next = 0;
    for (const QByteArray& line : lines)
        if (next < expected.size() && line == expected.at(next))
            ++next;
    return next == expected.size();
}

QString Lines(const QList<QByteArray>& lines) {
    return QString::fromLatin1(lines.join('\n'));
}

} // namespace

class TestUpnpRouter : public QObject {
    Q_OBJECT
    std::unique_ptr<UpnpRig> m_rig;
    std::unique_ptr<StandInPage> m_page;

    // A router with empty mapping tables and the knobs given, and the page
    // answering with `publicAddress`.
    void freshRouter(const QMap<QString, QString>& knobs = {},
                     const QString& publicAddress = RouterAddress) {
        QVERIFY2(m_rig->Up(knobs), m_rig->Output().constData());
        QVERIFY2(m_rig->Command(QStringLiteral("restart-daemon")), m_rig->Output().constData());
        m_page = std::make_unique<StandInPage>();
        const qintptr listener = ListenInNamespace(m_rig->WanNamespace(),
                                                   QHostAddress(m_rig->WanPeerAddress()), PagePort);
        QVERIFY(listener >= 0 && m_page->ListenOnDescriptor(listener));
        m_page->SetAnswer({StandInPage::HttpPage(
            "<html>Current IP Address: " + publicAddress.toLatin1() + "</html>")});
    }
    QString pageUrl() const {
        return QStringLiteral("http://%1:%2").arg(m_rig->WanPeerAddress()).arg(PagePort);
    }

private Q_SLOTS:
    void initTestCase() {
        const QString skip = UpnpRig::SkipReason();
        if (!skip.isEmpty())
            QSKIP(qPrintable(skip));
        m_rig = std::make_unique<UpnpRig>(
            QStringLiteral("pln%1").arg(QCoreApplication::applicationPid()));
    }
    void cleanupTestCase() {
        m_page.reset();
        m_rig.reset();
    }

    void everyStartRemovesTheMappingAndAddsItAgain() {
        freshRouter();
        const QList<QByteArray> startUp{
            "3 Removing existing port forwards (if any)...",
            "3 Port forward successfully removed.",
            "2 You are running on a LAN. Attempting to determine public IP.",
            "2 Found public IP address:11.22.33.44",
            "3 Setting up port forward...",
            "3 Port forward successfully setup."};
        for (int start = 1; start <= 2; ++start) {
            PcProgram program(*m_rig);
            program.Start(pageUrl());
            QVERIFY2(program.WaitFor("Port forward successfully setup."),
                     program.Log().constData());
            QVERIFY2(InOrder(program.Messages(), startUp), qPrintable(Lines(program.Messages())));
            QVERIFY(!program.Log().contains("another NAT"));
            QVERIFY(m_rig->ListMappings().contains(OurMapping));
            program.Stop();
            // The mapping stays on the router after the program ends.
            QVERIFY(m_rig->ListMappings().contains(OurMapping));
        }
        QCOMPARE(m_page->Requests().size(), 2);
        QCOMPARE(m_page->Requests().at(0),
                 "GET " + pageUrl().toLatin1() +
                     " HTTP/1.0\r\nAccept: */*\r\nAccept: text/html\r\n\r\n\r\n");
    }

    void setupCheckAnswersFromTheRouter() {
        freshRouter({{QStringLiteral("RIG_SECURE"), QStringLiteral("no")}});
        PcProgram program(*m_rig);
        const QByteArray help = "http://www.pocketlane.net/Pocketlane/help.htm#";
        QByteArray check = program.CheckSetup(pageUrl());
        QVERIFY2(
            check.contains("Appropriate port is forwarded? No (" + help + "manual_port_forward)\n"),
            check.constData());
        QCOMPARE(check, "Running on a LAN/behind a router? Yes\n"
                        "Have UPnP NAT software? Yes\n"
                        "Can perform Port Forwarding? Yes\n"
                        "Appropriate port is forwarded? No (" +
                            help +
                            "manual_port_forward)\n"
                            "Have retrieved public IP address? Yes : 11.22.33.44\n"
                            "Have retrieved local IP address? Yes : 192.168.77.20\n");

        QVERIFY(m_rig->AddMapping(80, QStringLiteral("192.168.77.30"), ServedPort));
        check = program.CheckSetup(pageUrl());
        QVERIFY2(check.contains("Appropriate port is forwarded? Incorrect (" + help +
                                "port_forward_wrong_machine)\n"),
                 check.constData());

        // Mappings of other ports do not matter.
        QVERIFY(m_rig->Command(QStringLiteral("restart-daemon")));
        QVERIFY(m_rig->AddMapping(8443, QStringLiteral("192.168.77.30"), 443));
        QVERIFY(m_rig->AddMapping(80, QString::fromLatin1(UpnpRig::PcAddress), ServedPort));
        check = program.CheckSetup(pageUrl());
        QVERIFY2(check.contains("Appropriate port is forwarded? Yes\n"), check.constData());

        QVERIFY(m_rig->Command(QStringLiteral("stop-daemon")));
        check = program.CheckSetup(pageUrl());
        QVERIFY2(check.contains("Have UPnP NAT software? Yes\n"
                                "Can perform Port Forwarding? Disabled/Unsupported (" +
                                help +
                                "port_mapping_problems)\n"
                                "Appropriate port is forwarded? Unknown\n"),
                 check.constData());
    }

    void routerWithoutUpnpGivesTheNoCollectionLines() {
        freshRouter();
        QVERIFY(m_rig->Command(QStringLiteral("stop-daemon")));
        PcProgram program(*m_rig);
        program.Start(pageUrl());
        QVERIFY2(program.WaitFor("Failed to setup Port Forwarding."), program.Log().constData());
        QVERIFY2(InOrder(program.Messages(),
                         {"2 No ports are currently forwarded, or your router does not support "
                          "UPnP.",
                          "2 You are running on a LAN. Attempting to determine public IP.",
                          "2 Found public IP address:11.22.33.44", "3 Setting up port forward...",
                          "1 Failed to setup Port Forwarding. UPnP is not supported or disabled."}),
                 qPrintable(Lines(program.Messages())));
    }

    void routerThatRefusesPort80GivesTheRefusedAddLine() {
        freshRouter({{QStringLiteral("RIG_ALLOW"), QStringLiteral("1024-65535")}});
        PcProgram program(*m_rig);
        program.Start(pageUrl());
        QVERIFY2(program.WaitFor("Failed to setup Port Forwarding."), program.Log().constData());
        QVERIFY(program.Messages().contains(
            "1 Failed to setup Port Forwarding. UPnP is not supported or disabled."));
        QVERIFY(!m_rig->ListMappings().contains(OurMapping));
    }

    void routerBehindAnotherNatIsReported() {
        // The page sees the carrier's address, the router has one of its own.
        freshRouter({{QStringLiteral("RIG_WAN_IP"), QStringLiteral("203.0.113.2")}},
                    QStringLiteral("198.51.100.7"));
        PcProgram program(*m_rig);
        program.Start(pageUrl());
        QVERIFY2(program.WaitFor("another NAT"), program.Log().constData());
        // miniupnpd keeps a reserved address of its own to itself.
        const QByteArray warning =
            "Your router has no public internet address of its own: the router sits behind "
            "another NAT (double NAT or carrier-grade NAT), so phones on the internet cannot "
            "reach this PC even with the port forwarded.";
        QVERIFY(program.Messages().contains("1 " + warning));
        program.Stop();
        const QByteArray check = program.CheckSetup(pageUrl());
        QVERIFY2(check.endsWith("\n" + warning + "\n"), check.constData());
    }

    void lostMappingIsAddedAgainByThePeriodicCheck() {
        freshRouter();
        PcProgram program(*m_rig);
        program.Start(pageUrl(), {QStringLiteral("--upnp-recheck"), QStringLiteral("3")});
        QVERIFY2(program.WaitFor("Port forward successfully setup."), program.Log().constData());
        // A router reboot: it comes back with empty tables. The check adds
        // the mapping again only when it finds it missing, with the lines of
        // the start-up's add.
        QVERIFY(m_rig->Command(QStringLiteral("restart-daemon")));
        QVERIFY2(program.WaitFor("Port forward successfully setup.", 2), program.Log().constData());
        QVERIFY(m_rig->ListMappings().contains(OurMapping));
        QCOMPARE(program.Log().count("Setting up port forward..."), 2);
    }

    // The UPnP calls wait on a router whose web service hangs; meanwhile
    // phones are answered at once.
    void phonesAreAnsweredWhileTheRouterHangs() {
        freshRouter();
        QVERIFY2(m_rig->StallWebService(), m_rig->Output().constData());
        PcProgram program(*m_rig);
        program.Start(pageUrl());
        QVERIFY(program.WaitFor("Removing existing port forwards (if any)..."));
        QElapsedTimer inFlight;
        inFlight.start();
        qint64 slowestMs = 0;
        int answered = 0;
        while (inFlight.elapsed() < 4000) {
            RunInNamespace(m_rig->PcNamespace(), [&] {
                QElapsedTimer request;
                request.start();
                QTcpSocket phone;
                phone.connectToHost(QHostAddress::LocalHost, ServedPort);
                if (phone.waitForConnected(5000)) {
                    phone.write("GET / HTTP/1.1\r\nHost: pc\r\n\r\n");
                    if (phone.waitForReadyRead(5000))
                        ++answered;
                }
                slowestMs = std::max(slowestMs, request.elapsed());
            });
            QTest::qWait(50);
        }
        // The removal is still waiting on the router.
        QVERIFY2(!program.Log().contains("Port Forwarding") &&
                     !program.Log().contains("Port forward successfully"),
                 program.Log().constData());
        qInfo("%d requests answered while UPnP waited 4 s on the router; slowest %lld ms", answered,
              slowestMs);
        QVERIFY(answered >= 20);
        QVERIFY2(slowestMs < 1000, qPrintable(QString::number(slowestMs)));
        QVERIFY(m_rig->Unstall());
    }
};

QTEST_GUILESS_MAIN(TestUpnpRouter)
#include "tst_upnprouter.moc"
