// The real program restarted on the same settings file: the owner's options
// outlive serving, a termination and a change made while the server runs, and
// a file damaged by a crash is kept aside rather than overwritten.

#include "settings/Settings.h"
#include "support/LoopbackClient.h"
#include "support/PocketlaneProcess.h"
#include "support/TempSettings.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A settings file in a temporary folder and the program that uses it.
struct OwnersMachine {
    QTemporaryDir dir;
    QString settingsFile = dir.filePath(QStringLiteral("settings.reg"));
    PocketlaneProcess program;

    PocketlaneProcess::Run administer(const QStringList& arguments) {
        return PocketlaneProcess::RunToEnd(QStringList{QStringLiteral("--settings"), settingsFile} +
                                               arguments,
                                           program.Environment());
    }

    QByteArray shownSettings() {
        const PocketlaneProcess::Run show = administer({QStringLiteral("--show-settings")});
        return show.exitCode == 0 ? show.out : QByteArray();
    }

    bool serve() { return program.Start({QStringLiteral("--settings"), settingsFile}); }

    QByteArray entryPage() {
        LoopbackClient client(program.Port());
        client.Send(LoopbackClient::Request("/"));
        return client.WaitClosed() ? client.Received() : QByteArray();
    }
};

// Every option of the table set away from its first-run value, texts with
// characters a file format could trip over.
QStringList everyOptionChanged() {
    const QStringList texts = {
        QStringLiteral("/pictures/my \"best\" = 1.wbmp"), QStringLiteral("50% off, today only 10%"),
        QStringLiteral("pa$$\\word with blanks "), QStringLiteral("[SharedFolders]\n\"x\"=\"y\"")};
    QStringList assignments;
    int text = 0;
    for (int index = 0; index < Settings::OptionCount; ++index) {
        const auto option = Settings::Option(index);
        const QString value =
            Settings::IsSwitch(option)
                ? QString::fromLatin1(option == Settings::ShowWelcomeGraphic ? "N" : "Y")
                : texts.at(text++ % texts.size());
        assignments << QStringLiteral("--set")
                    << QString::fromLatin1(Settings::ValueName(option)) + u'=' + value;
    }
    return assignments;
}

} // namespace

class TestSettingsRestart : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyOptionOutlivesServingAndRestarts() {
        OwnersMachine machine;
        QCOMPARE(machine.administer(everyOptionChanged()).exitCode, 0);
        const QByteArray before = machine.shownSettings();
        for (const QByteArray line : {"\nEnableGraffiti=Y\n", "\nShowWelcomeGraphic=N\n",
                                      "\nWelcomeMessageText=50% off, today only 10%\n"})
            QVERIFY2(before.contains(line), before.constData());

        for (int run = 0; run < 2; ++run) {
            QVERIFY2(machine.serve(), machine.program.StandardError().constData());
            QVERIFY(machine.entryPage().contains("50% off, today only 10%"));
            QCOMPARE(machine.program.Stop(), 0);
            QCOMPARE(machine.shownSettings(), before);
        }
        QVERIFY(QDir(machine.dir.path())
                    .entryList({QStringLiteral("settings.reg.unreadable-*")})
                    .isEmpty());
    }

    // The server writes nothing back when it ends, so a change made while
    // it serves is what the next start finds.
    void optionChangedWhileServingSurvivesTheEnd() {
        OwnersMachine machine;
        QCOMPARE(machine
                     .administer({QStringLiteral("--set"), QStringLiteral("WelcomeMessage=N"),
                                  QStringLiteral("--set"), QStringLiteral("ShowWelcomeGraphic=N")})
                     .exitCode,
                 0);
        QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        QVERIFY(machine.entryPage().contains("not currently allowing any modules"));
        QCOMPARE(machine.administer({QStringLiteral("--set"), QStringLiteral("EnableGraffiti=Y")})
                     .exitCode,
                 0);
        QCOMPARE(machine.program.Stop(), 0);

        QVERIFY(machine.shownSettings().contains("\nEnableGraffiti=Y\n"));
        QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        QVERIFY(machine.entryPage().contains(">Graffiti</a>"));
        QCOMPARE(machine.program.Stop(), 0);
    }

    void fileCutInHalfByACrashIsKeptAside() {
        OwnersMachine machine;
        QCOMPARE(machine
                     .administer({QStringLiteral("--set"), QStringLiteral("Password=secret"),
                                  QStringLiteral("--set"), QStringLiteral("EnableGraffiti=Y")})
                     .exitCode,
                 0);
        const QByteArray whole = fileContents(machine.settingsFile);
        const QByteArray half = whole.left(whole.size() / 2);
        QFile file(machine.settingsFile);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(half), half.size());
        file.close();

        // The program starts afresh and still serves ...
        QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        QVERIFY(machine.entryPage().contains("Welcome to this Pocketlane users site"));
        QCOMPARE(machine.program.Stop(), 0);
        // ... with the damaged file kept whole under another name, and says so
        // in a level-1 line.
        const QStringList aside =
            QDir(machine.dir.path()).entryList({QStringLiteral("settings.reg.unreadable-*")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(fileContents(machine.dir.filePath(aside.first())), half);
        const QByteArray err = machine.program.StandardError();
        const qsizetype line = err.indexOf(" 1 The settings file ");
        QVERIFY2(line > 0 && err.indexOf(aside.first().toUtf8(), line) > line, err.constData());
        QVERIFY(machine.shownSettings().contains("\nPassword=\n"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsRestart)
#include "tst_settingsrestart.moc"
