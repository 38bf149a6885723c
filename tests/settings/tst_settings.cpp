#include "base/SafeText.h"
#include "settings/RegistryKeys.h"
#include "settings/RegistryText.h"
#include "settings/SettingsStorage.h"
#include "settings/SharedFolderList.h"
#include "settings/clsRegistry.h"
#include "support/TempSettings.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <sys/inotify.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using O = Settings::Option;
using Outcome = SharedFolderList::AddResult::Outcome;
const QByteArray Options = "SOFTWARE\\Pocketlane\\Options";

clsRegistry registryAt(RegistryStore& store, const QByteArray& section,
                       const QByteArray& name = {}) {
    clsRegistry registry(store);
    registry.setSectionKey(section);
    registry.setValueKey(name);
    return registry;
}

// Writes one option value as the program does.
void SaveSetting(RegistryStore& store, const QByteArray& sName, const QByteArray& sValue) {
    StatusLog log;
    Settings(store, log).SaveSetting(sName, sValue);
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
        const bool ours = error.Number() == 26001 && error.Source().endsWith(u".cRegistry"_s);
        return ours ? error.Description() : u"wrong number or source"_s;
    }
    return QString();
}

// Counts the times a file is put in place whole: every write of the store
// renames a complete copy over it.
class FileReplacements {
public:
    explicit FileReplacements(const QString& path)
        : m_name(QFile::encodeName(QFileInfo(path).fileName())) {
        ::inotify_add_watch(m_fd, QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                            IN_MOVED_TO | IN_CREATE);
    }
    ~FileReplacements() { ::close(m_fd); }
    // The replacements since the last count.
    int count() {
        int replacements = 0;
        alignas(inotify_event) char events[4096];
        ssize_t size;
        while ((size = ::read(m_fd, events, sizeof events)) > 0) {
            for (ssize_t at = 0; at < size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                replacements += event->len > 0 && m_name == event->name;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return replacements;
    }

private:
    int m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QByteArray m_name;
};

// A store on a file in a fresh temporary folder, not yet loaded.
struct TempStore {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("s.reg"));
    RegistryStore store{path};
    StatusLog log;
};

// A shared-folder list on a temporary store, loaded as at start-up.
struct TempFolders : TempSettings {
    std::unique_ptr<SharedFolderList> list;
    explicit TempFolders(const QList<QByteArray>& shared = {}) {
        for (const QByteArray& folder : shared)
            SettingsStorage::AddSharedFolderSetting(*store, folder);
        restart();
        list = std::make_unique<SharedFolderList>(*store, *log);
        list->ReloadSharedFolders();
    }
    SharedFolderList::AddResult add(const QByteArray& path) {
        return list->addFolder(path, [] { return true; });
    }
};

} // namespace

class TestSettings : public QObject {
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
        TempStore t;
        const QByteArray text = RegistryText::serialize(written.keys());
        QVERIFY(writeFile(t.path, text));
        QCOMPARE(SafeText::MakeXmlSafe(text), text); // valid UTF-8, no stray control bytes
        t.store.load(&t.log);
        QVERIFY(t.log.lines().isEmpty());
        QVERIFY(t.store.keyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\[")); // parent of K\[\]
        QVERIFY(t.store.keyExists("A\\"));                                // parent of A\\B
        for (const RegistryStore::Key& key : written.keys())
            QCOMPARE(*t.store.values(key.path), key.values);
        QVERIFY(t.store.setValue("A\\\\B", {"n", "d", false}));
        QVERIFY(!t.store.setValue("", {"n", "d", false}));
    }

    // Hand edits keep the site password: a section with a doubled backslash
    // once made the next save write a file the next start set aside, and
    // lines appended after the end line (echo >> settings.reg) once made the
    // whole file unreadable.
    void handEditsKeepTheSettings() {
        TempSettings t;
        QVERIFY(t.settings->setSwitch(O::EnablePassword, true));
        QVERIFY(t.settings->setText(O::Password, "secret"));
        QVERIFY(writeFile(t.file, t.fileText() + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\Extra]\n"
                                                 "\"a\"=\"b\"\n; end of settings\n"));
        t.restart();
        QVERIFY(t.settings->setSwitch(O::EnableGraffiti, true));
        QVERIFY(writeFile(t.file, t.fileText() + "[HKEY_LOCAL_MACHINE\\" + Options +
                                      "]\n\"EnableMyComputer\"=\"Y\"\n"));
        t.restart();
        QVERIFY(t.lines(LogError).size() == 1); // My Computer on without its password
        QVERIFY(t.settings->enableGraffiti() && t.settings->enableMyComputer());
        QVERIFY(t.settings->enablePassword());
        QCOMPARE(t.settings->password(), QByteArray("secret"));
    }

