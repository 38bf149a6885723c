// The real program restarted on the same settings file: the owner's options
// outlive serving and a termination; a command given while the program runs
// takes effect at once and lasts; commands given all at once, to a running
// program or to none, each keep their change.

#include "app/ProcessLimits.h"
#include "settings/Settings.h"
#include "support/LoopbackClient.h"
#include "support/PocketlaneProcess.h"
#include "support/TestSupport.h"

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

    // The running program applies the command at once: the next phone
    // request sees it, and so does the next start.
    void commandWhileServingTakesEffectAtOnceAndLasts() {
        OwnersMachine machine;
        QCOMPARE(machine
                     .administer({QStringLiteral("--set"), QStringLiteral("WelcomeMessage=N"),
                                  QStringLiteral("--set"), QStringLiteral("ShowWelcomeGraphic=N")})
                     .exitCode,
                 0);
        QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        QVERIFY(machine.entryPage().contains("not currently allowing any modules"));
        const PocketlaneProcess::Run set =
            machine.administer({QStringLiteral("--set"), QStringLiteral("EnableGraffiti=Y")});
        QCOMPARE(set.exitCode, 0);
        QVERIFY(machine.entryPage().contains(">Graffiti</a>"));
        QCOMPARE(machine.program.Stop(), 0);

        QVERIFY(machine.shownSettings().contains("\nEnableGraffiti=Y\n"));
        QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        QVERIFY(machine.entryPage().contains(">Graffiti</a>"));
        QCOMPARE(machine.program.Stop(), 0);
    }

    void commandsAtTheSameTimeKeepEveryChange_data() {
        QTest::addColumn<bool>("programRuns");
        QTest::newRow("program running") << true;
        QTest::newRow("no program") << false;
    }

    // 200 commands started at once, each sharing its own folder, the first
    // ones also setting an option each: every change is kept.
    void commandsAtTheSameTimeKeepEveryChange() {
        QFETCH(bool, programRuns);
        constexpr int Commands = 200;
        RaiseOpenFileLimit();
        OwnersMachine machine;
        if (programRuns)
            QVERIFY2(machine.serve(), machine.program.StandardError().constData());
        QList<std::shared_ptr<QProcess>> commands;
        QByteArrayList expected;
        for (int i = 0; i < Commands; ++i) {
            const QString folder = machine.dir.filePath(QStringLiteral("f%1").arg(i));
            QVERIFY(QDir().mkpath(folder));
            QStringList arguments = {QStringLiteral("--settings"), machine.settingsFile,
                                     QStringLiteral("--share"), folder};
            expected << "\n  " + folder.toUtf8() + "\n";
            if (i < Settings::OptionCount) {
                const auto option = Settings::Option(i);
                const QByteArray value = Settings::IsSwitch(option)
                                             ? (i == 0 ? "N" : "Y")
                                             : "text " + QByteArray::number(i);
                arguments << QStringLiteral("--set")
                          << QString::fromLatin1(Settings::ValueName(option) + '=' + value);
                expected << '\n' + Settings::ValueName(option) + '=' + value + '\n';
            }
            auto command = std::make_shared<QProcess>();
            command->setProcessEnvironment(machine.program.Environment());
            command->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            command->setStandardOutputFile(QProcess::nullDevice());
            command->start(TestSupport::programPath(), arguments);
            commands << command;
        }
        for (const auto& command : std::as_const(commands)) {
            QVERIFY(command->waitForFinished(120000));
            QCOMPARE(command->exitStatus(), QProcess::NormalExit);
            QCOMPARE(command->exitCode(), 0);
        }
        const QByteArray shown = machine.shownSettings();
        if (programRuns)
            QCOMPARE(machine.program.Stop(), 0);
        for (const QByteArray& change : {shown, machine.shownSettings()}) {
            for (const QByteArray& line : std::as_const(expected))
                QVERIFY2(change.contains(line), line.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestSettingsRestart)
#include "tst_settingsrestart.moc"
