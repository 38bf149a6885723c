// The built program with a display: an X server of the test's own (Xvfb).
#include "XSession.h"
#include "support/LoopbackClient.h"
#include "support/PocketlaneProcess.h"

#include <QElapsedTimer>
#include <QTest>

#include <csignal>

namespace {

XSession* Session = nullptr;

// The program as the owner starts it from the desktop's menu.
struct WindowedProgram {
    PocketlaneProcess home;
    QProcess process;
    quint16 port = PocketlaneProcess::FreePort();

    void start(const QStringList& extra = {}) {
        QProcessEnvironment environment = home.Environment();
        environment.insert(QStringLiteral("DISPLAY"), Session->display());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(POCKETLANE_BINARY),
                      QStringList{QStringLiteral("--port"), QString::number(port)} + extra);
    }

    ~WindowedProgram() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
};

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 60000) {
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QTest::qWait(100);
    }
    return true;
}

const QString Title = QStringLiteral("Pocketlane");

} // namespace

class DesktopProgramTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void windowOpensOverTheRunningServer();
    void secondStartEndsAndTheFirstGoesOn();
    void headlessKeepsTheWindowAway();
};

void DesktopProgramTest::windowOpensOverTheRunningServer() {
    WindowedProgram program;
    program.start();
    QVERIFY(WaitFor([&] { return Session->IsWindowViewable(Title); }));
    QVERIFY(PocketlaneProcess::IsListening(program.port));
    LoopbackClient phone(program.port);
    phone.Send(LoopbackClient::Request("/"));
    QVERIFY(phone.WaitClosed());
    QVERIFY(phone.Received().contains("<card"));
    // SIGTERM ends the program without the closing question.
    ::kill(pid_t(program.process.processId()), SIGTERM);
    QVERIFY(program.process.waitForFinished(15000));
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 0);
    QVERIFY(!Session->IsWindowViewable(Title));
}

void DesktopProgramTest::secondStartEndsAndTheFirstGoesOn() {
    WindowedProgram first;
    first.start();
    QVERIFY(WaitFor([&] { return Session->IsWindowViewable(Title); }));
    QProcess second;
    QProcessEnvironment environment = first.process.processEnvironment();
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(POCKETLANE_BINARY));
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(second.readAll(), QByteArray());
    QVERIFY(first.process.state() == QProcess::Running);
    QVERIFY(Session->IsWindowViewable(Title));
}

void DesktopProgramTest::headlessKeepsTheWindowAway() {
    WindowedProgram program;
    program.start({QStringLiteral("--headless")});
    QVERIFY(WaitFor([&] { return PocketlaneProcess::IsListening(program.port); }));
    QTest::qWait(500);
    QVERIFY(!Session->IsWindowViewable(Title));
    ::kill(pid_t(program.process.processId()), SIGTERM);
    QVERIFY(program.process.waitForFinished(15000));
    QVERIFY(program.process.readAllStandardError().contains("You are currently not sharing"));
}

int main(int argc, char* argv[]) {
    XSession session;
    if (!session.start()) {
        std::fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    Session = &session;
    QCoreApplication app(argc, argv);
    DesktopProgramTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktopprogram.moc"
