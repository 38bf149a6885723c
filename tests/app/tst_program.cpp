// The real program: its command line and start-up faults, the doorbell by
// which a second start reaches the running program, and the program
// restarted on the same settings file: the owner's options outlive serving
// and a termination; administration commands, on the settings file while no
// program runs and through the running program's administration socket, take
// effect at once and last, also when given all at once.

#include "app/AdminChannel.h"
#include "app/Application.h"
#include "app/InstanceDoorbell.h"
#include "app/ProcessLimits.h"
#include "app/SingleInstanceLock.h"
#include "settings/Settings.h"
#include "settings/SettingsFileLock.h"
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

#include <sys/stat.h>
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
        option == Settings::Port                                                     ? u"8081"_s
        : !Settings::IsSwitch(option)                                                ? text
        : option == Settings::ShowWelcomeGraphic || option == Settings::KeepGraffiti ? u"N"_s
                                                                                     : u"Y"_s;
    return QString::fromLatin1(Settings::ValueName(option)) + u'=' + value;
}

const QStringList Nobody = {u"setpriv"_s, u"--reuid=65534"_s, u"--regid=65534"_s,
                            u"--clear-groups"_s};

// Whether the program can be run as nobody, who may not take port 80; opens
// its folders to nobody then.
bool canServeAsNobody(const PocketlaneProcess& program) {
    QFile lowPorts(u"/proc/sys/net/ipv4/ip_unprivileged_port_start"_s);
    if (::geteuid() != 0 || QStandardPaths::findExecutable(Nobody.first()).isEmpty() ||
        !lowPorts.open(QIODevice::ReadOnly) || lowPorts.readAll().trimmed().toInt() <= 80)
        return false;
    return QFile::setPermissions(program.Environment().value(u"XDG_RUNTIME_DIR"_s),
                                 QFileDevice::Permissions(0x7777));
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
        QTest::newRow("help") << QStringList{u"--help"_s} << QStringList() << 0 << u"(?s)^Usage: pocketlane \\[options\\]\n(?=.*--port <n>)(?=.*--headless)"_s;
        QTest::newRow("version") << QStringList{u"--version"_s} << QStringList() << 0 << u"^pocketlane \\d+\\.\\d+\n$"_s;
        QTest::newRow("port out of range") << QStringList{u"--port"_s, u"70000"_s} << QStringList() << 2 << u"--port"_s;
        // The message is the last word: nothing is logged after it.
        QTest::newRow("taken port") << QStringList{u"--headless"_s, u"--port"_s, u"taken"_s} << QStringList() << 1
                                    << u"\nThe port taken is already in use on this machine\\.\n$"_s;
        // A second start on the same settings file says where the first runs; the first keeps serving.
        QTest::newRow("second instance") << QStringList{u"--headless"_s, u"--port"_s, u"free"_s} << QStringList() << 1
            << u"^Pocketlane already runs on the settings file .*/settings.reg \\(process \\d+\\)\\."_s;
        QTest::newRow("port 80 without the right") << QStringList{u"--headless"_s, u"--port"_s, u"80"_s}
            << Nobody
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
        if (!wrapper.isEmpty() && !canServeAsNobody(first))
            QSKIP("needs root, setpriv and privileged low ports");
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
            // Another settings file, another program, beside the first.
            PocketlaneProcess other;
            other.Process().setProcessEnvironment(environment);
            QVERIFY2(other.Start({u"--settings"_s, first.Environment().value(u"XDG_CONFIG_HOME"_s) +
                                                       u"/other.reg"_s}),
                     other.StandardError().constData());
            QCOMPARE(first.Stop(), 0);
            QCOMPARE(other.Stop(), 0);
        }
    }

    // A normal user's start without --port, where port 80 needs root: the
    // program serves on 8080 or the next free port and says so; SIGTERM
    // leaves a closing line.
    void normalUserServesOnTheFallbackPort() {
        PocketlaneProcess program;
        if (!canServeAsNobody(program))
            QSKIP("needs root, setpriv and privileged low ports");
        program.Launch({u"--headless"_s, u"--offline"_s}, Nobody);
        const QRegularExpression note(u"2 Port 80 is not allowed for this user, so Pocketlane "
                                      "serves on port (\\d+) instead .*setcap "
                                      "cap_net_bind_service=\\+ep /.*pocketlane\n"_s);
        QRegularExpressionMatch found;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         found = note.match(QString::fromLocal8Bit(program.StandardError()));
                         return found.hasMatch() ||
                                program.Process().state() == QProcess::NotRunning;
                     },
                     30000),
                 program.StandardError().constData());
        QVERIFY2(found.hasMatch(), program.StandardError().constData());
        const quint16 port = quint16(found.captured(1).toUInt());
        QVERIFY(port >= 8080 && port < 8180);
        LoopbackClient phone(port);
        phone.Send(LoopbackClient::Request("/"));
        QVERIFY(phone.WaitClosed());
        QVERIFY(phone.Received().contains("<card"));
        QCOMPARE(program.Stop(), 0);
        QVERIFY2(program.StandardError().endsWith(" 2 Pocketlane is closing (SIGTERM).\n"),
                 program.StandardError().constData());
    }

    // Without XDG_RUNTIME_DIR the runtime folder is the user's own in the
    // temporary folder: made by the program, or refused when someone else
    // could reach in; a lock file left there holds nothing.
    void runtimeFolderWithoutXdgRuntimeDir_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("none yet") << QString() << QString();
        QTest::newRow("own, with a planted lock") << u"own"_s << QString();
        QTest::newRow("another user's") << u"another user's"_s << u"another user made it"_s;
        QTest::newRow("open to others")
            << u"open"_s << u"other users may enter it \\(mode 777\\)"_s;
        QTest::newRow("a link") << u"link"_s << u"it is not a folder"_s;
    }
    void runtimeFolderWithoutXdgRuntimeDir() {
        QFETCH(QString, folder);
        QFETCH(QString, refusal);
        if (QFileInfo::exists(u"/run/user/%1"_s.arg(::getuid())))
            QSKIP("this user has a runtime folder in /run/user");
        QTemporaryDir temp;
        const QString runtime = temp.filePath(u"runtime-pocketlane-%1"_s.arg(::getuid()));
        PocketlaneProcess program;
        QProcessEnvironment environment = program.Environment();
        environment.remove(u"XDG_RUNTIME_DIR"_s);
        environment.insert(u"TMPDIR"_s, temp.path());
        program.Process().setProcessEnvironment(environment);
        if (folder == u"link"_s) {
            QVERIFY(QFile::link(temp.path(), runtime));
        } else if (!folder.isEmpty()) {
            QVERIFY(QDir().mkdir(runtime));
            QVERIFY(::chmod(QFile::encodeName(runtime).constData(),
                            folder == u"open"_s ? 0777 : 0700) == 0);
            if (folder == u"another user's"_s)
                QVERIFY(::chown(QFile::encodeName(runtime).constData(), 65534, 65534) == 0);
        }
        if (folder == u"own"_s) {
            qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
            const QString settings =
                environment.value(u"XDG_CONFIG_HOME"_s) + u"/pocketlane/settings.reg"_s;
            QFile planted(SingleInstanceLock(settings).LockFilePath());
            qunsetenv("XDG_RUNTIME_DIR");
            QVERIFY(planted.open(QIODevice::WriteOnly) && planted.write("not a process\n") > 0);
        }
        if (refusal.isEmpty()) {
            QVERIFY2(program.Start(), program.StandardError().constData());
            QCOMPARE(QFileInfo(runtime).permissions() & 0x0777, QFileDevice::Permissions(0x0700));
            QCOMPARE(program.Stop(), 0);
            return;
        }
        const auto run =
            PocketlaneProcess::RunToEnd({u"--headless"_s, u"--offline"_s, u"--port"_s,
                                         QString::number(PocketlaneProcess::FreePort())},
                                        environment);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(QRegularExpression(u"^Pocketlane cannot use the runtime folder .*: "_s + refusal +
                                    u"\\. Remove it, or set XDG_RUNTIME_DIR"_s)
                     .match(QString::fromLocal8Bit(run.err))
                     .hasMatch(),
                 run.err.constData());
    }

    // The Port option, run in-process: the listener takes it at start-up and
    // a change at its next start; a port out of range is refused.
    void portOptionTakesEffectAtTheNextStart() {
        OwnersMachine machine;
        const quint16 first = PocketlaneProcess::FreePort();
        QCOMPARE(machine.administer({u"--set"_s, u"Port=%1"_s.arg(first)}), 0);
        qputenv("XDG_RUNTIME_DIR", machine.dir.path().toLocal8Bit());
        CommandLineOptions options;
        options.settingsFile = machine.settingsFile;
        options.offline = true;
        Application application(options);
        QCOMPARE(application.Start(), Application::StartResult::Started);
        QCOMPARE(application.Server().Port(), first);
        Settings& settings = application.Options();
        for (const QByteArray refused : {"0", "65536", "80 ", "", "8o"})
            QVERIFY(!settings.setText(Settings::Port, refused));
        const quint16 next = PocketlaneProcess::FreePort();
        QVERIFY(settings.setText(Settings::Port, QByteArray::number(next)));
        QVERIFY(PocketlaneProcess::IsListening(first));
        application.Server().StopServer();
        // A stopped site shows no address; a restarted one its new port.
        QCOMPARE(application.Network().SiteUrls(), Reachability::SiteAddresses{});
        QVERIFY(application.Server().StartServer());
        QCOMPARE(application.Server().Port(), next);
        const QUrl lan = application.Network().SiteUrls().lan;
        QVERIFY(lan.isEmpty() || lan.port(80) == next);
        QVERIFY(!PocketlaneProcess::IsListening(first));
        QVERIFY(PocketlaneProcess::IsListening(next));
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
        const QStringList texts = {
            u"[SharedFolders]\n\"x\"=\"y\""_s, u"/pictures/my \"best\" = 1.wbmp"_s,
            u"pa$$\\word %HOME% with blanks "_s, u"50% off, today only 10%"_s};
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
                                      "\nWelcomeMessageText=Now 20% off = [today]\n",
                                      "\nPassword=pa$$\\word %HOME% with blanks \n"})
            QVERIFY2(before.contains(line), before.constData());
        QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        QVERIFY(machine.entryPage().contains("Now 20% off = [today]"));
        QCOMPARE(machine.program.Stop(), 0);
        QCOMPARE(machine.shownSettings(), before);
        QVERIFY(QDir(machine.dir.path()).entryList({u"settings.reg.unreadable-*"_s}).isEmpty());
    }

    // A file that cannot be read is neither served with other settings
    // (first-run ones, without the site password) nor changed by a command:
    // both end with a failure that names the file and the line.
    void unreadableSettingsAreNeverServedNorChanged() {
        OwnersMachine machine;
        QCOMPARE(machine.administer({u"--set"_s, u"EnablePassword=Y"_s}), 0);
        QFile file(machine.settingsFile);
        QVERIFY(file.open(QIODevice::Append));
        file.write("EnablePassword=N\n");
        file.close();
        const QByteArray damaged = fileContents(machine.settingsFile);
        const QByteArray problem = "The settings file " + machine.settingsFile.toUtf8() +
                                   " cannot be read (line " +
                                   QByteArray::number(damaged.count('\n')) + " cannot be read)";
        for (const QStringList& arguments : {machine.command({u"--headless"_s, u"--offline"_s}),
                                             machine.command({u"--set"_s, u"Force=Y"_s})}) {
            const auto run = machine.run(arguments);
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.err.contains(problem), run.err.constData());
        }
        QCOMPARE(fileContents(machine.settingsFile), damaged);
        QCOMPARE(QDir(machine.dir.path()).entryList(QDir::Files),
                 (QStringList{u"settings.reg"_s, u"settings.reg.lock"_s}));
    }

    // An administration command stopped while it holds the settings file's
    // lock (the test holds it here) freezes no phone: the running program
    // takes a change at once and writes it once the lock is free.
    void heldLockFreezesNoPhone() {
        OwnersMachine machine;
        QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        qputenv("XDG_RUNTIME_DIR",
                machine.program.Environment().value(u"XDG_RUNTIME_DIR"_s).toLocal8Bit());
        {
            const SettingsFileLock stoppedCommand(machine.settingsFile);
            AdminConnection command;
            QCOMPARE(command.connectTo(machine.settingsFile), AdminConnection::Connected);
            const auto reply = command.ask({u"--set"_s, u"WelcomeMessageText=Changed"_s});
            QVERIFY(reply && reply->exitCode == 0);
            QVERIFY(machine.entryPage().contains("Changed"));
            QVERIFY(!fileContents(machine.settingsFile).contains("Changed"));
        }
        QTRY_VERIFY(fileContents(machine.settingsFile).contains("Changed"));
        QCOMPARE(machine.program.Stop(), 0);
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
            // Frames that announce more than a command line are closed at once,
            // half-sent ones when their time is up: 100 of each hold no memory.
            for (const QByteArray& request :
                 {QByteArray(64 << 10, '\xFF'), QByteArray("\0\0\0\x08\0\0\0\x09--se", 12),
                  QByteArray("\0\x10\0\0", 4) + QByteArray(64 << 10, 'x'),
                  QByteArray("\0\0\0\x64\0\0\0\x60--set", 13)}) {
                std::vector<std::unique_ptr<QLocalSocket>> intruders;
                for (int i = 0; i < 100; ++i) {
                    intruders.push_back(std::make_unique<QLocalSocket>());
                    intruders.back()->connectToServer(
                        AdminChannel::SocketPath(machine.settingsFile));
                    QVERIFY(intruders.back()->waitForConnected(5000));
                    intruders.back()->write(request);
                }
                for (const auto& intruder : intruders) {
                    QTRY_COMPARE_WITH_TIMEOUT(intruder->state(), QLocalSocket::UnconnectedState,
                                              30000);
                    QCOMPARE(intruder->readAll(), QByteArray());
                }
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
            {"--set|MyComputerPassword=4711", 0,
             "MyComputerPassword: This password could be guessed"},
            // Names and values outside the table change nothing, not even the good ones.
            {"--set|EnableGraffiti=N|--set|Colour=red", 2, "unknown setting \"Colour\""},
            {"--set|EnableGraffiti=N|--set|Force=yes", 2, "Force is a switch and takes Y or N"},
            {"--set|EnableGraffiti=N|--set|Force=y", 2, "takes Y or N"},
            {"--set|EnableGraffiti=N|--set|Force", 2, "--set needs NAME=VALUE"},
            // The folder of the settings file shows its name to visitors.
            {"--share|%M/..", 1, "holds Pocketlane's settings file"},
            {"--share|%M/..|--force", 0, "Sharing"},
            {"--unshare|%M/..", 0, ""},
            {"--set|EnableGraffiti=N|--set|Port=8o8o", 2,
             "Port takes a number from 1 to 65535, not \"8o8o\""},
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
