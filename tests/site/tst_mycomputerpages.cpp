#include "support/LoopbackClient.h"
#include "support/PocketlaneProcess.h"
#include "support/PrivateBus.h"
#include "support/SiteHarness.h"
#include "support/StandInLogind.h"
#include "support/WmlValidation.h"

#include <QTest>

#include <memory>

namespace {

constexpr int ReplyWaitMs = 30000;

const QByteArray LogoffLabel = "Logoff PC";

QByteArray MainMenuAnchor(int index) {
    return "<a href=\"/?S=" + QByteArray::number(index) + "\">[^] Main Menu</a>";
}

QByteArray MessageDeck(const QByteArray& message, const QByteArray& followUp) {
    return Card("Pocketlane", "Pocketlane", message + "<br/><br/>" + followUp);
}

QByteArray ClosingDeck(const QByteArray& label) {
    return MessageDeck("Attempting " + label + " now. Goodbye!",
                       "<b>Powered by Pocketlane</b><br/>");
}

} // namespace

// Every PC action goes to a stand-in logind on a private bus, and the
// process's system bus is that bus too: nothing here can reach the machine's
// own logind.
class TestMyComputerPages : public QObject {
    Q_OBJECT

    PrivateBus m_bus;
    std::unique_ptr<StandInLogind> m_logind;
    std::unique_ptr<SiteHarness> m_site;

    SiteHarness& h() { return *m_site; }

    QByteArray follow(const QByteArray& deck, const QByteArray& title) {
        const QByteArray link = SiteHarness::linkTitled(deck, title);
        return link.isEmpty() ? QByteArray("no link " + title) : h().deck(link);
    }

    QByteArray myComputerMenu() { return follow(h().deck("/"), "My Computer"); }

    // The page behind the action's entry of the menu.
    QByteArray actionPage(const QByteArray& label) { return follow(myComputerMenu(), label); }

    // A confirmed Reboot PC whose calls end the logind record: when the
    // record is exactly these calls afterwards, nothing was asked before.
    void verifyNothingAskedBefore() {
        h().settings.setSwitch(Settings::EnableMyComputerPassword, false);
        QCOMPARE(follow(actionPage("Reboot PC"), "Yes"), ClosingDeck("Reboot PC"));
        QTRY_COMPARE_WITH_TIMEOUT(m_logind->calls(), StandInLogind::CallsFor(2, false),
                                  ReplyWaitMs);
    }

