#include "settings/SettingsPaths.h"
#include "settings/SettingsStorage.h"
#include "support/TempSettings.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

namespace {

using O = Settings::Option;

// The values a first run stores, as the file's lines.
QList<QByteArray> FirstRunLines() {
    QList<QByteArray> lines{"\"WelcomeMessageText\"=\"Welcome to this Pocketlane users site\""};
    for (QByteArray pair :
         QByteArray("ShowWelcomeGraphic=Y WelcomeMessage=Y ExtendedLogging=N EnablePassword=N "
                    "Password= EnableMyComputerPassword=N MyComputerPassword= "
                    "EnableSharedFolders=N EnableGraffiti=N EnableMyComputer=N Force=N "
                    "ForceIfHung=N")
             .split(' '))
        lines << "\"" + pair.replace("=", "\"=\"") + "\"";
    return lines;
}

// Reads a WBMP multi-byte integer at pos.
int readMultiByte(const QByteArray& data, int& pos) {
    int value = 0;
    while (pos < data.size()) {
        const auto byte = quint8(data.at(pos++));
        value = (value << 7) | (byte & 0x7F);
        if (!(byte & 0x80))
            break;
    }
    return value;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstRunStoresTheFourteenValues() {
        TempSettings t;
        QList<QByteArray> lines = t.fileText().split('\n');
        lines.removeIf([](const QByteArray& line) { return !line.startsWith('"'); });
        QCOMPARE(lines.size(), 14);
        for (const QByteArray& expected : FirstRunLines())
            QVERIFY2(lines.contains(expected), expected.constData());
        QCOMPARE(t.settings->welcomeGraphicFilename(),
                 QFile::encodeName(SettingsPaths::WelcomeGraphicFile()));
        QVERIFY(!t.settings->graffitiShowDate()); // not stored, off
    }

    void onlyExactlyYIsOn() {
        TempSettings t;
        SettingsStorage::SaveSetting(*t.store, "EnableGraffiti", "y");
        SettingsStorage::SaveSetting(*t.store, "Force", "Yes");
        SettingsStorage::SaveSetting(*t.store, "ForceIfHung", "Y");
        t.restart();
        QVERIFY(!t.settings->enableGraffiti() && !t.settings->force());
        QVERIFY(t.settings->forceIfHung());
    }

    void moduleSwitchesAndStartupNoticesAreLogged() {
        TempSettings t;
        QCOMPARE(t.lines(LogDetail), (QStringList{QStringLiteral("File sharing is NOT enabled."),
                                                  QStringLiteral("Graffiti is NOT enabled."),
                                                  QStringLiteral("My Computer is NOT enabled.")}));
        t.settings->setSwitch(O::EnableGraffiti, true);
        t.settings->setSwitch(O::EnableMyComputer, true);
        t.settings->setSwitch(O::EnableMyComputerPassword, true);
        QCOMPARE(t.lines(LogDetail).mid(3),
                 (QStringList{QStringLiteral("Graffiti has been enabled"),
                              QStringLiteral("My Computer has been enabled")}));

        // On, with its password switch on but no password: the warning.
        t.restart();
        QCOMPARE(t.lines(LogDetail), (QStringList{QStringLiteral("Graffiti has been enabled"),
                                                  QStringLiteral("My Computer has been enabled"),
                                                  QStringLiteral("File sharing is NOT enabled.")}));
        QCOMPARE(t.lines(LogError), QStringList{QStringLiteral(
                                        "WARNING! No password is set/enabled for My "
                                        "Computer. Anyone could potentially shut down your PC!")});
        t.settings->setText(O::MyComputerPassword, "secret");
        t.restart();
        QVERIFY(t.lines(LogError).isEmpty());
    }

    void optionsKeyMissingLoadsNothingAndStoresNothing() {
        TempSettings t;
        QFile::remove(t.file);
        t.store->load(nullptr);
        SettingsStorage::AddSharedFolderSetting(*t.store, "/srv");
        t.restart();
        QVERIFY(!t.settings->showWelcomeGraphic());
        QVERIFY(t.settings->welcomeMessageText().isEmpty());
        QVERIFY(!t.fileText().contains("Options"));
    }

    void aFailedWriteIsLoggedAndTheOptionKeepsItsValue() {
        TempSettings t;
        QVERIFY(QFile::remove(t.file));
        QVERIFY(QDir(t.dir.path()).mkdir(QStringLiteral("settings.reg")));
        RegistryStore blocked(t.file);
        Settings settings(blocked, *t.log);
        QVERIFY(!settings.setSwitch(O::EnableGraffiti, true));
        QVERIFY(settings.enableGraffiti());
        QCOMPARE(t.lines(LogError).size(), 1);
        QVERIFY(t.lines(LogError).first().startsWith(
            QStringLiteral("Saving Error: Failed to create registry Key: 'SOFTWARE\\Pocketlane")));
        // A first run that cannot store its values.
        QVERIFY_THROWS_EXCEPTION(RegistryError, settings.LoadSettings());
    }

    void welcomeTextIsSafeForADeck() {
        TempSettings t;
        t.settings->setText(O::WelcomeMessageText, "Hi\x01 there\xFF");
        QCOMPARE(t.settings->welcomeMessageText(), QByteArray("Hi? there?"));
        QSignalSpy changed(t.settings.get(), &Settings::optionChanged);
        t.settings->setText(O::Password, "raw\x01");
        QCOMPARE(t.settings->password(), QByteArray("raw\x01"));
        QVERIFY(t.settings->setText(O::Password, "raw\x01"));
        QCOMPARE(changed.size(), 1); // no signal when nothing changes
    }

    void theWelcomePictureIsAWbmp() {
        const QByteArray data = fileContents(SettingsPaths::WelcomeGraphicFile());
        QCOMPARE(data.left(2), QByteArray("\0\0", 2)); // type 0, no extension headers
        int pos = 2;
        const int width = readMultiByte(data, pos);
        const int height = readMultiByte(data, pos);
        QVERIFY(width > 0 && width <= 100 && height > 0 && height <= 60);
        QCOMPARE(data.size(), pos + height * ((width + 7) / 8));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
