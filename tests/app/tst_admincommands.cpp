// Administration from the command line, run in-process: on the settings file
// while no program runs, and through the running program's administration
// socket (commands reach the live settings and shared folders, a command for
// another settings file does not, malformed requests are dropped).

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

namespace {

struct Run {
    int code = -1;
    QString out;
    QString err;
};

// A command line run as the pocketlane program runs it, on a thread of its
// own, so that an administration server in this thread can answer it.
Run run(const QString& settingsFile, const QStringList& arguments) {
    auto done = std::async(std::launch::async, [=] {
        QCommandLineParser parser;
        addAdminOptions(parser);
        Run result;
        if (!parser.parse(QStringList{QStringLiteral("pocketlane"), QStringLiteral("--settings"),
                                      settingsFile} +
                          arguments) ||
            !wantsAdminCommand(parser))
            return result;
        QTextStream out(&result.out);
        QTextStream err(&result.err);
        result.code = runAdminCommands(parser, out, err);
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

} // namespace

class TestAdminCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void setWritesThroughTheSettingsAndShowPrintsThem() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("s.reg"));
        const Run set =
            run(file, {QStringLiteral("--set"), QStringLiteral("EnableGraffiti=Y"),
                       QStringLiteral("--set"), QStringLiteral("welcomemessagetext=Hi = there"),
                       QStringLiteral("--set"), QStringLiteral("Password=")});
        QCOMPARE(set.code, 0);
        QVERIFY2(set.err.isEmpty(), qPrintable(set.err));

        // The program's next start finds them, with the first-run values
        // for everything else.
        TempSettings t;
        t.file = file;
        t.restart();
        QVERIFY(t.settings->enableGraffiti());
        QCOMPARE(t.settings->welcomeMessageText(), QByteArray("Hi = there"));
        QVERIFY(t.settings->showWelcomeGraphic());

        const Run show = run(file, {QStringLiteral("--show-settings")});
        QCOMPARE(show.code, 0);
        QVERIFY(show.out.contains(QStringLiteral("\nEnableGraffiti=Y\n")));
        QVERIFY(show.out.contains(QStringLiteral("\nWelcomeMessageText=Hi = there\n")));
        QVERIFY(show.out.contains(QStringLiteral("\nGraffitiShowTime=N\n")));
        QVERIFY(show.out.contains(QStringLiteral("Shared folders: none")));
    }

    void namesAndValuesOutsideTheTableChangeNothing_data() {
        QTest::addColumn<QString>("assignment");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown name")
            << QStringLiteral("Colour=red") << QStringLiteral("unknown setting \"Colour\"");
        QTest::newRow("switch word")
            << QStringLiteral("Force=yes") << QStringLiteral("Force is a switch and takes Y or N");
        QTest::newRow("lower-case switch")
            << QStringLiteral("Force=y") << QStringLiteral("takes Y or N");
        QTest::newRow("no value") << QStringLiteral("Force")
                                  << QStringLiteral("--set needs NAME=VALUE");
    }

