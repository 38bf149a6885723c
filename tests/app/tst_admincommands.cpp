#include "app/AdminCommands.h"
#include "settings/SettingsPaths.h"
#include "support/TempSettings.h"

#include <QCommandLineParser>
#include <QDir>
#include <QTest>
#include <QTextStream>

namespace {

struct Run {
    int code = -1;
    QString out;
    QString err;
};

Run run(const QString& settingsFile, const QStringList& arguments) {
    QCommandLineParser parser;
    addAdminOptions(parser);
    const QStringList argv =
        QStringList{QStringLiteral("pocketlane"), QStringLiteral("--settings"), settingsFile} +
        arguments;
    Run result;
    if (!parser.parse(argv) || !wantsAdminCommand(parser))
        return result;
    QTextStream out(&result.out);
    QTextStream err(&result.err);
    result.code = runAdminCommands(parser, out, err);
    return result;
}

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
};

QTEST_GUILESS_MAIN(TestAdminCommands)
#include "tst_admincommands.moc"
