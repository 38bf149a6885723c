// The real program: its command line and start-up faults, the doorbell by
// which a second start reaches the running program, and the program
// restarted on the same settings file: the owner's options outlive serving
// and a termination; administration commands, on the settings file while no
// program runs and through the running program's administration socket, take
// effect at once and last, also when given all at once.

#include "app/AdminChannel.h"
#include "app/InstanceDoorbell.h"
#include "app/ProcessLimits.h"
#include "settings/Settings.h"
#include "support/LoopbackClient.h"
#include "support/PocketlaneProcess.h"
#include "support/SiteHarness.h"
#include "support/TempSettings.h"

#include <QDir>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A settings file in a temporary folder and the program that uses it.
struct OwnersMachine {
    QTemporaryDir dir;
    QString settingsFile = dir.filePath(u"settings.reg"_s);
    PocketlaneProcess program;

    // A command line run to its end; without --settings, on the file POCKETLANE_SETTINGS names.
    PocketlaneProcess::Run run(const QStringList& arguments) {
        QProcessEnvironment environment = program.Environment();
        environment.insert(u"POCKETLANE_SETTINGS"_s, settingsFile);
        return PocketlaneProcess::RunToEnd(arguments, environment);
    }
    QStringList command(const QStringList& arguments) const {
        return QStringList{u"--settings"_s, settingsFile} + arguments;
    }
    int administer(const QStringList& arguments) { return run(command(arguments)).exitCode; }
    QByteArray shownSettings() { return run(command({u"--show-settings"_s})).out; }
    bool serve() { return program.Start(command({})); }
    QByteArray entryPage(const QByteArray& path = "/") {
        LoopbackClient client(program.Port());
        client.Send(LoopbackClient::Request(path));
        return client.WaitClosed() ? client.Received() : QByteArray();
    }
    QByteArray graffitiBoard() {
        return DeckOf(entryPage(SiteHarness::linkTitled(DeckOf(entryPage()), "Graffiti")));
    }
};

