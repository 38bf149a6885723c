#include "base/SafeText.h"
#include "base/StatusLog.h"
#include "settings/RegistryKeys.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/clsRegistry.h"
#include "support/TempSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray Options = "SOFTWARE\\Pocketlane\\Options";

clsRegistry registryAt(RegistryStore& store, const QByteArray& section,
                       const QByteArray& name = {}) {
    clsRegistry registry(store);
    registry.setClassKey(clsRegistry::HKEY_LOCAL_MACHINE);
    registry.setSectionKey(section);
    registry.setValueKey(name);
    return registry;
}

void write(RegistryStore& store, const QByteArray& section, const QByteArray& name,
           const QByteArray& value) {
    registryAt(store, section, name).setValue(value);
}

QByteArray read(RegistryStore& store, const QByteArray& section, const QByteArray& name) {
    return registryAt(store, section, name).Value();
}

QString raisedDescription(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const RegistryError& error) {
        if (error.Number() != 26001 || !error.Source().endsWith(QStringLiteral(".cRegistry")))
            return QStringLiteral("wrong number or source");
        return error.Description();
    }
    return QString();
}

} // namespace

class TestRegistryStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyTextSurvivesTheFileAsOneReadableLine() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.reg"));
        const QList<QByteArray> texts = {
            "plain",
            "with \"quotes\" and \\back\\slashes\\",
            "two\nlines\r\n",
            "tab\tbell\x07",
            QByteArray("nul\0byte", 8),
            "caf\xC3\xA9 \xE9 \xFF",
            "",
            "]=[\"=\"",
        };
        {
            RegistryStore store(path);
            for (int i = 0; i < texts.size(); ++i)
                write(store, Options, "Name " + texts.at(i), texts.at(i));
        }
        const QByteArray file = fileContents(path);
        QCOMPARE(SafeText::MakeXmlSafe(file), file); // valid UTF-8, no stray control bytes
        QCOMPARE(file.count('\n'), file.split('\n').size() - 1);

        RegistryStore again(path);
        again.load(nullptr);
        QList<QByteArray> names;
        int count = 0;
        QVERIFY(registryAt(again, Options).EnumerateValues(names, count));
        QCOMPARE(count, texts.size());
        for (int i = 0; i < texts.size(); ++i) {
            QCOMPARE(names.at(i), "Name " + texts.at(i));
            QCOMPARE(read(again, Options, names.at(i)), texts.at(i));
        }
    }

    // Every byte value, alone and among others, in key paths, value names and
    // texts: what the writer writes, a fresh start reads back unchanged, and
    // writing that again gives the same file. Backslashes in key paths make
    // parent keys, empty ones included.
    void everyByteSurvivesTheFileInKeysNamesAndTexts() {
        QList<QByteArray> keyPaths = {"A\\\\B", "A\\", "\\A", "\\", "\"A\"", "[A]", " A ", "A\r"};
        for (int byte = 0; byte < 256; ++byte) {
            const QByteArray b(1, char(byte));
            keyPaths << "HKEY_LOCAL_MACHINE\\SOFTWARE\\K" + b + "[" + b + "]"
                     << "K" + b + "\\" + b;
        }
        RegistryKeys written;
        for (int i = 0; i < keyPaths.size(); ++i) {
            const QByteArray b(1, char(i % 256));
            const qsizetype key = written.ensure(keyPaths.at(i));
            written.setValue(key, {b + "\"\\" + b, "x" + b + b, i % 2 == 0});
            written.setValue(key, {b, b, false});
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.reg"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray text = RegistryStore::serialize(written.keys());
        file.write(text);
        file.close();
        QCOMPARE(SafeText::MakeXmlSafe(text), text);

        StatusLog log;
        RegistryStore store(path);
        store.load(&log);
        QVERIFY(log.lines().isEmpty());
        QVERIFY(store.keyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\[")); // parent of K\[\]
        QVERIFY(store.keyExists("A\\"));                                // parent of A\\B
        for (const RegistryStore::Key& key : written.keys())
            QCOMPARE(*store.values(key.path), key.values);
        QVERIFY(store.setValue("A\\\\B", {"n", "d", false}));
        QVERIFY(!store.setValue("", {"n", "d", false}));
        QCOMPARE(RegistryStore::serialize(*RegistryStore::parse(fileContents(path), nullptr)),
                 fileContents(path));
    }

    // A hand-edited section with a doubled backslash once made the next save
    // write a file the next start set aside, losing the site password.
    void doubledBackslashInASectionKeepsTheSettings() {
        TempSettings t;
        QVERIFY(t.settings->setSwitch(Settings::EnablePassword, true));
        QVERIFY(t.settings->setText(Settings::Password, "secret"));
        QFile file(t.file);
        QVERIFY(file.open(QIODevice::Append));
        file.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\Extra]\n\"a\"=\"b\"\n; end of settings\n");
        file.close();

        t.restart();
        QVERIFY(t.settings->setSwitch(Settings::EnableGraffiti, true));
        t.restart();
        QVERIFY(t.lines(LogError).isEmpty());
        QVERIFY(t.settings->enablePassword());
        QCOMPARE(t.settings->password(), QByteArray("secret"));
        QVERIFY(t.settings->enableGraffiti());
    }

    void keysValuesAndTheirFailures() {
        QTemporaryDir dir;
        RegistryStore store(dir.filePath(QStringLiteral("s.reg")));
        clsRegistry options = registryAt(store, Options, "Missing");
        options.setDefault("fallback");
        QCOMPARE(options.Value(), QByteArray("fallback"));
        QVERIFY(!options.KeyExists());
        QList<QByteArray> names;
        int count = -1;
        QVERIFY(!options.EnumerateValues(names, count));
        QCOMPARE(raisedDescription([&] { options.DeleteValue(); }),
                 QStringLiteral("Failed to open key '-2147483646',Section: "
                                "'SOFTWARE\\Pocketlane\\Options' for delete access"));

        QVERIFY(options.CreateKey());
        QVERIFY(registryAt(store, "software\\POCKETLANE").KeyExists()); // parents, any case
        QCOMPARE(raisedDescription([&] { options.DeleteValue(); }),
                 QStringLiteral("Failed to delete registry Key: '-2147483646',Section: "
                                "'SOFTWARE\\Pocketlane\\Options',Key: 'Missing"));
        write(store, Options, "A", "1");
        write(store, Options, "a", "2"); // value names keep their case
        write(store, Options, "A", "3");
        QVERIFY(registryAt(store, Options).EnumerateValues(names, count));
        QCOMPARE(names, (QList<QByteArray>{"A", "a"}));
        QVERIFY(registryAt(store, Options, "A").DeleteValue());
        QCOMPARE(read(store, Options, "A"), QByteArray());
        QCOMPARE(read(store, Options, "a"), QByteArray("2"));
    }

    void percentTextsAreExpandableAndExpandedWhenRead() {
        QTemporaryDir dir;
        RegistryStore store(dir.filePath(QStringLiteral("s.reg")));
        qputenv("POCKETLANE_TEST_FOLDER", "/srv/pics");
        write(store, Options, "Offer", "50% off, today only 10%");
        write(store, Options, "Picture", "%POCKETLANE_TEST_FOLDER%/a.wbmp and %UNSET_VARIABLE_X%");
        write(store, Options, "Percent", "100%% sure");
        QCOMPARE(read(store, Options, "Offer"), QByteArray("50% off, today only 10%"));
        QCOMPARE(read(store, Options, "Picture"),
                 QByteArray("/srv/pics/a.wbmp and %UNSET_VARIABLE_X%"));
        QCOMPARE(read(store, Options, "Percent"), QByteArray("100%% sure"));
        QVERIFY(store.value("HKEY_LOCAL_MACHINE\\" + Options, "Offer")->expandable);
        QVERIFY(!store.value("HKEY_LOCAL_MACHINE\\" + Options, "Percent")->expandable);
        QVERIFY(fileContents(store.filePath()).contains("\"Offer\"=expand:\"50% off"));
        qunsetenv("POCKETLANE_TEST_FOLDER");
    }

    void fileIsReplacedWholeAndReadableByItsOwnerOnly() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.reg"));
        QFile loose(path);
        QVERIFY(loose.open(QIODevice::WriteOnly));
        loose.write("; end of settings\n");
        loose.close();
        QVERIFY(loose.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                     QFileDevice::ReadGroup | QFileDevice::ReadOther));
        RegistryStore store(path);
        store.load(nullptr);
        for (int i = 0; i < 5; ++i)
            write(store, Options, "Password", QByteArray::number(i));
        QCOMPARE(QFile::permissions(path), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 (QStringList{QStringLiteral("s.reg"), QStringLiteral("s.reg.lock")}));
    }

    // Copies that a write killed half-way left: ours go at the next start,
    // any other file stays.
    void copiesLeftByAnInterruptedWriteAreRemoved() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.reg"));
        RegistryStore(path).setValue("HKEY_LOCAL_MACHINE\\A", {"n", "d", false});
        const QByteArray copy = fileContents(path).left(100);
        const QMap<QString, QByteArray> leftovers = {{QStringLiteral("s.reg.saving"), copy},
                                                     {QStringLiteral("s.reg.Xy3kQ0"), copy},
                                                     {QStringLiteral("s.reg.backup"), "mine"},
                                                     {QStringLiteral("s.reg.old123"), "mine"}};
        for (auto it = leftovers.begin(); it != leftovers.end(); ++it) {
            QFile file(dir.filePath(it.key()));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(it.value());
        }
        RegistryStore(path).load(nullptr);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 (QStringList{QStringLiteral("s.reg"), QStringLiteral("s.reg.backup"),
                              QStringLiteral("s.reg.lock"), QStringLiteral("s.reg.old123")}));
    }

    void unreadableFilesAreKeptAsideNotOverwritten_data() {
        QTest::addColumn<int>("cut");
        QTest::newRow("cut in half") << 2;
        QTest::newRow("cut at a line end") << 0;
        QTest::newRow("garbage line") << -1;
    }

    void unreadableFilesAreKeptAsideNotOverwritten() {
        QFETCH(int, cut);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.reg"));
        {
            RegistryStore store(path);
            for (int i = 0; i < 20; ++i)
                write(store, Options, "Value" + QByteArray::number(i), "some text");
        }
        QByteArray damaged = fileContents(path);
        if (cut > 0)
            damaged.truncate(damaged.size() / cut);
        else if (cut == 0)
            damaged.truncate(damaged.lastIndexOf("\"Value10\""));
        else
            damaged.replace("\"Value3\"=", "Value3 is");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
        file.close();

        StatusLog log;
        RegistryStore store(path);
        store.load(&log);
        QVERIFY(!store.keyExists("HKEY_LOCAL_MACHINE\\" + Options));
        write(store, Options, "Fresh", "start");

        const QStringList aside =
            QDir(dir.path()).entryList({QStringLiteral("s.reg.unreadable-*")}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(fileContents(dir.filePath(aside.first())), damaged);
        QCOMPARE(log.lines().size(), 1);
        QCOMPARE(log.lines().first().level, int(LogError));
        QVERIFY(log.lines().first().message.contains(aside.first()));
    }
};

QTEST_GUILESS_MAIN(TestRegistryStore)
#include "tst_registrystore.moc"