    void keysValuesAndTheirFailures() {
        TempStore t;
        clsRegistry options = registryAt(t.store, Options, "Missing");
        options.setDefault("fallback");
        QCOMPARE(options.Value(), QByteArray("fallback"));
        QList<QByteArray> names;
        int count = -1;
        QVERIFY(!options.KeyExists() && !options.EnumerateValues(names, count));
        QCOMPARE(raisedDescription([&] { options.DeleteValue(); }),
                 QStringLiteral("Failed to open key '-2147483646',Section: "
                                "'SOFTWARE\\Pocketlane\\Options' for delete access"));
        QVERIFY(options.CreateKey());
        QVERIFY(registryAt(t.store, "software\\POCKETLANE").KeyExists()); // parents, any case
        QCOMPARE(raisedDescription([&] { options.DeleteValue(); }),
                 QStringLiteral("Failed to delete registry Key: '-2147483646',Section: "
                                "'SOFTWARE\\Pocketlane\\Options',Key: 'Missing"));
        for (const char* pair : {"A1", "a2", "A3"}) // value names keep their case
            SaveSetting(t.store, QByteArray(pair, 1), QByteArray(pair + 1));
        QVERIFY(registryAt(t.store, Options).EnumerateValues(names, count));
        QCOMPARE(names, (QList<QByteArray>{"A", "a"}));
        QVERIFY(registryAt(t.store, Options, "A").DeleteValue());
        QCOMPARE(read(t.store, "A"), QByteArray());
        QCOMPARE(read(t.store, "a"), QByteArray("2"));
    }

    // Only a path refers to environment variables; every other text, with
    // any byte in it, comes back from the file exactly as it was set, also
    // when a file of an older version marked it expandable.
    void onlyPathsExpandEveryOtherTextStaysExact() {
        qputenv("POCKETLANE_TEST_FOLDER", "/srv/pics");
        QByteArray everyByte = "pa%POCKETLANE_TEST_FOLDER%ss %HOME% 100%% ";
        for (int byte = 0; byte < 256; ++byte)
            everyByte.append(char(byte));
        TempSettings t;
        for (O text : {O::Password, O::MyComputerPassword})
            QVERIFY(t.settings->setText(text, everyByte));
        QVERIFY(t.settings->setText(O::ShowWelcomeGraphicFilename,
                                    "%POCKETLANE_TEST_FOLDER%/a.wbmp and %UNSET_VARIABLE_X%"));
        QVERIFY(!t.fileText().contains("\"Password\"=expand:"));
        t.restart();
        QCOMPARE(t.settings->password(), everyByte);
        QCOMPARE(t.settings->myComputerPassword(), everyByte);
        QCOMPARE(t.settings->welcomeGraphicFilename(),
                 QByteArray("/srv/pics/a.wbmp and %UNSET_VARIABLE_X%"));
        QVERIFY(
            writeFile(t.file, t.fileText().replace("\"Password\"=\"", "\"Password\"=expand:\"")));
        t.restart();
        QCOMPARE(t.settings->password(), everyByte);
        qunsetenv("POCKETLANE_TEST_FOLDER");
    }

