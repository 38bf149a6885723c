#include "base/StatusLog.h"
#include "site/mycomputer/basShutdown.h"
#include "support/PrivateBus.h"
#include "support/StandInLogind.h"

#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

using namespace basShutdown;

// Every session-end request goes to a stand-in logind on a private bus; the
// process's system bus is pointed at that bus too, so nothing here can reach
// the machine's own logind.
class TestBasShutdown : public QObject {
    Q_OBJECT
public:
    TestBasShutdown()
        : m_client(QString()) {}

private:
    static constexpr int ReplyWaitMs = 30000;

    PrivateBus m_bus;
    QDBusConnection m_client;
    std::unique_ptr<StandInLogind> m_logind;
    std::unique_ptr<StatusLog> m_log;

    std::optional<ShutdownResult> shutdownWindows(quint32 lCode, bool bForce, bool bForceIfHung,
                                                  const QDBusConnection& oBus) {
        auto result = std::make_shared<std::optional<ShutdownResult>>();
        const auto keep = [result](const ShutdownResult& outcome) { *result = outcome; };
        ShutdownWindows(lCode, bForce, bForceIfHung, m_log.get(), keep, oBus);
        if (result->has_value())
            return ShutdownResult{0, false, QStringLiteral("reported before returning")};
        (void)QTest::qWaitFor([&] { return result->has_value(); }, ReplyWaitMs);
        return *result;
    }

    // The one status-log line of a refused request: an error line that says
    // so (the reason is a pattern).
    void verifyRefusal(const std::optional<ShutdownResult>& result, const QString& sReason) {
        QVERIFY(result.has_value());
        QVERIFY(!result->bDone);
        QVERIFY2(QRegularExpression(sReason).match(result->sLogMessage).hasMatch(),
                 qPrintable(result->sLogMessage));
        QCOMPARE(m_log->rowCount(), 1);
        QCOMPARE(m_log->lines().first().level, int(LogError));
        QCOMPARE(m_log->lines().first().message, result->sLogMessage);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_bus.start(), qPrintable(m_bus.errorString()));
        QVERIFY(m_bus.takeOverSystemBus());
        m_client = m_bus.connect(QStringLiteral("pocketlane-test-client"));
        QVERIFY(m_client.isConnected());
    }

    void init() {
        m_log = std::make_unique<StatusLog>();
        m_logind = std::make_unique<StandInLogind>(m_bus.address());
        QVERIFY(m_logind->isServing());
    }

    void cleanup() { m_logind.reset(); }

    void actionsAskLogindWithTheirFlags_data() {
        QTest::addColumn<quint32>("code");
        QTest::addColumn<bool>("force");
        QTest::addColumn<bool>("forceIfHung");
        QTest::addColumn<quint32>("flags");
        QTest::addColumn<QStringList>("calls");

        const std::pair<const char*, quint32> actions[] = {
            {"logoff", 0u}, {"shutdown", 1u}, {"reboot", 2u}, {"poweroff", 8u}};
        for (const bool bForce : {false, true}) {
            for (const bool bHung : {false, true}) {
                const quint32 lAdded = (bForce ? 4 : 0) + (bHung ? 16 : 0);
                const QByteArray options =
                    QByteArray(bForce ? " force" : "") + (bHung ? " if-hung" : "");
                for (const auto& [name, code] : actions)
                    QTest::newRow(name + options) << code << bForce << bHung << code + lAdded
                                                  << StandInLogind::CallsFor(code, bForce);
            }
        }
    }

    void actionsAskLogindWithTheirFlags() {
        QFETCH(quint32, code);
        QFETCH(bool, force);
        QFETCH(bool, forceIfHung);
        QFETCH(quint32, flags);
        QFETCH(QStringList, calls);
        const auto result = shutdownWindows(code, force, forceIfHung, m_client);
        QVERIFY(result.has_value());
        QVERIFY2(result->bDone, qPrintable(result->sLogMessage));
        QCOMPARE(result->lFlags, flags);
        QCOMPARE(m_logind->calls(), calls);
        QCOMPARE(m_log->rowCount(), 0); // the accepted request is a detail line
    }

    // A privilege answer other than "yes" asks for nothing more; a refusal
    // of logind ends the request where it came.
    void refusalsAreReportedAndEndTheRequest_data() {
        QTest::addColumn<quint32>("code");
        QTest::addColumn<QString>("privilegeAnswer");
        QTest::addColumn<QString>("refusedMethod");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("callsMade");
        const QString refused = QStringLiteral(" failed: Refused for the test");
        for (const char* answer : {"no", "challenge", "na", "YES"})
            QTest::addRow("privilege answered %s", answer)
                << quint32(EwxReboot) << QString::fromLatin1(answer) << QString()
                << QStringLiteral("could not reboot the PC: .*\\(CanReboot answered \"%1\"\\)")
                       .arg(QString::fromLatin1(answer))
                << 1;
        QTest::newRow("no session of the owner")
            << 0u << QStringLiteral("yes") << QStringLiteral("GetSession")
            << QStringLiteral("GetSession") + refused << 1;
        QTest::newRow("session not ended")
            << 0u << QStringLiteral("yes") << QStringLiteral("Terminate")
            << QStringLiteral("Terminate") + refused << 2;
        QTest::newRow("inhibited power off")
            << 8u << QStringLiteral("yes") << QStringLiteral("PowerOffWithFlags")
            << QStringLiteral("PowerOffWithFlags") + refused << 2;
    }

    void refusalsAreReportedAndEndTheRequest() {
        QFETCH(quint32, code);
        QFETCH(QString, privilegeAnswer);
        QFETCH(QString, refusedMethod);
        QFETCH(QString, reason);
        QFETCH(int, callsMade);
        m_logind->setPrivilegeAnswer(privilegeAnswer);
        if (!refusedMethod.isEmpty())
            m_logind->refuse(refusedMethod,
                             QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                             QStringLiteral("Refused for the test"));
        verifyRefusal(shutdownWindows(code, true, true, m_client), reason);
        QCOMPARE(m_logind->calls().size(), callsMade);
    }

    void absentLogindIsReportedWithoutHanging() {
        m_logind.reset();
        verifyRefusal(shutdownWindows(EwxPowerOff, false, false, m_client),
                      QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"));
        m_log = std::make_unique<StatusLog>();
        verifyRefusal(shutdownWindows(EwxPowerOff, false, false, QDBusConnection(QString())),
                      QStringLiteral("could not power off the PC: not connected to the bus"));
    }

    void unknownActionCodeAsksNothing() {
        verifyRefusal(shutdownWindows(3, false, false, m_client),
                      QStringLiteral("could not carry out action code 3"));
        QVERIFY(m_logind->calls().isEmpty());
    }

    // Only a question is asked here, so even a bus mix-up could not reboot.
    void systemBusIsTheDefault() {
        m_logind->setPrivilegeAnswer(QStringLiteral("no"));
        ShutdownWindows(EwxReboot, false, false, m_log.get());
        QTRY_COMPARE_WITH_TIMEOUT(m_log->rowCount(), 1, ReplyWaitMs);
        QCOMPARE(m_logind->calls(),
                 QStringList{StandInLogind::ManagerCall(QStringLiteral("CanReboot"))});
    }
};

QTEST_GUILESS_MAIN(TestBasShutdown)
#include "tst_basshutdown.moc"
