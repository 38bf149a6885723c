#include "site/mycomputer/LogindClient.h"
#include "site/mycomputer/basShutdown.h"
#include "support/PocketlaneProcess.h"
#include "support/SiteHarness.h"
#include "support/TestSupport.h"
#include "support/WmlValidation.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVirtualObject>
#include <QRegularExpression>
#include <QTest>

using namespace basShutdown;
using namespace Qt::StringLiterals;

namespace {
constexpr int ReplyWaitMs = 30000;

QString BusId(const QDBusConnection& bus) {
    return bus.isConnected() ? QDBusReply<QString>(bus.interface()->call(u"GetId"_s)).value()
                             : QString();
}

// A stand-in for systemd-logind that records every call and never does
// anything. Can... questions get privilegeAnswer, GetSession names the
// owner's session, a method in refusals gets AccessDenied, every other call
// succeeds.
class StandInLogind : public QDBusVirtualObject {
public:
    static inline const QString OwnSession = u"/org/freedesktop/login1/session/_32"_s;
    QString privilegeAnswer = u"yes"_s;
    QString refusal;
    QStringList calls; // "CanReboot()", "RebootWithFlags(t: 1)", "session Terminate()"

    explicit StandInLogind(const QString& address)
        : m_bus(QDBusConnection::connectToBus(address, u"logind"_s)) {
        m_bus.registerVirtualObject(Logind::ManagerPath, this, QDBusConnection::SubPath);
        m_bus.registerService(Logind::Service);
    }
    ~StandInLogind() override { QDBusConnection::disconnectFromBus(u"logind"_s); }

    // The calls of a granted request: 0 log off, 1 shut down, 2 reboot, 8 power off.
    static QStringList CallsFor(quint32 code, bool force) {
        if (code == 0)
            return {u"GetSession(s: auto)"_s, u"session Terminate()"_s};
        const QString verb = code == 1 ? u"Halt"_s : code == 2 ? u"Reboot"_s : u"PowerOff"_s;
        return {"Can"_L1 + verb + "()"_L1,
                verb + (force ? "WithFlags(t: 0)"_L1 : "WithFlags(t: 1)"_L1)};
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QStringList values;
        for (const QVariant& value : message.arguments())
            values << value.toString();
        const QString object = message.path() + u' ' + message.interface();
        calls << (object == Logind::ManagerPath + u' ' + Logind::ManagerInterface ? QString()
                  : object == OwnSession + u' ' + Logind::SessionInterface        ? u"session "_s
                                                                                  : object + u' ') +
                     message.member() + u'(' +
                     (values.isEmpty() ? QString() : message.signature() + ": "_L1) +
                     values.join(", "_L1) + u')';
        const QString method = message.member();
        connection.send(method == refusal
                            ? message.createErrorReply(u"org.freedesktop.DBus.Error.AccessDenied"_s,
                                                       u"Refused"_s)
                        : method.startsWith(u"Can") ? message.createReply(privilegeAnswer)
                        : method == u"GetSession"
                            ? message.createReply(QVariant::fromValue(QDBusObjectPath(OwnSession)))
                            : message.createReply());
        return true;
    }

private:
    QDBusConnection m_bus;
};

QByteArray MessageDeck(const QByteArray& message, const QByteArray& followUp) {
    return Card("Pocketlane", "Pocketlane", message + "<br/><br/>" + followUp);
}
QByteArray ClosingDeck(const QByteArray& label) {
    return MessageDeck("Attempting " + label + " now. Goodbye!",
                       "<b>Powered by Pocketlane</b><br/>");
}
const QByteArray MainMenuAnchor = "<a href=\"/?S=7\">[^] Main Menu</a>"; // 0, 1: the main menu

// A request that logind refuses, or that cannot reach it.
struct Refusal {
    quint32 code;
    const char *privilegeAnswer, *refusedMethod, *reason; // the reason is a pattern
    int callsMade;                                        // -1: logind absent, -2: no bus
};
// A My Computer action confirmed with "Yes", or with a password.
struct Action {
    const char* label;
    quint32 code;
    bool force, forceIfHung;
    const char *stored, *typed; // stored null: no password asked
    bool accepted;
};
} // namespace
Q_DECLARE_METATYPE(Refusal)
Q_DECLARE_METATYPE(Action)

