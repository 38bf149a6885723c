#include "support/LoopbackClient.h"
#include "support/PocketlaneProcess.h"
#include "support/TestSupport.h"

#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

constexpr int ExitTimeoutMs = 30000;
using Run = PocketlaneProcess::Run;

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void servesUntilTerminated() {
        PocketlaneProcess program;
        QVERIFY2(program.Start(), program.StandardError().constData());
        // The site answers the entry of the site with a deck and closes the
        // connection; the program keeps serving.
        for (int i = 0; i < 2; ++i) {
            LoopbackClient client(program.Port());
            client.Send(LoopbackClient::Request("/"));
            QVERIFY(client.WaitClosed());
            QVERIFY(client.Received().startsWith("HTTP/1.1 200 OK\r\n"));
            QVERIFY(client.Received().contains("Powered by Pocketlane<br/>"));
        }
        QCOMPARE(program.Stop(), 0);
        QVERIFY(!PocketlaneProcess::IsListening(program.Port()));
    }

    void secondInstanceEndsAtOnceWithoutAMessage() {
        PocketlaneProcess program;
        QVERIFY2(program.Start(), program.StandardError().constData());
        const Run second =
            PocketlaneProcess::RunToEnd({QStringLiteral("--headless"), QStringLiteral("--port"),
                                         QString::number(PocketlaneProcess::FreePort())},
                                        program.Environment());
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(second.out + second.err, QByteArray());
        QCOMPARE(program.Process().state(), QProcess::Running);
        QCOMPARE(program.Stop(), 0);
    }

    void takenPortEndsTheProgramWithTheMessage() {
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::Any, 0));
        PocketlaneProcess environment;
        const Run run =
            PocketlaneProcess::RunToEnd({QStringLiteral("--headless"), QStringLiteral("--port"),
                                         QString::number(occupant.serverPort())},
                                        environment.Environment());
        QCOMPARE(run.exitCode, 1);
        // The message is the last word: nothing is logged after it.
        const QByteArray message = "The port " + QByteArray::number(occupant.serverPort()) +
                                   " is already in use on this machine.\n";
        QVERIFY2(run.err.endsWith("\n" + message), run.err.constData());
    }

    void refusedPrivilegeSaysHowToRunOnAnotherPort() {
        // Needs a user without the right to bind port 80: run as "nobody".
        QFile unprivilegedStart(QStringLiteral("/proc/sys/net/ipv4/ip_unprivileged_port_start"));
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (::geteuid() != 0 || setpriv.isEmpty() || !unprivilegedStart.open(QIODevice::ReadOnly) ||
            unprivilegedStart.readAll().trimmed().toInt() <= 80)
            QSKIP("needs root, setpriv and privileged low ports");
        QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(), QFileDevice::Permissions(0x7777));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime.path());
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                QStringLiteral("--clear-groups"), TestSupport::programPath(),
                                QStringLiteral("--headless"), QStringLiteral("--port"),
                                QStringLiteral("80")});
        QVERIFY(process.waitForFinished(ExitTimeoutMs));
        QCOMPARE(process.exitCode(), 1);
        const QByteArray message = process.readAllStandardError();
        QVERIFY2(message.contains("not allowed to listen on port 80") &&
                     message.contains("--port 8080"),
                 message.constData());
    }

    void commandLineIsChecked() {
        PocketlaneProcess environment;
        const Run help =
            PocketlaneProcess::RunToEnd({QStringLiteral("--help")}, environment.Environment());
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains("--port <n>"));
        QVERIFY(help.out.contains("--headless"));
        const Run badPort = PocketlaneProcess::RunToEnd(
            {QStringLiteral("--port"), QStringLiteral("70000")}, environment.Environment());
        QCOMPARE(badPort.exitCode, 2);
        QVERIFY(badPort.err.contains("--port"));
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
