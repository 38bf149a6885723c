#include "settings/SettingsPaths.h"
#include "settings/SettingsStorage.h"
#include "settings/clsRegistry.h"
#include "support/TempSettings.h"

#include <QDir>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTest>

namespace {

using O = Settings::Option;

const QList<QByteArray> FirstRunLines = {
    "\"ShowWelcomeGraphic\"=\"Y\"",
    "\"WelcomeMessage\"=\"Y\"",
    "\"WelcomeMessageText\"=\"Welcome to this Pocketlane users site\"",
    "\"ExtendedLogging\"=\"N\"",
    "\"EnablePassword\"=\"N\"",
    "\"Password\"=\"\"",
    "\"EnableMyComputerPassword\"=\"N\"",
    "\"MyComputerPassword\"=\"\"",
    "\"EnableSharedFolders\"=\"N\"",
    "\"EnableGraffiti\"=\"N\"",
    "\"EnableMyComputer\"=\"N\"",
    "\"Force\"=\"N\"",
    "\"ForceIfHung\"=\"N\"",
};

void storeOption(TempSettings& t, const QByteArray& name, const QByteArray& value) {
    SettingsStorage::SaveSetting(*t.store, name, value);
}

// The stored values' lines of a settings file.
QList<QByteArray> valueLines(const QByteArray& text) {
    QList<QByteArray> lines;
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith('"'))
            lines << line;
    }
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
        const QList<QByteArray> lines = valueLines(t.fileText());
        QCOMPARE(lines.size(), 14);
        for (const QByteArray& expected : FirstRunLines)
            QVERIFY2(lines.contains(expected), expected.constData());
        QVERIFY(!t.fileText().contains("GraffitiShow"));
        QCOMPARE(t.settings->welcomeGraphicFilename(),
                 QFile::encodeName(SettingsPaths::WelcomeGraphicFile()));
        QVERIFY(QFile::exists(SettingsPaths::WelcomeGraphicFile()));
        QVERIFY(t.settings->showWelcomeGraphic() && t.settings->showWelcomeMessage());
        QVERIFY(!t.settings->enableGraffiti() && !t.settings->graffitiShowDate());
    }

    void onlyExactlyYIsOn() {
        TempSettings t;
        storeOption(t, "EnableGraffiti", "y");
        storeOption(t, "Force", "Yes");
        storeOption(t, "ForceIfHung", "Y");
        t.restart();
        QVERIFY(!t.settings->enableGraffiti());
        QVERIFY(!t.settings->force());
        QVERIFY(t.settings->forceIfHung());
    }

    // Each option has its own change signal, and only its own fires.
    void everyOptionSignalsItsOwnChange() {
        TempSettings t;
        QList<QMetaMethod> signalList;
        const QMetaObject& meta = Settings::staticMetaObject;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            if (meta.method(i).methodType() == QMetaMethod::Signal &&
                meta.method(i).name() != "optionChanged")
                signalList << meta.method(i);
        }
        QCOMPARE(signalList.size(), Settings::OptionCount);
        QSignalSpy any(t.settings.get(), &Settings::optionChanged);
        QSet<QByteArray> fired;
        for (int index = 0; index < Settings::OptionCount; ++index) {
            std::vector<std::unique_ptr<QSignalSpy>> spies;
            for (const QMetaMethod& signal : signalList)
                spies.push_back(std::make_unique<QSignalSpy>(t.settings.get(), signal));
            const auto option = O(index);
            if (Settings::IsSwitch(option))
                t.settings->setSwitch(option, !t.settings->isOn(option));
            else
                t.settings->setText(option, "changed");
            QByteArray firedName;
            for (size_t s = 0; s < spies.size(); ++s) {
                if (spies[s]->count() == 1)
                    firedName = signalList.at(int(s)).name();
                QVERIFY(spies[s]->count() <= 1);
            }
            QVERIFY(!firedName.isEmpty());
            fired.insert(firedName);
            QCOMPARE(any.last().first().value<O>(), option);
        }
        QCOMPARE(fired.size(), Settings::OptionCount);
        QCOMPARE(t.settings->setText(O::Password, "changed"), true);
        QCOMPARE(any.size(), Settings::OptionCount); // no signal when nothing changes
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
        const QString warning =
            QStringLiteral("WARNING! No password is set/enabled for My "
                           "Computer. Anyone could potentially shut down your PC!");
        QCOMPARE(t.lines(LogError), QStringList{warning});
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
        bool raised = false;
        try {
            settings.LoadSettings(); // a first run that cannot store its values
        } catch (const RegistryError&) {
            raised = true;
        }
        QVERIFY(raised);
    }

    void welcomeTextIsSafeForADeck() {
        TempSettings t;
        t.settings->setText(O::WelcomeMessageText, "Hi\x01 there\xFF");
        QCOMPARE(t.settings->welcomeMessageText(), QByteArray("Hi? there?"));
        t.settings->setText(O::Password, "raw\x01");
        QCOMPARE(t.settings->password(), QByteArray("raw\x01"));
        QVERIFY(!t.settings->isEditable(O::Password));
        QVERIFY(t.settings->isEditable(O::WelcomeMessageText));
    }

    void theWelcomePictureIsAWbmp() {
        QFile picture(SettingsPaths::WelcomeGraphicFile());
        QVERIFY(picture.open(QIODevice::ReadOnly));
        const QByteArray data = picture.readAll();
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