    // The file is replaced whole, once per change (a first run's fourteen
    // values and a folder shared on an empty store included), readable by
    // its owner only, and not at all by a change that alters nothing; copies
    // that a write killed half-way left go at the next start, any other file
    // stays.
    void fileIsReplacedWholeOncePerChangeForItsOwnerAndStaleCopiesGo() {
        TempStore t;
        const QByteArray copy = RegistryText::serialize({}).left(30);
        // clang-format off
        const QList<std::pair<QString, QByteArray>> files = {
            {u""_s, RegistryText::serialize({})}, {u".saving"_s, copy}, {u".Xy3kQ0"_s, copy},
            {u".backup"_s, "mine"}, {u".old123"_s, "mine"}};
        // clang-format on
        for (const auto& [suffix, bytes] : files)
            QVERIFY(writeFile(t.path + suffix, bytes));
        QVERIFY(QFile::setPermissions(t.path, QFileDevice::Permissions(0x6644)));
        t.store.load(nullptr);
        FileReplacements writes(t.path);
        for (int i = 0; i < 5; ++i)
            SaveSetting(t.store, "Password", QByteArray::number(i));
        QCOMPARE(writes.count(), 5);
        SaveSetting(t.store, "Password", "4");
        QCOMPARE(writes.count(), 0);
        QCOMPARE(QFile::permissions(t.path), QFileDevice::Permissions(0x6600));
        QCOMPARE(QDir(t.dir.path()).entryList(QDir::Files),
                 (QStringList{u"s.reg"_s, u"s.reg.backup"_s, u"s.reg.lock"_s, u"s.reg.old123"_s}));

        TempSettings fresh;
        QVERIFY(QFile::remove(fresh.file));
        FileReplacements freshWrites(fresh.file);
        fresh.restart();
        QCOMPARE(freshWrites.count(), 1);
        for (const bool on : {true, true, false, false})
            QVERIFY(fresh.settings->setSwitch(O::EnableGraffiti, on));
        QCOMPARE(freshWrites.count(), 2);
        QVERIFY(QFile::remove(fresh.file));
        fresh.store->load(nullptr);
        SettingsStorage::AddSharedFolderSetting(*fresh.store, "/srv");
        QCOMPARE(freshWrites.count(), 1);
    }

    void unreadableFilesAreLeftAloneUntilStartedAfresh_data() {
        QTest::addColumn<QByteArray>("damaged");
        QTest::addColumn<QString>("reason");
        RegistryKeys keys;
        for (int i = 0; i < 20; ++i)
            keys.setValue(keys.ensure("HKEY_LOCAL_MACHINE\\" + Options),
                          {"Value" + QByteArray::number(i), "some text", false});
        const QByteArray text = RegistryText::serialize(keys.keys());
        QTest::newRow("cut in half") << text.left(text.size() / 2) << u"no end line"_s;
        QTest::newRow("cut at a line end")
            << text.left(text.lastIndexOf("\"Value10\"")) << u"no end line"_s;
        QTest::newRow("garbage line")
            << QByteArray(text).replace("\"Value3\"=", "Value3 is") << u"(line 14 cannot"_s;
        QTest::newRow("garbage appended") << text + "oops\n" << u"(line 33 cannot"_s;
    }

