// The real program: its command line and start-up faults, the doorbell by
// which a second start reaches the running program, and the program
// restarted on the same settings file: the owner's options outlive serving
// and a termination; a command given while the program runs takes effect at
// once and lasts; commands given all at once, to a running program or to
// none, each keep their change.

#include "app/InstanceDoorbell.h"
#include "app/ProcessLimits.h"
#include "settings/Settings.h"
#include "support/LoopbackClient.h"
#include "support/PocketlaneProcess.h"

#include <QDir>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <unistd.h>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// A settings file in a temporary folder and the program that uses it.
struct OwnersMachine {
    QTemporaryDir dir;
    QString settingsFile = dir.filePath(u"settings.reg"_s);
    PocketlaneProcess program;

    QStringList command(const QStringList& arguments) const {
        return QStringList{u"--settings"_s, settingsFile} + arguments;
    }
    int administer(const QStringList& arguments) {
        return PocketlaneProcess::RunToEnd(command(arguments), program.Environment()).exitCode;
    }
    QByteArray shownSettings() {
        return PocketlaneProcess::RunToEnd(command({u"--show-settings"_s}), program.Environment())
            .out;
    }
    bool serve() { return program.Start(command({})); }
    QByteArray entryPage() {
        LoopbackClient client(program.Port());
        client.Send(LoopbackClient::Request("/"));
        return client.WaitClosed() ? client.Received() : QByteArray();
    }
};

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // "taken" stands for a port in use, "free" for one that is not.
    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("wrapper");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // a pattern for standard output and error together
        // clang-format off
        QTest::newRow("help") << QStringList{u"--help"_s} << QStringList() << 0 << u"(?s)^(?=.*--port <n>)(?=.*--headless)"_s;
        QTest::newRow("port out of range") << QStringList{u"--port"_s, u"70000"_s} << QStringList() << 2 << u"--port"_s;
        // The message is the last word: nothing is logged after it.
        QTest::newRow("taken port") << QStringList{u"--headless"_s, u"--port"_s, u"taken"_s} << QStringList() << 1
                                    << u"\nThe port taken is already in use on this machine\\.\n$"_s;
        // A second start ends at once and silently; the first keeps serving.
        QTest::newRow("second instance") << QStringList{u"--headless"_s, u"--port"_s, u"free"_s} << QStringList() << 0 << u"^$"_s;
        QTest::newRow("port 80 without the right") << QStringList{u"--headless"_s, u"--port"_s, u"80"_s}
            << QStringList{u"setpriv"_s, u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s}
            << 1 << u"(?s)not allowed to listen on port 80.*--port 8080"_s;
        // clang-format on
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, wrapper);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        PocketlaneProcess first;
        QProcessEnvironment environment = first.Environment();
        QTemporaryDir open; // for a user who may not enter the test's folders
        if (!wrapper.isEmpty()) {
            QFile lowPorts(u"/proc/sys/net/ipv4/ip_unprivileged_port_start"_s);
            if (::geteuid() != 0 || QStandardPaths::findExecutable(wrapper.first()).isEmpty() ||
                !lowPorts.open(QIODevice::ReadOnly) || lowPorts.readAll().trimmed().toInt() <= 80)
                QSKIP("needs root, setpriv and privileged low ports");
            QFile::setPermissions(open.path(), QFileDevice::Permissions(0x7777));
            environment.insert(u"XDG_RUNTIME_DIR"_s, open.path());
            environment.insert(u"XDG_CONFIG_HOME"_s, open.path());
        }
        const bool secondInstance = arguments.contains(u"free"_s);
        if (secondInstance)
            QVERIFY2(first.Start(), first.StandardError().constData());
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::Any, 0));
        const QString taken = QString::number(occupant.serverPort());
        arguments.replaceInStrings(u"taken"_s, taken);
        arguments.replaceInStrings(u"free"_s, QString::number(PocketlaneProcess::FreePort()));
        const auto run = PocketlaneProcess::RunToEnd(arguments, environment, wrapper);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(QRegularExpression(output.replace(u"taken"_s, taken))
                     .match(QString::fromLocal8Bit(run.out + run.err))
                     .hasMatch(),
                 (run.out + run.err).constData());
        if (secondInstance) {
            QCOMPARE(first.Process().state(), QProcess::Running);
            QCOMPARE(first.Stop(), 0);
        }
    }

    void doorbellRingsOnlyForARing() {
        QTemporaryDir dir;
        const QString path = InstanceDoorbell::PathBeside(dir.filePath(u"pocketlane.lock"_s));
        QVERIFY(!InstanceDoorbell::Ring(path, 500));
        // A socket file left by a program that died is replaced.
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        InstanceDoorbell door(path);
        QVERIFY(door.Listen());
        QSignalSpy rung(&door, &InstanceDoorbell::Rung);
        QLocalSocket visitor;
        visitor.connectToServer(path);
        QVERIFY(visitor.waitForConnected());
        visitor.write(QByteArray(4096, 'x'));
        QVERIFY(visitor.waitForBytesWritten());
        QTRY_COMPARE(visitor.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(rung.size(), 0);
        QVERIFY(InstanceDoorbell::Ring(path));
        QVERIFY(rung.wait());
        QCOMPARE(rung.size(), 1);
    }

    void everyOptionOutlivesServingAndRestarts() {
        // Every option away from its first-run value, texts with characters a
        // file format could trip over.
        const QStringList texts = {u"/pictures/my \"best\" = 1.wbmp"_s,
                                   u"50% off, today only 10%"_s, u"pa$$\\word with blanks "_s,
                                   u"[SharedFolders]\n\"x\"=\"y\""_s};
        QStringList assignments;
        for (int index = 0, text = 0; index < Settings::OptionCount; ++index) {
            const auto option = Settings::Option(index);
            const QString value = !Settings::IsSwitch(option)              ? texts.at(text++ % 4)
                                  : option == Settings::ShowWelcomeGraphic ? u"N"_s
                                                                           : u"Y"_s;
            assignments << u"--set"_s
                        << QString::fromLatin1(Settings::ValueName(option)) + u'=' + value;
        }
        OwnersMachine machine;
        QCOMPARE(machine.administer(assignments), 0);
        QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        QVERIFY(machine.entryPage().contains("50% off, today only 10%"));
        // The running program applies a command at once: the next phone request sees it.
        QCOMPARE(machine.administer({u"--set"_s, u"WelcomeMessageText=Now 20% off = [today]"_s}),
                 0);
        QVERIFY(machine.entryPage().contains("Now 20% off = [today]"));
        QCOMPARE(machine.program.Stop(), 0);

        const QByteArray before = machine.shownSettings();
        for (const QByteArray line : {"\nEnableGraffiti=Y\n", "\nShowWelcomeGraphic=N\n",
                                      "\nWelcomeMessageText=Now 20% off = [today]\n"})
            QVERIFY2(before.contains(line), before.constData());
        QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        QVERIFY(machine.entryPage().contains("Now 20% off = [today]"));
        QCOMPARE(machine.program.Stop(), 0);
        QCOMPARE(machine.shownSettings(), before);
        QVERIFY(QDir(machine.dir.path()).entryList({u"settings.reg.unreadable-*"_s}).isEmpty());
    }

    void commandsAtTheSameTimeKeepEveryChange_data() {
        QTest::addColumn<bool>("programRuns");
        QTest::newRow("program running") << true;
        QTest::newRow("no program") << false;
    }
    // 50 commands started at once, each sharing its own folder, the first
    // ones also setting an option each: every change is kept.
    void commandsAtTheSameTimeKeepEveryChange() {
        QFETCH(bool, programRuns);
        RaiseOpenFileLimit();
        OwnersMachine machine;
        if (programRuns)
            QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        std::vector<std::unique_ptr<QProcess>> commands;
        QByteArrayList expected;
        for (int i = 0; i < 50; ++i) {
            const QString folder = machine.dir.filePath(u"f%1"_s.arg(i));
            QVERIFY(QDir().mkpath(folder));
            QStringList arguments = machine.command({u"--share"_s, folder});
            expected << "\n  " + folder.toUtf8() + "\n";
            if (i < Settings::OptionCount) {
                const auto option = Settings::Option(i);
                const QByteArray assignment =
                    Settings::ValueName(option) + '=' +
                    (!Settings::IsSwitch(option) ? "text " + QByteArray::number(i)
                                                 : QByteArray(i == 0 ? "N" : "Y"));
                arguments << u"--set"_s << QString::fromLatin1(assignment);
                expected << '\n' + assignment + '\n';
            }
            auto& command = commands.emplace_back(std::make_unique<QProcess>());
            command->setProcessEnvironment(machine.program.Environment());
            command->start(TestSupport::programPath(), arguments);
        }
        for (const auto& command : commands) {
            QVERIFY(command->waitForFinished(120000));
            QCOMPARE(command->exitStatus(), QProcess::NormalExit);
            QCOMPARE(command->exitCode(), 0);
        }
        const QByteArray shown = machine.shownSettings();
        if (programRuns)
            QCOMPARE(machine.program.Stop(), 0);
        for (const QByteArray& settings : {shown, machine.shownSettings()})
            for (const QByteArray& line : std::as_const(expected))
                QVERIFY2(settings.contains(line), line.constData());
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