class TestMyComputer : public QObject {
    Q_OBJECT

    const QString m_bus = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    QDBusConnection m_client = QDBusConnection::connectToBus(m_bus, u"client"_s);
    std::unique_ptr<StandInLogind> m_logind;
    std::unique_ptr<StatusLog> m_log;
    std::unique_ptr<SiteHarness> m_site;

    SiteHarness& h() { return *m_site; }

    // The outcome of ShutdownWindows, which reports later, from the event loop.
    ShutdownResult shutdownWindows(quint32 code, bool force, bool hung,
                                   const QDBusConnection& bus) {
        auto result = std::make_shared<std::optional<ShutdownResult>>();
        const auto keep = [result](const ShutdownResult& outcome) { *result = outcome; };
        ShutdownWindows(code, force, hung, m_log.get(), keep, bus);
        if (result->has_value())
            return {0, false, u"reported before returning"_s};
        (void)QTest::qWaitFor([&] { return result->has_value(); }, ReplyWaitMs);
        return result->value_or(ShutdownResult{0, false, u"no answer"_s});
    }

    QByteArray follow(const QByteArray& deck, const QByteArray& title) {
        const QByteArray link = SiteHarness::linkTitled(deck, title);
        return link.isEmpty() ? QByteArray("no link " + title) : h().deck(link);
    }
    QByteArray actionPage(const QByteArray& label) {
        return follow(follow(h().deck("/"), "My Computer"), label);
    }

    // A confirmed Reboot PC whose calls end the logind record: when the
    // record is exactly these calls afterwards, nothing was asked before.
    void verifyNothingAskedBefore() {
        h().settings.setSwitch(Settings::EnableMyComputerPassword, false);
        QCOMPARE(follow(actionPage("Reboot PC"), "Yes"), ClosingDeck("Reboot PC"));
        QTRY_COMPARE_WITH_TIMEOUT(m_logind->calls, StandInLogind::CallsFor(2, false), ReplyWaitMs);
    }

private Q_SLOTS:
    // The system bus is the test's own: the stand-in is the only logind in
    // reach. No test runs when this fails.
    void initTestCase() {
        QVERIFY(!BusId(m_client).isEmpty());
        QCOMPARE(BusId(QDBusConnection::systemBus()), BusId(m_client));
    }

    void init() {
        m_site.reset(); // the site's and the stand-in's connections go before new ones come
        m_logind.reset();
        m_log = std::make_unique<StatusLog>();
        m_logind = std::make_unique<StandInLogind>(m_bus);
        m_site = std::make_unique<SiteHarness>();
        h().myComputer.SetSessionEndBus(QDBusConnection::connectToBus(m_bus, u"site"_s).name());
        h().settings.setSwitch(Settings::EnableMyComputer, true);
        QVERIFY(h().open());
    }

    // A privilege answer other than "yes" asks for nothing more; a refusal,
    // a logind or a bus that is not there end the request with one error line.
    void refusalsAreReportedAndEndTheRequest_data() {
        QTest::addColumn<Refusal>("refusal");
        const char* privilege = "could not reboot the PC: .*\\(CanReboot answered \"%1\"\\)";
        // clang-format off
        const Refusal rows[] = {
            {2, "challenge", "", privilege, 1}, {2, "YES", "", privilege, 1},
            {0, "yes", "GetSession", "GetSession failed: Refused", 1},
            {0, "yes", "Terminate", "Terminate failed: Refused", 2},
            {8, "yes", "PowerOffWithFlags", "PowerOffWithFlags failed: Refused", 2},
            {3, "yes", "", "could not carry out action code 3", 0},
            {8, "yes", "", "org.freedesktop.DBus.Error.ServiceUnknown", -1},
            {8, "yes", "", "could not power off the PC: not connected to the bus", -2}};
        // clang-format on
        for (const Refusal& row : rows)
            QTest::addRow("%s %s", row.privilegeAnswer, row.reason) << row;
    }
    void refusalsAreReportedAndEndTheRequest() {
        QFETCH(Refusal, refusal);
        const QString answer = QString::fromLatin1(refusal.privilegeAnswer);
        m_logind->privilegeAnswer = answer;
        m_logind->refusal = QString::fromLatin1(refusal.refusedMethod);
        if (refusal.callsMade == -1)
            m_logind.reset();
        const QDBusConnection bus = refusal.callsMade == -2 ? QDBusConnection(QString()) : m_client;
        const ShutdownResult result = shutdownWindows(refusal.code, false, false, bus);
        QVERIFY(!result.done);
        const QRegularExpression reason(
            QString::fromLatin1(refusal.reason).replace("%1"_L1, answer));
        QVERIFY2(reason.match(result.logMessage).hasMatch(), qPrintable(result.logMessage));
        QCOMPARE(m_log->rowCount(), 1);
        QCOMPARE(m_log->lines().first().level, int(LogError));
        QCOMPARE(m_log->lines().first().message, result.logMessage);
        if (m_logind)
            QCOMPARE(m_logind->calls.size(), qMax(refusal.callsMade, 0));
    }