    // The file is left as it is and no change is written over it, until the
    // owner agrees to start afresh: then it is kept aside.
    void unreadableFilesAreLeftAloneUntilStartedAfresh() {
        QFETCH(QByteArray, damaged);
        QFETCH(QString, reason);
        TempStore t;
        QVERIFY(writeFile(t.path, damaged));
        QVERIFY(!t.store.load(&t.log));
        QVERIFY2(t.store.loadProblem().startsWith(u"The settings file "_s + t.path) &&
                     t.store.loadProblem().contains(reason),
                 qPrintable(t.store.loadProblem()));
        QVERIFY(!t.store.keyExists("HKEY_LOCAL_MACHINE\\" + Options));
        QVERIFY(!raisedDescription([&] { SaveSetting(t.store, "Fresh", "start"); }).isEmpty());
        QCOMPARE(fileContents(t.path), damaged);
        QVERIFY(t.store.startAfresh());
        SaveSetting(t.store, "Fresh", "start");
        const QStringList aside = QDir(t.dir.path()).entryList({u"s.reg.unreadable-*"_s});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(fileContents(t.dir.filePath(aside.first())), damaged);
        QCOMPARE(t.log.lines().size(), 1);
        QCOMPARE(t.log.lines().first().level, int(LogError));
        QVERIFY(t.log.lines().first().message.contains(aside.first()));
    }

    void firstRunValuesSwitchesTextsAndNotices() {
        TempSettings t;
        QCOMPARE(t.lines(LogDetail),
                 (QStringList{u"File sharing is NOT enabled."_s, u"Graffiti is NOT enabled."_s,
                              u"My Computer is NOT enabled."_s}));
        QList<QByteArray> lines = t.fileText().split('\n');
        lines.removeIf([](const QByteArray& line) { return !line.startsWith('"'); });
        QCOMPARE(lines.size(), 14);
        QVERIFY(lines.contains("\"WelcomeMessageText\"=\"Welcome to this Pocketlane users site\""));
        for (QByteArray pair :
             QByteArray("ShowWelcomeGraphic=Y WelcomeMessage=Y ExtendedLogging=N EnablePassword=N "
                        "Password= EnableMyComputerPassword=N MyComputerPassword= "
                        "EnableSharedFolders=N EnableGraffiti=N EnableMyComputer=N Force=N "
                        "ForceIfHung=N")
                 .split(' '))
            QVERIFY2(lines.contains("\"" + pair.replace("=", "\"=\"") + "\""), pair.constData());
        QVERIFY(!t.settings->graffitiShowDate()); // not stored, off
        // Only exactly "Y" is on.
        SaveSetting(*t.store, "EnableGraffiti", "y");
        SaveSetting(*t.store, "Force", "Yes");
        SaveSetting(*t.store, "ForceIfHung", "Y");
        t.restart();
        QVERIFY(!t.settings->enableGraffiti() && !t.settings->force());
        QVERIFY(t.settings->forceIfHung());
        // The welcome text is made safe for a deck; no signal when nothing changes.
        t.settings->setText(O::WelcomeMessageText, "Hi\x01 there\xFF");
        QCOMPARE(t.settings->welcomeMessageText(), QByteArray("Hi? there?"));
        QSignalSpy changed(t.settings.get(), &Settings::optionChanged);
        t.settings->setText(O::Password, "raw\x01");
        QCOMPARE(t.settings->password(), QByteArray("raw\x01"));
        QVERIFY(t.settings->setText(O::Password, "raw\x01"));
        QCOMPARE(changed.size(), 1);
        // The module switches are logged, and the notices at every start.
        t.restart();
        for (O option : {O::EnableGraffiti, O::EnableMyComputer, O::EnableMyComputerPassword})
            t.settings->setSwitch(option, true);
        QCOMPARE(t.lines(LogDetail).mid(3),
                 (QStringList{u"Graffiti has been enabled"_s, u"My Computer has been enabled"_s}));
        // On, with its password switch on but no password: the warning.
        t.restart();
        QCOMPARE(t.lines(LogDetail),
                 (QStringList{u"Graffiti has been enabled"_s, u"My Computer has been enabled"_s,
                              u"File sharing is NOT enabled."_s}));
        QCOMPARE(t.lines(LogError), QStringList{u"WARNING! No password is set/enabled for My "
                                                u"Computer. Anyone could potentially shut down "
                                                u"your PC!"_s});
        t.settings->setText(O::MyComputerPassword, "secret");
        t.restart();
        QVERIFY(t.lines(LogError).isEmpty());
    }