    void namesAndValuesOutsideTheTableChangeNothing() {
        QFETCH(QString, assignment);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("s.reg"));
        QCOMPARE(run(file, {QStringLiteral("--set"), QStringLiteral("EnableGraffiti=Y")}).code, 0);
        const QByteArray before = fileContents(file);
        const Run refused = run(file, {QStringLiteral("--set"), QStringLiteral("EnableGraffiti=N"),
                                       QStringLiteral("--set"), assignment});
        QCOMPARE(refused.code, 2);
        QVERIFY2(refused.err.contains(message), qPrintable(refused.err));
        QCOMPARE(fileContents(file), before);
    }

    void shareAndUnshareFolders() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("s.reg"));
        const QString music = dir.filePath(QStringLiteral("music"));
        QVERIFY(QDir().mkpath(music + QStringLiteral("/rock")));
        QVERIFY(QDir().mkpath(music + QStringLiteral("/pop")));

        Run r = run(file, {QStringLiteral("--share"), music + QStringLiteral("/rock/"),
                           QStringLiteral("--share"), music + QStringLiteral("/pop")});
        QCOMPARE(r.code, 0);
        r = run(file, {QStringLiteral("--share"), music, QStringLiteral("--show-settings")});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains(QStringLiteral("Removed the shared sub folder ") + music +
                               QStringLiteral("/rock.")));
        QVERIFY(r.out.contains(QStringLiteral("Removed the shared sub folder ") + music +
                               QStringLiteral("/pop.")));
        QVERIFY(r.out.endsWith(QStringLiteral("Shared folders:\n  ") + music + u'\n'));

        r = run(file, {QStringLiteral("--share"), music + QStringLiteral("/rock")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("is already being shared")));
        r = run(file, {QStringLiteral("--share"), dir.filePath(QStringLiteral("missing"))});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("it is not a folder")));
        r = run(file, {QStringLiteral("--unshare"), music + QStringLiteral("/rock")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("is not a shared folder")));

        r = run(file, {QStringLiteral("--unshare"), music, QStringLiteral("--show-settings")});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains(QStringLiteral("Shared folders: none")));
    }

    void withoutAdminOptionsTheServerRuns() {
        QCommandLineParser parser;
        addAdminOptions(parser);
        QVERIFY(parser.parse({QStringLiteral("pocketlane"), QStringLiteral("--settings"),
                              QStringLiteral("/tmp/x.reg")}));
        QVERIFY(!wantsAdminCommand(parser));
        qputenv(SettingsPaths::SettingsVariable, "/tmp/from-env.reg");
        QCOMPARE(SettingsPaths::SettingsFile(), QStringLiteral("/tmp/from-env.reg"));
        qunsetenv(SettingsPaths::SettingsVariable);
        QCOMPARE(SettingsPaths::SettingsFile(settingsOptionValue(parser)),
                 QStringLiteral("/tmp/x.reg"));
    }

    // While a program runs on the settings file, commands go to it.
    void commandsChangeTheLiveSettingsAndTheFile() {
        RunningProgram program;
        QVERIFY(program.admin.Listen());
        QSignalSpy graffiti(program.owner.settings.get(), &Settings::enableGraffitiChanged);
        const QString music = program.owner.dir.filePath(QStringLiteral("music"));
        QVERIFY(QDir().mkpath(music));

        const Run done = run(program.owner.file,
                             {QStringLiteral("--set"), QStringLiteral("EnableGraffiti=Y"),
                              QStringLiteral("--share"), music, QStringLiteral("--show-settings")});
        QCOMPARE(done.code, 0);
        QCOMPARE(graffiti.size(), 1);
        QCOMPARE(program.folders.folders(), QList<QByteArray>{music.toUtf8()});
        QVERIFY(done.out.startsWith(QStringLiteral("Sharing ") + music));
        QVERIFY(done.out.contains(QStringLiteral("\nEnableGraffiti=Y\n")));
        QVERIFY(done.out.endsWith(QStringLiteral("Shared folders:\n  ") + music + u'\n'));
        const QByteArray file = fileContents(program.owner.file);
        QVERIFY(file.contains("\"EnableGraffiti\"=\"Y\""));
        QVERIFY(file.contains('"' + music.toUtf8() + "\"=\"\""));

        const Run refused =
            run(program.owner.file, {QStringLiteral("--set"), QStringLiteral("Force=yes")});
        QCOMPARE(refused.code, 2);
        const Run missing =
            run(program.owner.file, {QStringLiteral("--unshare"), QStringLiteral("/nope")});
        QCOMPARE(missing.code, 1);
        QCOMPARE(missing.err, QStringLiteral("/nope is not a shared folder.\n"));
    }

    void anotherSettingsFileIsNotReached() {
        RunningProgram program;
        QVERIFY(program.admin.Listen());
        QTemporaryDir other;
        const QString otherFile = other.filePath(QStringLiteral("other.reg"));
        QVERIFY(AdminServer::SocketPath(otherFile) != AdminServer::SocketPath(program.owner.file));

        QCOMPARE(run(otherFile, {QStringLiteral("--set"), QStringLiteral("Force=Y")}).code, 0);
        QVERIFY(!program.owner.settings->force());
        QVERIFY(fileContents(otherFile).contains("\"Force\"=\"Y\""));
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
        intruder.connectToServer(AdminServer::SocketPath(program.owner.file));
        QVERIFY(intruder.waitForConnected(5000));
        intruder.write(request);
        QTRY_COMPARE(intruder.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(intruder.readAll(), QByteArray());

        QCOMPARE(run(program.owner.file, {QStringLiteral("--set"), QStringLiteral("Force=Y")}).code,
                 0);
        QVERIFY(program.owner.settings->force());
    }
};

QTEST_GUILESS_MAIN(TestAdminCommands)
#include "tst_admincommands.moc"