    // Menu, then the confirmation page; the unconfirmed link only asks again.
    // Links of a module switched off lead to the main menu. A refused
    // request is logged and nothing more is asked.
    void actionsAreConfirmedFirst() {
        const QByteArray menu = follow(h().deck("/"), "My Computer");
        QCOMPARE(menu, Card("mycomputer", "My Computer",
                            "<a href=\"/?S=2\">Logoff PC</a><br/><a href=\"/?S=3\">Poweroff PC</a>"
                            "<br/><a href=\"/?S=4\">Reboot PC</a><br/><a href=\"/?S=5\">Shutdown "
                            "PC</a><br/><a href=\"/?S=6\">Shutdown Pocketlane</a><br/><br/>" +
                                MainMenuAnchor));
        QVERIFY_VALID_WML(menu);
        const QByteArray confirmation = h().deck("/?S=4");
        QCOMPARE(confirmation, Card("mycomputer", "Reboot PC",
                                    "Are you sure you want to Reboot PC?<br/><br/>"
                                    "<a href=\"/?S=8\">Yes</a><br/><br/>" +
                                        MainMenuAnchor));
        QVERIFY_VALID_WML(confirmation);
        QCOMPARE(h().deck("/?S=4"), confirmation); // asking again hands out the same links
        h().settings.setSwitch(Settings::EnableMyComputerPassword, true);
        QVERIFY(h().deck("/?S=8").contains("Please enter your password to Reboot PC<br/>"));
        QVERIFY(h().temp.lines(LogNotice).filter(u"User requested"_s).isEmpty());
        // Links handed out before the owner turned the module off lead nowhere.
        h().settings.setSwitch(Settings::EnableMyComputer, false);
        for (const QByteArray& deck : {h().deck("/?S=1"), follow(confirmation, "Yes")})
            QVERIFY(deck.contains("<card id=\"MainMenu\"") && !deck.contains("My Computer"));
        QVERIFY(h().temp.lines(LogError).contains(
            u"User tried to Reboot PC, but My Computer is not enabled."_s));
        h().settings.setSwitch(Settings::EnableMyComputer, true);
        verifyNothingAskedBefore();
        // A refusal reaches the site's log after the closing page. The system
        // bus is the default; only a question is asked, so even a bus mix-up
        // could not reboot.
        m_logind->calls.clear();
        m_logind->privilegeAnswer = u"no"_s;
        QCOMPARE(follow(actionPage("Reboot PC"), "Yes"), ClosingDeck("Reboot PC"));
        QTRY_COMPARE_WITH_TIMEOUT(
            h().temp.lines(LogError).filter(u"ShutdownWindows - could not "_s).size(), 1,
            ReplyWaitMs);
        ShutdownWindows(EwxReboot, false, false, m_log.get());
        QTRY_COMPARE_WITH_TIMEOUT(m_log->rowCount(), 1, ReplyWaitMs);
        QCOMPARE(m_logind->calls, QStringList({u"CanReboot()"_s, u"CanReboot()"_s}));
    }