    void optionsKeyMissingOrUnwritable() {
        TempSettings t;
        QFile::remove(t.file);
        t.store->load(nullptr);
        SettingsStorage::AddSharedFolderSetting(*t.store, "/srv");
        t.restart();
        QVERIFY(!t.settings->showWelcomeGraphic());
        QVERIFY(t.settings->welcomeMessageText().isEmpty());
        QVERIFY(!t.fileText().contains("Options"));
        // A write that fails is logged and the option keeps its value.
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

    // Paths are cleaned to absolute folders, and none lies inside a shared
    // one, "/" included (the picker's rules: the main window's tests). The
    // list's summary is logged; an entry whose stored value is gone (a
    // hand-edited file) still goes.
    void sharedFoldersAreCleanedNeverNestedAndSummarised() {
        TempFolders t({"/m"});
        QCOMPARE(t.add("/m/").outcome, Outcome::AlreadyShared);
        QCOMPARE(t.add("/m/rock").parent, QByteArray("/m"));
        QCOMPARE(t.add("relative").outcome, Outcome::NotAbsolute);
        QCOMPARE(t.add("/m2//b/./c/../").outcome, Outcome::Added);
        QCOMPARE(SettingsStorage::SharedFolderSettings(*t.store),
                 (QList<QByteArray>{"/m", "/m2/b"}));
        QCOMPARE(SharedFolderList::CleanFolderPath("/.."), QByteArray("/"));
        TempFolders root({"/"});
        QCOMPARE(root.add("/home/a").outcome, Outcome::AlreadyShared);

        TempFolders empty;
        QCOMPARE(empty.lines(LogNotice).last(),
                 QStringLiteral("You are currently not sharing anything."));
        TempFolders one({"/c"});
        QCOMPARE(one.lines(LogNotice).last(),
                 QStringLiteral("You are currently sharing 1 folders and their sub folders."));
        SettingsStorage::RemoveSharedFolderSetting(*one.store, "/c");
        QVERIFY(one.list->removeFolder("/c"));
        QVERIFY(one.list->folders().isEmpty());
    }

    // Visitors see the names of hidden files too: "/", the home folder (or
    // a folder above it, or a link to it) and the folder that holds the
    // settings file are shared only when the owner agrees to what they show.
    void foldersThatShowTooMuchNeedTheOwnersYes() {
        TempFolders t;
        QTemporaryDir elsewhere;
        const QByteArray home = QFile::encodeName(elsewhere.filePath(u"home/me"_s));
        const QByteArray link = QFile::encodeName(elsewhere.filePath(u"link"_s));
        QVERIFY(QDir().mkpath(QFile::decodeName(home + "/Music")));
        QVERIFY(QFile::link(QFile::decodeName(home), QFile::decodeName(link)));
        const QByteArray savedHome = qgetenv("HOME");
        qputenv("HOME", home);
        QString told;
        const auto add = [&](const QByteArray& path, bool yes) {
            told.clear();
            return t.list
                ->addFolder(
                    path, [] { return true; },
                    [&](const QString& exposure) {
                        told = exposure;
                        return yes;
                    })
                .outcome;
        };
        for (const auto& [path, what] :
             {std::pair{QByteArray("/"), "every folder of this PC"},
              {home + "/", "your whole home folder"},
              {link, "your whole home folder"},
              {QFile::encodeName(t.dir.path()), "holds Pocketlane's settings file"}}) {
            QCOMPARE(add(path, false), Outcome::Exposing);
            QVERIFY2(told.contains(QLatin1StringView(what)), path.constData());
        }
        QCOMPARE(add(home + "/Music", false), Outcome::Added);
        QVERIFY(told.isEmpty());
        QCOMPARE(add(home, true), Outcome::Added);
        QCOMPARE(t.list->folders(), QList<QByteArray>{home});
        qputenv("HOME", savedHome);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
