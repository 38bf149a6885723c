// Administration from the command line, run in-process: on the settings file
// while no program runs, and through the running program's administration
// socket (commands reach the live settings and shared folders, a command for
// another settings file does not, malformed requests are dropped).

#include "app/AdminChannel.h"
#include "app/AdminCommands.h"
#include "app/AdminServer.h"
#include "settings/SettingsPaths.h"
#include "settings/SharedFolderList.h"
#include "support/TempSettings.h"

#include <QCommandLineParser>
#include <QDir>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>
#include <QTextStream>

#include <chrono>
#include <future>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    int code = -1;
    QString text; // standard output and error
};

// A command line run as the pocketlane program runs it, on a thread of its
// own, so that an administration server in this thread can answer it. Without
// a settings file, the one POCKETLANE_SETTINGS names is used.
Run run(const QString& settingsFile, const QStringList& arguments) {
    auto done = std::async(std::launch::async, [=] {
        QCommandLineParser parser;
        addAdminOptions(parser);
        Run result;
        const QStringList settings =
            settingsFile.isEmpty() ? QStringList() : QStringList{u"--settings"_s, settingsFile};
        if (!parser.parse(QStringList{u"pocketlane"_s} + settings + arguments) ||
            !wantsAdminCommand(parser))
            return result;
        QTextStream out(&result.text);
        result.code = runAdminCommands(parser, out, out);
        return result;
    });
    const bool finished = QTest::qWaitFor(
        [&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 60000);
    return finished ? done.get() : Run{};
}

// A running program's settings, shared folders and administration socket.
struct RunningProgram {
    TempSettings owner;
    SharedFolderList folders{*owner.store, *owner.log};
    AdminServer admin{owner.file, *owner.settings, folders, *owner.log};
};

// A command and what it gives: its exit code and texts its output or error
// hold, each list split at "|"; %M stands for a music folder.
struct Step {
    const char* arguments;
    int code;
    const char* texts;
};

} // namespace

class TestAdminCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commands_data() {
        QTest::addColumn<bool>("programRuns");
        QTest::newRow("no program, the file POCKETLANE_SETTINGS names") << false;
        QTest::newRow("program running") << true;
    }
    void commands() {
        QFETCH(bool, programRuns);
        std::unique_ptr<RunningProgram> program;
        QTemporaryDir dir;
        QString file = dir.filePath(u"s.reg"_s);
        if (programRuns) {
            program = std::make_unique<RunningProgram>();
            QVERIFY(program->admin.Listen());
            file = program->owner.file;
        }
        qputenv(SettingsPaths::SettingsVariable, file.toLocal8Bit());
        const QString music = dir.filePath(u"music"_s);
        for (const char* folder : {"/rock", "/pop"})
            QVERIFY(QDir().mkpath(music + QLatin1StringView(folder)));
        const Step steps[] = {
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
        };
        const auto expand = [&music](const char* text) {
            return QString::fromUtf8(text).replace(u"%M"_s, music).split(u'|', Qt::SkipEmptyParts);
        };
        for (const Step& step : steps) {
            const QByteArray before = fileContents(file);
            const Run done = run(programRuns ? file : QString(), expand(step.arguments));
            QCOMPARE(done.code, step.code);
            for (const QString& text : expand(step.texts))
                QVERIFY2(done.text.contains(text), qPrintable(done.text));
            if (step.code == 2)
                QCOMPARE(fileContents(file), before);
        }
        qunsetenv(SettingsPaths::SettingsVariable);
        if (programRuns) {
            QVERIFY(program->owner.settings->enableGraffiti());
            QCOMPARE(program->folders.folders(), QList<QByteArray>{music.toUtf8()});
            // A command for another settings file does not reach the program.
            QCOMPARE(run(dir.filePath(u"other.reg"_s), {u"--set"_s, u"Force=Y"_s}).code, 0);
            QVERIFY(!program->owner.settings->force());
        }
        // The program's next start finds every change, with first-run values for the rest.
        TempSettings next;
        next.file = file;
        next.restart();
        QVERIFY(next.settings->enableGraffiti());
        QCOMPARE(next.settings->welcomeMessageText(), QByteArray("Hi = there"));
        QVERIFY(next.settings->showWelcomeGraphic());
        SharedFolderList shared(*next.store, *next.log);
        shared.ReloadSharedFolders();
        QCOMPARE(shared.folders(), QList<QByteArray>{music.toUtf8()});
    }

    void malformedRequestsAreDroppedAndServingGoesOn_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("endless frame") << QByteArray(2 << 20, '\xFF');
        QTest::newRow("broken inner size") << QByteArray("\0\0\0\x08\0\0\0\x09--se", 12);
    }
    void malformedRequestsAreDroppedAndServingGoesOn() {
        QFETCH(QByteArray, request);
        RunningProgram program;
        QVERIFY(program.admin.Listen());
        QLocalSocket intruder;
        intruder.connectToServer(AdminChannel::SocketPath(program.owner.file));
        QVERIFY(intruder.waitForConnected(5000));
        intruder.write(request);
        QTRY_COMPARE(intruder.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(intruder.readAll(), QByteArray());
        QCOMPARE(run(program.owner.file, {u"--set"_s, u"Force=Y"_s}).code, 0);
        QVERIFY(program.owner.settings->force());
    }
};

QTEST_GUILESS_MAIN(TestAdminCommands)
#include "tst_admincommands.moc"