    // Each entry of the menu reaches its own logind request with the force
    // options of the settings; the password is sent URL-encoded, and a
    // wrong one reaches nothing.
    void confirmedActionsReachLogind_data() {
        QTest::addColumn<Action>("action");
        // clang-format off
        const Action rows[] = {
            {"Logoff PC", 0, true, false, nullptr, nullptr, true},
            {"Poweroff PC", 8, false, true, nullptr, nullptr, true},
            {"Reboot PC", 2, true, true, nullptr, nullptr, true},
            {"Shutdown PC", 1, false, false, nullptr, nullptr, true},
            {"Logoff PC", 0, false, false, "my pass", "my%20pass", true},
            {"Logoff PC", 0, false, false, "", "", true},
            {"Logoff PC", 0, false, false, "Secret", "Secret2", false},
            {"Logoff PC", 0, false, false, "Secret", "secret", false},
            {"Logoff PC", 0, false, false, "Secret", "", false}};
        // clang-format on
        for (const Action& row : rows)
            QTest::addRow("%s %s/%s", row.label, row.stored ? row.stored : "-",
                          row.typed ? row.typed : "-")
                << row;
    }
    void confirmedActionsReachLogind() {
        QFETCH(Action, action);
        h().settings.setSwitch(Settings::Force, action.force);
        h().settings.setSwitch(Settings::ForceIfHung, action.forceIfHung);
        h().settings.setSwitch(Settings::EnableMyComputerPassword, action.stored);
        h().settings.setText(Settings::MyComputerPassword, action.stored);
        const QByteArray page = actionPage(action.label);
        if (action.stored)
            QCOMPARE(page, Card("mycomputer", "Logoff PC",
                                "Please enter your password to Logoff PC<br/><br/><input "
                                "name=\"P\"/><br/><a href=\"/?S=2&amp;P=$(P)\">Logoff PC</a>"
                                "<br/><br/>" +
                                    MainMenuAnchor));
        const QByteArray answer =
            action.stored
                ? h().deck(SiteHarness::linkTitled(page, action.label).chopped(4) + action.typed)
                : follow(page, "Yes");
        QVERIFY_VALID_WML(answer);
        if (!action.accepted) {
            QCOMPARE(answer,
                     MessageDeck("The password you supplied was incorrect. Logoff PC disallowed.",
                                 "<anchor>Main Menu<go href=\"/?S=7\"/></anchor>"));
            QVERIFY(h().temp.lines(LogError).contains(
                u"User tried to Logoff PC, but gave incorrect password."_s));
            return verifyNothingAskedBefore();
        }
        QCOMPARE(answer, ClosingDeck(action.label));
        QCOMPARE(h().temp.lines(LogNotice).filter(u"User requested"_s),
                 QStringList{"User requested "_L1 + QString::fromLatin1(action.label)});
        QTRY_COMPARE_WITH_TIMEOUT(m_logind->calls,
                                  StandInLogind::CallsFor(action.code, action.force), ReplyWaitMs);
    }

    void programEndsNormallyOnShutdownPocketlane() {
        TempSettings owner;
        owner.settings->setSwitch(Settings::ShowWelcomeGraphic, false);
        owner.settings->setSwitch(Settings::WelcomeMessage, false);
        owner.settings->setSwitch(Settings::EnableMyComputer, true);
        PocketlaneProcess program; // its system bus is the private one
        QVERIFY2(program.Start({u"--settings"_s, owner.file}), program.StandardError().constData());
        QByteArray page = "/";
        for (const QByteArray title : {"", "My Computer", "Shutdown Pocketlane", "Yes"}) {
            LoopbackClient phone(program.Port());
            phone.Send(LoopbackClient::Request(
                title.isEmpty() ? page : SiteHarness::linkTitled(page, title)));
            phone.WaitClosed();
            page = DeckOf(phone.Received());
        }
        QCOMPARE(page, ClosingDeck("Shutdown Pocketlane"));
        QTRY_COMPARE_WITH_TIMEOUT(program.Process().state(), QProcess::NotRunning, ReplyWaitMs);
        QCOMPARE(program.Stop(), 0); // a normal end
        QVERIFY(program.StandardError().contains("User requested Shutdown Pocketlane"));
        QVERIFY(m_logind->calls.isEmpty());
    }
};

// The test runs again under a D-Bus daemon of its own, which the system bus is
// pointed at, so that nothing here can reach the machine's buses. Nothing can
// start a logind there: a call to it while the stand-in is away fails at once.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (qEnvironmentVariableIsEmpty("POCKETLANE_TEST_BUS")) {
        qputenv("POCKETLANE_TEST_BUS", "1");
        return QProcess::execute(u"dbus-run-session"_s,
                                 QStringList{u"--"_s} + QCoreApplication::arguments());
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    TestMyComputer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mycomputerpages.moc"