    void setMyComputerPassword(const QByteArray& password) {
        h().settings.setSwitch(Settings::EnableMyComputerPassword, true);
        h().settings.setText(Settings::MyComputerPassword, password);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_bus.start(), qPrintable(m_bus.errorString()));
        QVERIFY(m_bus.takeOverSystemBus());
    }

    void init() {
        m_logind = std::make_unique<StandInLogind>(m_bus.address());
        QVERIFY(m_logind->isServing());
        m_site = std::make_unique<SiteHarness>();
        h().myComputer.SetSessionEndBus(m_bus.connect(QStringLiteral("pocketlane-site")).name());
        h().settings.setSwitch(Settings::EnableMyComputer, true);
        QVERIFY(h().open());
    }

    void cleanup() {
        m_site.reset();
        m_logind.reset();
    }

    // Menu, then the confirmation page; the unconfirmed link only asks again.
    void actionsAreConfirmedFirst() {
        const QByteArray menu = myComputerMenu(); // links 0 and 1 are on the main menu
        QCOMPARE(menu, Card("mycomputer", "My Computer",
                            "<a href=\"/?S=2\">Logoff PC</a><br/>"
                            "<a href=\"/?S=3\">Poweroff PC</a><br/>"
                            "<a href=\"/?S=4\">Reboot PC</a><br/>"
                            "<a href=\"/?S=5\">Shutdown PC</a><br/>"
                            "<a href=\"/?S=6\">Shutdown Pocketlane</a><br/><br/>" +
                                MainMenuAnchor(7)));
        QVERIFY_VALID_WML(menu);
        const QByteArray confirmation = h().deck("/?S=4");
        QCOMPARE(confirmation, Card("mycomputer", "Reboot PC",
                                    "Are you sure you want to Reboot PC?<br/><br/>"
                                    "<a href=\"/?S=8\">Yes</a><br/><br/>" +
                                        MainMenuAnchor(7)));
        QVERIFY_VALID_WML(confirmation);
        QCOMPARE(h().links.FindLinkState(8)->C, QByteArray("Y"));
        // Asking again hands out the same links.
        QCOMPARE(h().deck("/?S=4"), confirmation);
        // With the password option on, a confirmed link asks for the password.
        setMyComputerPassword("Secret");
        QVERIFY(h().deck("/?S=8").contains("Please enter your password to Reboot PC<br/>"));
        QVERIFY(h().temp.lines(LogNotice).filter(QStringLiteral("User requested")).isEmpty());
        verifyNothingAskedBefore();
    }

    // Links handed out before the owner turned the module off lead nowhere.
    void switchedOffModuleLeadsToTheMainMenu() {
        const QByteArray confirmation = actionPage("Reboot PC");
        h().settings.setSwitch(Settings::EnableMyComputer, false);
        const auto isMainMenuWithoutMyComputer = [](const QByteArray& deck) {
            return deck.contains("<card id=\"MainMenu\"") && !deck.contains("My Computer");
        };
        QVERIFY(isMainMenuWithoutMyComputer(h().deck("/?S=1"))); // the old menu link
        QVERIFY(isMainMenuWithoutMyComputer(follow(confirmation, "Yes")));
        QVERIFY(h().temp.lines(LogError).contains(
            QStringLiteral("User tried to Reboot PC, but My Computer is not enabled.")));
        h().settings.setSwitch(Settings::EnableMyComputer, true);
        verifyNothingAskedBefore();
    }

    void typedPasswordDecides_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("typed"); // as the phone sends it, URL-encoded
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right") << QByteArray("Secret") << QByteArray("Secret") << true;
        QTest::newRow("encoded") << QByteArray("my pass") << QByteArray("my%20pass") << true;
        QTest::newRow("both empty") << QByteArray() << QByteArray() << true;
        QTest::newRow("wrong") << QByteArray("Secret") << QByteArray("Secret2") << false;
        QTest::newRow("other case") << QByteArray("Secret") << QByteArray("secret") << false;
        QTest::newRow("empty typed") << QByteArray("Secret") << QByteArray() << false;
    }

    void typedPasswordDecides() {
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, typed);
        QFETCH(bool, accepted);
        setMyComputerPassword(stored);
        const QByteArray page = actionPage(LogoffLabel);
        QCOMPARE(page, Card("mycomputer", "Logoff PC",
                            "Please enter your password to Logoff PC<br/><br/>"
                            "<input name=\"P\"/><br/>"
                            "<a href=\"/?S=2&amp;P=$(P)\">Logoff PC</a><br/><br/>" +
                                MainMenuAnchor(7)));
        const QByteArray submit = SiteHarness::linkTitled(page, LogoffLabel);
        const QByteArray answer = h().deck(submit.chopped(4) + typed);
        if (accepted) {
            QCOMPARE(answer, ClosingDeck(LogoffLabel));
            QCOMPARE(h().temp.lines(LogNotice).filter(QStringLiteral("User requested")),
                     QStringList{QStringLiteral("User requested Logoff PC")});
            QTRY_COMPARE_WITH_TIMEOUT(m_logind->calls(), StandInLogind::CallsFor(0, false),
                                      ReplyWaitMs);
            return;
        }
        QCOMPARE(answer,
                 MessageDeck("The password you supplied was incorrect. Logoff PC disallowed.",
                             "<anchor>Main Menu<go href=\"/?S=7\"/></anchor>"));
        QVERIFY_VALID_WML(answer);
        QVERIFY_VALID_WML(page);
        QVERIFY(h().temp.lines(LogError).contains(
            QStringLiteral("User tried to Logoff PC, but gave incorrect password.")));
        verifyNothingAskedBefore();
    }

    // Each menu entry reaches its own logind request with the force option
    // of the settings; the flags of every combination are tested with
    // ShutdownWindows itself.
    void confirmedActionAsksLogindWithTheForceOptions_data() {
        QTest::addColumn<quint32>("code");
        QTest::addColumn<QByteArray>("label");
        QTest::addColumn<bool>("force");
        QTest::addColumn<bool>("forceIfHung");
        QTest::newRow("logoff") << 0u << LogoffLabel << true << false;
        QTest::newRow("power off") << 8u << QByteArray("Poweroff PC") << false << true;
        QTest::newRow("reboot") << 2u << QByteArray("Reboot PC") << true << true;
        QTest::newRow("shut down") << 1u << QByteArray("Shutdown PC") << false << false;
    }

    void confirmedActionAsksLogindWithTheForceOptions() {
        QFETCH(quint32, code);
        QFETCH(QByteArray, label);
        QFETCH(bool, force);
        QFETCH(bool, forceIfHung);
        h().settings.setSwitch(Settings::Force, force);
        h().settings.setSwitch(Settings::ForceIfHung, forceIfHung);
        const QByteArray closing = follow(actionPage(label), "Yes");
        QCOMPARE(closing, ClosingDeck(label));
        QVERIFY_VALID_WML(closing);
        QVERIFY(h().temp.lines(LogNotice).contains(QStringLiteral("User requested ") +
                                                   QString::fromLatin1(label)));
        QTRY_COMPARE_WITH_TIMEOUT(m_logind->calls(), StandInLogind::CallsFor(code, force),
                                  ReplyWaitMs);
    }

    // How logind refuses is tested with ShutdownWindows itself; here the
    // refusal reaches the site's log after the closing page.
    void refusedActionIsLoggedAndNotCarriedOut() {
        m_logind->setPrivilegeAnswer(QStringLiteral("no"));
        QCOMPARE(follow(actionPage("Reboot PC"), "Yes"), ClosingDeck("Reboot PC"));
        QTRY_COMPARE_WITH_TIMEOUT(h().temp.lines(LogError).size(), 1, ReplyWaitMs);
        QVERIFY2(h().temp.lines(LogError).first().startsWith(
                     QStringLiteral("ShutdownWindows - could not ")),
                 qPrintable(h().temp.lines(LogError).first()));
        QCOMPARE(m_logind->calls(),
                 QStringList{StandInLogind::ManagerCall(QStringLiteral("CanReboot"))});
    }

    void programEndsNormallyOnShutdownPocketlane() {
        TempSettings owner;
        owner.settings->setSwitch(Settings::ShowWelcomeGraphic, false);
        owner.settings->setSwitch(Settings::WelcomeMessage, false);
        owner.settings->setSwitch(Settings::EnableMyComputer, true);
        PocketlaneProcess program;
        QProcessEnvironment environment = program.Environment();
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_bus.address());
        program.Process().setProcessEnvironment(environment);
        QVERIFY2(program.Start({QStringLiteral("--settings"), owner.file}),
                 program.StandardError().constData());
        const auto deck = [&](const QByteArray& path) {
            LoopbackClient phone(program.Port());
            phone.Send(LoopbackClient::Request(path));
            phone.WaitClosed();
            return DeckOf(phone.Received());
        };
        const QByteArray menu = deck(SiteHarness::linkTitled(deck("/"), "My Computer"));
        const QByteArray confirmation = deck(SiteHarness::linkTitled(menu, "Shutdown Pocketlane"));
        QCOMPARE(deck(SiteHarness::linkTitled(confirmation, "Yes")),
                 ClosingDeck("Shutdown Pocketlane"));
        QVERIFY(QTest::qWaitFor([&] { return program.Process().state() == QProcess::NotRunning; },
                                ReplyWaitMs));
        QCOMPARE(program.Process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.Process().exitCode(), 0);
        QVERIFY(program.StandardError().contains("User requested Shutdown Pocketlane"));
        QVERIFY(m_logind->calls().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMyComputerPages)
#include "tst_mycomputerpages.moc"
