// The running program's administration socket, in-process: commands from
// another thread reach the live settings and shared folders, a command for
// another settings file does not, and malformed requests are dropped.

#include "app/AdminCommands.h"
#include "app/AdminServer.h"
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

struct Result {
    int code = -1;
    QString out;
    QString err;
};

// A command line run as the pocketlane program runs it, on a thread of its
// own while the test's event loop serves.
Result administer(const QString& settingsFile, const QStringList& arguments) {
    auto done = std::async(std::launch::async, [=] {
        QCommandLineParser parser;
        addAdminOptions(parser);
        Result result;
        if (!parser.parse(QStringList{QStringLiteral("pocketlane"), QStringLiteral("--settings"),
                                      settingsFile} +
                          arguments))
            return result;
        QTextStream out(&result.out);
        QTextStream err(&result.err);
        result.code = runAdminCommands(parser, out, err);
        return result;
    });
    const bool finished = QTest::qWaitFor(
        [&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 60000);
    return finished ? done.get() : Result{};
}

// The running program's state and its administration socket.
struct RunningProgram {
    TempSettings owner;
    SharedFolderList folders{*owner.store, *owner.log};
    AdminServer admin{owner.file, *owner.settings, folders, *owner.log};
};

} // namespace

class TestAdminServer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandsChangeTheLiveSettingsAndTheFile() {
        RunningProgram program;
        QVERIFY(program.admin.Listen());
        QSignalSpy graffiti(program.owner.settings.get(), &Settings::enableGraffitiChanged);
        const QString music = program.owner.dir.filePath(QStringLiteral("music"));
        QVERIFY(QDir().mkpath(music));

        const Result done =
            administer(program.owner.file,
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

        const Result refused =
            administer(program.owner.file, {QStringLiteral("--set"), QStringLiteral("Force=yes")});
        QCOMPARE(refused.code, 2);
        const Result missing =
            administer(program.owner.file, {QStringLiteral("--unshare"), QStringLiteral("/nope")});
        QCOMPARE(missing.code, 1);
        QCOMPARE(missing.err, QStringLiteral("/nope is not a shared folder.\n"));
    }

    void anotherSettingsFileIsNotReached() {
        RunningProgram program;
        QVERIFY(program.admin.Listen());
        QTemporaryDir other;
        const QString otherFile = other.filePath(QStringLiteral("other.reg"));
        QVERIFY(AdminServer::SocketPath(otherFile) != AdminServer::SocketPath(program.owner.file));

        QCOMPARE(administer(otherFile, {QStringLiteral("--set"), QStringLiteral("Force=Y")}).code,
                 0);
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

        QCOMPARE(
            administer(program.owner.file, {QStringLiteral("--set"), QStringLiteral("Force=Y")})
                .code,
            0);
        QVERIFY(program.owner.settings->force());
    }
};

QTEST_GUILESS_MAIN(TestAdminServer)
#include "tst_adminserver.moc"