// "NAME=VALUE" taking the option away from its first-run value: a switch
// flipped, a text replaced by `text`.
QString changed(Settings::Option option, const QString& text) {
    const QString value =
        !Settings::IsSwitch(option)                                                  ? text
        : option == Settings::ShowWelcomeGraphic || option == Settings::KeepGraffiti ? u"N"_s
                                                                                     : u"Y"_s;
    return QString::fromLatin1(Settings::ValueName(option)) + u'=' + value;
}

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
        const QProcessEnvironment environment = first.Environment();
        if (!wrapper.isEmpty()) {
            QFile lowPorts(u"/proc/sys/net/ipv4/ip_unprivileged_port_start"_s);
            if (::geteuid() != 0 || QStandardPaths::findExecutable(wrapper.first()).isEmpty() ||
                !lowPorts.open(QIODevice::ReadOnly) || lowPorts.readAll().trimmed().toInt() <= 80)
                QSKIP("needs root, setpriv and privileged low ports");
            // Open to a user who may not enter the test's folders otherwise.
            QFile::setPermissions(environment.value(u"XDG_RUNTIME_DIR"_s),
                                  QFileDevice::Permissions(0x7777));
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
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
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
        // Every option away from its first-run value, texts (picked by option
        // number modulo 4) with characters a file format could trip over.
        const QStringList texts = {u"[SharedFolders]\n\"x\"=\"y\""_s,
                                   u"/pictures/my \"best\" = 1.wbmp"_s,
                                   u"pa$$\\word with blanks "_s, u"50% off, today only 10%"_s};
        QStringList assignments;
        for (int index = 0; index < Settings::OptionCount; ++index)
            assignments << u"--set"_s << changed(Settings::Option(index), texts.at(index % 4));
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

    // Messages phones post outlive a restart of the program, on the board and
    // in --graffiti (time, then text, one a line); KeepGraffiti=N, given to
    // the running program, empties the stored board.
    void graffitiOutlivesRestarts() {
        OwnersMachine machine;
        QCOMPARE(machine.administer({u"--set"_s, u"EnableGraffiti=Y"_s, u"--set"_s,
                                     u"ShowWelcomeGraphic=N"_s, u"--set"_s, u"WelcomeMessage=N"_s}),
                 0);
        QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        const QByteArray form = DeckOf(
            machine.entryPage(SiteHarness::linkTitled(machine.graffitiBoard(), "Add Graffiti")));
        const QByteArray submit = SiteHarness::linkTitled(form, "Submit").chopped(4);
        const QList<QByteArray> posted = {"first", "Gr\xC3\xBC\xC3\x9F dich", "a < b"};
        for (const QByteArray& text : posted)
            QVERIFY(!machine.entryPage(submit + Url(text)).isEmpty());
        QCOMPARE(machine.program.Stop(), 0);
        const QStringList printed =
            QString::fromUtf8(machine.run(machine.command({u"--graffiti"_s})).out)
                .split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(printed.size(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY2(QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\t"_s +
                                        QRegularExpression::escape(QString::fromUtf8(posted[i])) +
                                        u'$')
                         .match(printed[i])
                         .hasMatch(),
                     qPrintable(printed[i]));
        QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        QVERIFY(machine.graffitiBoard().contains(
            "<p>first<br/><i>Gr\xC3\xBC\xC3\x9F dich</i><br/>a &lt; b<br/>"));
        QCOMPARE(machine.administer({u"--set"_s, u"KeepGraffiti=N"_s}), 0);
        QVERIFY(machine.graffitiBoard().contains("a &lt; b")); // still in memory
        QCOMPARE(machine.program.Stop(), 0);
        QCOMPARE(machine.run(machine.command({u"--graffiti"_s})).out, QByteArray());
        QVERIFY(!machine.program.StandardError().contains("The Graffiti file"));
    }

    // Administration commands on the file POCKETLANE_SETTINGS names: the
    // running program carries them out, else they change the file.
    void commands_data() {
        QTest::addColumn<bool>("programRuns");
        QTest::newRow("no program") << false;
        QTest::newRow("program running") << true;
    }
    void commands() {
        QFETCH(bool, programRuns);
        RaiseOpenFileLimit();
        OwnersMachine machine;
        if (programRuns) {
            QVERIFY2(machine.serve(), machine.program.StandardError().constData());
            // Malformed requests on the administration socket are dropped; serving goes on.
            qputenv("XDG_RUNTIME_DIR",
                    machine.program.Environment().value(u"XDG_RUNTIME_DIR"_s).toLocal8Bit());
            for (const QByteArray& request :
                 {QByteArray(2 << 20, '\xFF'), QByteArray("\0\0\0\x08\0\0\0\x09--se", 12)}) {
                QLocalSocket intruder;
                intruder.connectToServer(AdminChannel::SocketPath(machine.settingsFile));
                QVERIFY(intruder.waitForConnected(5000));
                intruder.write(request);
                QTRY_COMPARE(intruder.state(), QLocalSocket::UnconnectedState);
                QCOMPARE(intruder.readAll(), QByteArray());
            }
        }
        const QString music = machine.dir.filePath(u"music"_s);
        for (const char* folder : {"/rock", "/pop"})
            QVERIFY(QDir().mkpath(music + QLatin1StringView(folder)));
        // A command, its exit code, and texts its output or error hold; "|"
        // splits the lists and %M stands for the music folder.
        const struct {
            const char* arguments;
            int code;
            const char* texts;
        } steps[] = {
            {"--show-settings", 0, "\nGraffitiShowTime=N\n|Shared folders: none"},
            {"--set|EnableGraffiti=Y|--set|welcomemessagetext=Hi = there|--set|Password=", 0, ""},
            // Names and values outside the table change nothing, not even the good ones.
            {"--set|EnableGraffiti=N|--set|Colour=red", 2, "unknown setting \"Colour\""},
            {"--set|EnableGraffiti=N|--set|Force=yes", 2, "Force is a switch and takes Y or N"},
            {"--set|EnableGraffiti=N|--set|Force=y", 2, "takes Y or N"},
            {"--set|EnableGraffiti=N|--set|Force", 2, "--set needs NAME=VALUE"},
            {"--share|%M/rock/|--share|%M/pop", 0, "Sharing %M/rock"},
            {"--unshare|%M/pop", 0, ""},
            {"--unshare|%M/pop", 1, "%M/pop is not a shared folder.\n"},
            {"--share|%M/rock", 1, "is already being shared"},
            {"--share|%M/missing", 1, "it is not a folder"},
            {"--share|%M/pop|--share|%M|--show-settings", 0,
             "Removed the shared sub folder %M/rock.|Removed the shared sub folder %M/pop.|"
             "\nEnableGraffiti=Y\n|\nWelcomeMessageText=Hi = there\n|Shared folders:\n  %M\n"},
            // A command for another settings file does not reach the program.
            {"--settings|%M/../other.reg|--set|Force=Y", 0, ""},
            {"--show-settings", 0, "\nForce=N\n|\nShowWelcomeGraphic=Y\n"},
        };
        const auto expand = [&music](const char* text) {
            return QString::fromUtf8(text).replace(u"%M"_s, music).split(u'|', Qt::SkipEmptyParts);
        };
        for (const auto& step : steps) {
            const QByteArray before = fileContents(machine.settingsFile);
            const auto done = machine.run(expand(step.arguments));
            QCOMPARE(done.exitCode, step.code);
            for (const QString& text : expand(step.texts))
                QVERIFY2(QString::fromLocal8Bit(done.out + done.err).contains(text),
                         done.out + done.err);
            if (step.code == 2)
                QCOMPARE(fileContents(machine.settingsFile), before);
        }
        // 50 commands at once, each sharing its own folder, the first ones
        // also setting an option each: every change is kept.
        QProcess commands[50];
        QByteArrayList expected;
        for (int i = 0; i < std::ssize(commands); ++i) {
            const QString folder = machine.dir.filePath(u"f%1"_s.arg(i));
            QVERIFY(QDir().mkpath(folder));
            QStringList arguments = machine.command({u"--share"_s, folder});
            expected << "\n  " + folder.toUtf8() + "\n";
            if (i < Settings::OptionCount) {
                const QString assignment = changed(Settings::Option(i), u"text %1"_s.arg(i));
                arguments << u"--set"_s << assignment;
                expected << '\n' + assignment.toUtf8() + '\n';
            }
            commands[i].setProcessEnvironment(machine.program.Environment());
            commands[i].start(TestSupport::programPath(), arguments);
        }
        for (QProcess& command : commands) {
            QVERIFY(command.waitForFinished(120000));
            QCOMPARE(command.exitStatus(), QProcess::NormalExit);
            QCOMPARE(command.exitCode(), 0);
        }
        const QByteArray shown = machine.run({u"--show-settings"_s}).out;
        for (const QByteArray& line : std::as_const(expected))
            QVERIFY2(shown.contains(line), line.constData());
        // The program's next start finds every change, with first-run values for the rest.
        if (programRuns)
            QCOMPARE(machine.program.Stop(), 0);
        QCOMPARE(machine.shownSettings(), shown);
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
