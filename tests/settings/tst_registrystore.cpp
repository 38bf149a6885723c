#include "base/SafeText.h"
#include "settings/RegistryKeys.h"
#include "settings/clsRegistry.h"
#include "support/TempSettings.h"

#include <QDir>
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

void write(RegistryStore& store, const QByteArray& name, const QByteArray& value) {
    registryAt(store, Options, name).setValue(value);
}

QByteArray read(RegistryStore& store, const QByteArray& name) {
    return registryAt(store, Options, name).Value();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
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

QStringList filesIn(const QTemporaryDir& dir, const QString& pattern = QStringLiteral("*")) {
    return QDir(dir.path()).entryList({pattern}, QDir::Files);
}

} // namespace

class TestRegistryStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every byte value, alone and among others, in key paths, value names and
    // texts: what the writer writes is one readable line per entry, a fresh
    // start reads it back unchanged, and writing that again gives the same
    // file. Backslashes in key paths make parent keys, empty ones included.
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
        const QByteArray text = RegistryStore::serialize(written.keys());
        QVERIFY(writeFile(path, text));
        QCOMPARE(SafeText::MakeXmlSafe(text), text); // valid UTF-8, no stray control bytes

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
        QVERIFY(writeFile(t.file, t.fileText() + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\Extra]\n"
                                                 "\"a\"=\"b\"\n; end of settings\n"));
        t.restart();
        QVERIFY(t.settings->setSwitch(Settings::EnableGraffiti, true));
        t.restart();
        QVERIFY(t.lines(LogError).isEmpty());
        QVERIFY(t.settings->enablePassword() && t.settings->enableGraffiti());
        QCOMPARE(t.settings->password(), QByteArray("secret"));
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
        write(store, "A", "1");
        write(store, "a", "2"); // value names keep their case
        write(store, "A", "3");
        QVERIFY(registryAt(store, Options).EnumerateValues(names, count));
        QCOMPARE(names, (QList<QByteArray>{"A", "a"}));
        QVERIFY(registryAt(store, Options, "A").DeleteValue());
        QCOMPARE(read(store, "A"), QByteArray());
        QCOMPARE(read(store, "a"), QByteArray("2"));
    }

    void percentTextsAreExpandableAndExpandedWhenRead() {
        QTemporaryDir dir;
        RegistryStore store(dir.filePath(QStringLiteral("s.reg")));
        qputenv("POCKETLANE_TEST_FOLDER", "/srv/pics");
        write(store, "Offer", "50% off, today only 10%");
        write(store, "Picture", "%POCKETLANE_TEST_FOLDER%/a.wbmp and %UNSET_VARIABLE_X%");
        write(store, "Percent", "100%% sure");
        QCOMPARE(read(store, "Offer"), QByteArray("50% off, today only 10%"));
        QCOMPARE(read(store, "Picture"), QByteArray("/srv/pics/a.wbmp and %UNSET_VARIABLE_X%"));
        QCOMPARE(read(store, "Percent"), QByteArray("100%% sure"));
        QVERIFY(!store.value("HKEY_LOCAL_MACHINE\\" + Options, "Percent")->expandable);
        QVERIFY(fileContents(store.filePath()).contains("\"Offer\"=expand:\"50% off"));
        qunsetenv("POCKETLANE_TEST_FOLDER");
    }

    // The file is replaced whole and readable by its owner only; copies that
    // a write killed half-way left go at the next start, any other file stays.
    void fileIsReplacedWholeForItsOwnerAndStaleCopiesGo() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.reg"));
        const QByteArray copy = RegistryStore::serialize({}).left(30);
        for (const auto& [name, bytes] : QList<std::pair<QString, QByteArray>>{
                 {QStringLiteral("s.reg"), RegistryStore::serialize({})},
                 {QStringLiteral("s.reg.saving"), copy},
                 {QStringLiteral("s.reg.Xy3kQ0"), copy},
                 {QStringLiteral("s.reg.backup"), "mine"},
                 {QStringLiteral("s.reg.old123"), "mine"}})
            QVERIFY(writeFile(dir.filePath(name), bytes));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x6644)));
        RegistryStore store(path);
        store.load(nullptr);
        for (int i = 0; i < 5; ++i)
            write(store, "Password", QByteArray::number(i));
        QCOMPARE(QFile::permissions(path), QFileDevice::Permissions(0x6600));
        QCOMPARE(filesIn(dir),
                 (QStringList{QStringLiteral("s.reg"), QStringLiteral("s.reg.backup"),
                              QStringLiteral("s.reg.lock"), QStringLiteral("s.reg.old123")}));
    }

    void unreadableFilesAreKeptAsideNotOverwritten_data() {
        QTest::addColumn<QByteArray>("damaged");
        RegistryKeys keys;
        for (int i = 0; i < 20; ++i)
            keys.setValue(keys.ensure("HKEY_LOCAL_MACHINE\\" + Options),
                          {"Value" + QByteArray::number(i), "some text", false});
        const QByteArray text = RegistryStore::serialize(keys.keys());
        QTest::newRow("cut in half") << text.left(text.size() / 2);
        QTest::newRow("cut at a line end") << text.left(text.lastIndexOf("\"Value10\""));
        QTest::newRow("garbage line") << QByteArray(text).replace("\"Value3\"=", "Value3 is");
    }

    void unreadableFilesAreKeptAsideNotOverwritten() {
        QFETCH(QByteArray, damaged);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.reg"));
        QVERIFY(writeFile(path, damaged));
        StatusLog log;
        RegistryStore store(path);
        store.load(&log);
        QVERIFY(!store.keyExists("HKEY_LOCAL_MACHINE\\" + Options));
        write(store, "Fresh", "start");
        const QStringList aside = filesIn(dir, QStringLiteral("s.reg.unreadable-*"));
        QCOMPARE(aside.size(), 1);
        QCOMPARE(fileContents(dir.filePath(aside.first())), damaged);
        QCOMPARE(log.lines().size(), 1);
        QCOMPARE(log.lines().first().level, int(LogError));
        QVERIFY(log.lines().first().message.contains(aside.first()));
    }
};

QTEST_GUILESS_MAIN(TestRegistryStore)
#include "tst_registrystore.moc"
