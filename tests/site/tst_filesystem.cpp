#include "base/FolderPaths.h"
#include "site/FileSystem.h"

#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

using namespace FileSystem;
using FolderPaths::IsWithinFolder;

namespace {
// Marks the rows of openingBeneathAFolder that resolve step by step.
constexpr int StepByStepFlag = 1 << 20;

void WriteFile(const QString& path, const QByteArray& bytes = {}) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray Local(const QString& path) {
    return QFile::encodeName(path);
}
} // namespace

class TestFileSystem : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void listsEntriesAsStoredWithoutDotEntries() {
        QTemporaryDir tmp;
        QDir(tmp.path()).mkdir(QStringLiteral("my MUSIC"));
        QDir(tmp.path()).mkdir(QStringLiteral(".hidden"));
        WriteFile(tmp.filePath(QStringLiteral("rock-n-roll.MID")));
        auto entries = ListFolder(ConfinedFolder(Local(tmp.path())), {});
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        QCOMPARE(entries.size(), size_t(3));
        QCOMPARE(entries[0].name, QByteArray(".hidden"));
        QVERIFY(entries[0].isDirectory);
        QCOMPARE(entries[1].name, QByteArray("my MUSIC"));
        QCOMPARE(entries[2].name, QByteArray("rock-n-roll.MID"));
        QVERIFY(!entries[2].isDirectory);
        QVERIFY(
            ListFolder(ConfinedFolder(Local(tmp.filePath(QStringLiteral("gone")))), {}).empty());
        QVERIFY(ListFolder(ConfinedFolder(Local(tmp.path())), "gone").empty());
    }

    void linksLeadingOutOfTheShareAreNotListed() {
        QTemporaryDir tmp;
        QDir root(tmp.path());
        root.mkpath(QStringLiteral("share/inner"));
        root.mkdir(QStringLiteral("outside"));
        WriteFile(tmp.filePath(QStringLiteral("outside/secret.txt")));
        QFile::link(tmp.filePath(QStringLiteral("outside")),
                    tmp.filePath(QStringLiteral("share/out")));
        QFile::link(tmp.filePath(QStringLiteral("outside/secret.txt")),
                    tmp.filePath(QStringLiteral("share/secret.txt")));
        QFile::link(tmp.filePath(QStringLiteral("share/inner")),
                    tmp.filePath(QStringLiteral("share/in")));
        QFile::link(tmp.filePath(QStringLiteral("nowhere")),
                    tmp.filePath(QStringLiteral("share/dangling")));

        auto entries = ListFolder(ConfinedFolder(Local(tmp.filePath(QStringLiteral("share")))), {});
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        QCOMPARE(entries.size(), size_t(2));
        QCOMPARE(entries[0].name, QByteArray("in"));
        QVERIFY(entries[0].isDirectory);
        QCOMPARE(entries[1].name, QByteArray("inner"));
    }

    // Each path opened beneath a shared folder, by the kernel and step by
    // step: what stays inside opens, whatever way leads out is refused.
    void openingBeneathAFolder_data() {
        QTest::addColumn<QByteArray>("relative");
        QTest::addColumn<QByteArray>("content"); // empty: refused
        QTest::addColumn<int>("error");
        const struct {
            const char* tag;
            const char* relative;
            const char* content;
            int error;
        } rows[] = {
            {"plain file", "inner/a.txt", "A", 0},
            {"relative link", "rel", "A", 0},
            {"link up to a sibling", "inner/up", "TOP", 0},
            {"absolute link by the canonical path", "absIn", "A", 0},
            {"absolute link by the shared path", "aliasIn", "A", 0},
            {"dot-dot staying inside", "inner/../top.txt", "TOP", 0},
            {"absolute link out", "absOut", "", EXDEV},
            {"relative link out", "relOut", "", EXDEV},
            {"through a folder link out", "dirOut/secret.txt", "", EXDEV},
            {"dot-dot out", "inner/../../outside/secret.txt", "", EXDEV},
            {"magic link", "magic", "", EXDEV},
            {"link loop", "loop1", "", ELOOP},
            {"missing", "inner/none", "", ENOENT},
        };
        for (const auto& row : rows) {
            for (const bool stepByStep : {false, true}) {
                QTest::addRow("%s%s", row.tag, stepByStep ? " step by step" : "")
                    << QByteArray(row.relative) << QByteArray(row.content)
                    << (row.error | (stepByStep ? StepByStepFlag : 0));
            }
        }
    }
    void openingBeneathAFolder() {
        QFETCH(QByteArray, relative);
        QFETCH(QByteArray, content);
        QFETCH(int, error);
        const bool stepByStep = error & StepByStepFlag;
        error &= ~StepByStepFlag;
        QTemporaryDir tmp;
        const QByteArray base = Local(tmp.path());
        QVERIFY(QDir().mkpath(tmp.filePath(QStringLiteral("share/inner"))));
        QVERIFY(QDir().mkpath(tmp.filePath(QStringLiteral("outside"))));
        WriteFile(tmp.filePath(QStringLiteral("share/inner/a.txt")), "A");
        WriteFile(tmp.filePath(QStringLiteral("share/top.txt")), "TOP");
        WriteFile(tmp.filePath(QStringLiteral("outside/secret.txt")), "SECRET");
        const QList<std::pair<QByteArray, QByteArray>> links = {
            {"share/rel", "inner/a.txt"},
            {"share/inner/up", "../top.txt"},
            {"share/absIn", base + "/share/inner/a.txt"},
            {"share/aliasIn", base + "/alias/inner/a.txt"},
            {"share/absOut", base + "/outside/secret.txt"},
            {"share/relOut", "../outside/secret.txt"},
            {"share/dirOut", base + "/outside"},
            {"share/magic", "/proc/self/root" + base + "/outside/secret.txt"},
            {"share/loop1", "loop2"},
            {"share/loop2", "loop1"},
            {"alias", "share"},
        };
        for (const auto& [link, target] : links)
            QVERIFY(::symlink(target.constData(), (base + '/' + link).constData()) == 0);

        // Shared under its alias: absolute links may name either path.
        const ConfinedFolder share(base + "/alias");
        QVERIFY(share.IsOpen());
        errno = 0;
        const Descriptor file =
            stepByStep ? share.OpenStepByStep(relative, O_RDONLY) : share.Open(relative, O_RDONLY);
        if (content.isEmpty()) {
            QVERIFY(!file);
            QCOMPARE(errno, error);
            return;
        }
        QVERIFY(file);
        char buffer[16] = {};
        QCOMPARE(::read(file.Get(), buffer, sizeof buffer), ssize_t(content.size()));
        QCOMPARE(QByteArray(buffer), content);
    }

    void containmentComparesWholeComponents() {
        QVERIFY(IsWithinFolder("/home/a/mus", "/home/a/mus"));
        QVERIFY(IsWithinFolder("/home/a/mus/x", "/home/a/mus"));
        QVERIFY(!IsWithinFolder("/home/a/music", "/home/a/mus"));
        QVERIFY(!IsWithinFolder("/home/a/Mus", "/home/a/mus"));
        QVERIFY(IsWithinFolder("/etc", "/"));
        QVERIFY(!IsWithinFolder({}, "/"));
    }

    void namesAreProperCasedByBlankSeparatedWords() {
        QCOMPARE(ProperCase("my MUSIC"), QByteArray("My Music"));
        QCOMPARE(ProperCase("rock-n-roll.MID"), QByteArray("Rock-n-roll.mid"));
        QCOMPARE(ProperCase("AUDIO  files"), QByteArray("Audio  Files"));
        QCOMPARE(ProperCase("\xc3\x89T\xc3\x89"), QByteArray("\xc3\x89t\xc3\xa9"));
        QCOMPARE(ProperCase("\xc3\x89"
                            "COLE \xc3\x89T\xc3\x89.mid"),
                 QByteArray("\xc3\x89"
                            "cole \xc3\x89t\xc3\xa9.mid"));
        // Greek, Cyrillic, a title-case digraph (dz with caron), a letter
        // whose lower case is shorter in UTF-8 (Kelvin sign).
        QCOMPARE(ProperCase("\xce\xb1\xce\x92\xce\x93 \xd0\x9c\xd0\x98\xd0\xa0"),
                 QByteArray("\xce\x91\xce\xb2\xce\xb3 \xd0\x9c\xd0\xb8\xd1\x80"));
        QCOMPARE(ProperCase("\xc7\x86"
                            "emal \xc7\x84"
                            "EMAL"),
                 QByteArray("\xc7\x85"
                            "emal \xc7\x85"
                            "emal"));
        QCOMPARE(ProperCase("x\xe2\x84\xaa"), QByteArray("Xk"));
        // Bytes that are not UTF-8 stay; the letters around them change.
        QCOMPARE(ProperCase("bad \x01\xffNAME \xc3"), QByteArray("Bad \x01\xffname \xc3"));
    }

    void sortKeysIgnoreLetterCase() {
        const auto key = [](QByteArrayView name) {
            std::string key;
            AppendNameSortKey(name, key);
            return key;
        };
        QCOMPARE(key("Ring TONE.MID"), key("ring tone.mid"));
        QCOMPARE(key("\xc3\x89T\xc3\x89"), key("\xc3\xa9t\xc3\xa9"));
        QVERIFY(key("apple") < key("Banana"));
        QVERIFY(key("B") < key("\xc3\xa4")); // by code point beyond ASCII
        QCOMPARE(key("a\xff"), std::string("a\xff"));
    }

    void datesAndSizesAsTheDetailsPageWritesThem() {
        QCOMPARE(FormatFileDate(QDateTime(QDate(2026, 12, 5), QTime(23, 30), Qt::UTC)),
                 QByteArray("05 Dec 2026"));
        QCOMPARE(FormatFileDate({}), QByteArray());
        QCOMPARE(FormatFileSize(0), QByteArray());
        QCOMPARE(FormatFileSize(999), QByteArray("999"));
        QCOMPARE(FormatFileSize(1234567), QByteArray("1,234,567"));
        QCOMPARE(FormatFileSize(5368709120ULL), QByteArray("5,368,709,120"));
    }
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "tst_filesystem.moc"
