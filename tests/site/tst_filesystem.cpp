#include "base/FolderPaths.h"
#include "base/TextCasing.h"
#include "site/ConfinedFolder.h"
#include "site/FileTypes.h"
#include "site/sharedfolders/FolderListingCache.h"

#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

using namespace FileSystem;

class TestFileSystem : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each path opened beneath a shared folder, by the kernel and step by
    // step: what stays inside opens, whatever way leads out is refused.
    void openingBeneathAFolder_data() {
        QTest::addColumn<QByteArray>("relative");
        QTest::addColumn<QByteArray>("content"); // empty: refused with the error
        QTest::addColumn<int>("error");
        // clang-format off
        const struct { const char *relative, *content; int error; } rows[] = {
            {"inner/a.txt", "A", 0}, {"rel", "A", 0}, {"inner/up", "TOP", 0}, {"absIn", "A", 0},
            {"aliasIn", "A", 0}, {"inner/../top.txt", "TOP", 0}, {"absOut", "", EXDEV},
            {"relOut", "", EXDEV}, {"dirOut/secret.txt", "", EXDEV}, {"magic", "", EXDEV},
            {"inner/../../outside/secret.txt", "", EXDEV}, {"loop1", "", ELOOP},
            {"inner/none", "", ENOENT}};
        // clang-format on
        for (const auto& row : rows)
            QTest::addRow("%s", row.relative)
                << QByteArray(row.relative) << QByteArray(row.content) << row.error;
    }
    void openingBeneathAFolder() {
        QFETCH(QByteArray, relative);
        QFETCH(QByteArray, content);
        QFETCH(int, error);
        // A folder "share" (with "share/inner") beside "outside", holding
        // files and symbolic links (name, target; "@" is the base folder).
        const QTemporaryDir tmp;
        const QByteArray base = QFile::encodeName(tmp.path());
        QVERIFY(QDir().mkpath(tmp.filePath(QStringLiteral("share/inner"))) &&
                QDir().mkpath(tmp.filePath(QStringLiteral("outside"))));
        for (const auto& [name, content] : {std::pair{"share/inner/a.txt", "A"},
                                            {"share/top.txt", "TOP"},
                                            {"outside/secret.txt", "S"}}) {
            QFile file(QString::fromUtf8(base + '/' + name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) >= 0);
        }
        // clang-format off
        for (const auto& [name, target] : {
             std::pair{"share/rel", "inner/a.txt"}, {"share/inner/up", "../top.txt"},
             {"alias", "share"},
             {"share/absIn", "@/share/inner/a.txt"}, {"share/aliasIn", "@/alias/inner/a.txt"},
             {"share/absOut", "@/outside/secret.txt"}, {"share/relOut", "../outside/secret.txt"},
             {"share/dirOut", "@/outside"}, {"share/magic", "/proc/self/root@/outside/secret.txt"},
             {"share/loop1", "loop2"}, {"share/loop2", "loop1"}})
            QVERIFY(::symlink(QByteArray(target).replace("@", base).constData(),
                              (base + '/' + name).constData()) == 0);
        // clang-format on
        // Shared under its alias: absolute links may name either path.
        const ConfinedFolder share(base + "/alias");
        QVERIFY(share.IsOpen());
        for (const bool stepByStep : {false, true}) {
            errno = 0;
            const Descriptor file = stepByStep ? share.OpenStepByStep(relative, O_RDONLY)
                                               : share.Open(relative, O_RDONLY);
            QCOMPARE(bool(file), !content.isEmpty());
            if (!file) {
                QCOMPARE(errno, error);
                continue;
            }
            char buffer[16] = {};
            QCOMPARE(QByteArray(buffer, ::read(file.Get(), buffer, sizeof buffer)), content);
        }
    }

    // Containment compares whole components; a date as the details page writes it.
    void containmentAndDates() {
        // clang-format off
        const std::tuple<const char*, const char*, bool> paths[] = {
            {"/home/a/mus", "/home/a/mus", true}, {"/home/a/mus/x", "/home/a/mus", true},
            {"/home/a/music", "/home/a/mus", false}, {"/home/a/Mus", "/home/a/mus", false},
            {"/etc", "/", true}, {"", "/", false}};
        // clang-format on
        for (const auto& [path, folder, within] : paths)
            QCOMPARE(FolderPaths::IsWithinFolder(path, folder), within);
        QCOMPARE(FileTypes::FormatFileDate(QDateTime(QDate(2026, 12, 5), QTime(23, 30), Qt::UTC)),
                 QByteArray("05 Dec 2026"));
    }

    // Greek, Cyrillic, a title-case digraph (dz with caron), a letter whose
    // lower case is shorter in UTF-8 (Kelvin sign), runs of blanks; bytes that
    // are not UTF-8 stay while the letters around them change.
    void namesAreProperCasedByBlankSeparatedWords() {
        // clang-format off
        const std::pair<const char*, const char*> cases[] = {
            {"AUDIO  files", "Audio  Files"},
            {"\xce\xb1\xce\x92\xce\x93 \xd0\x9c\xd0\x98\xd0\xa0", "\xce\x91\xce\xb2\xce\xb3 \xd0\x9c\xd0\xb8\xd1\x80"},
            {"\xc7\x86" "emal \xc7\x84" "EMAL", "\xc7\x85" "emal \xc7\x85" "emal"},
            {"x\xe2\x84\xaa", "Xk"}, {"bad \x01\xffNAME \xc3", "Bad \x01\xffname \xc3"}};
        // clang-format on
        for (const auto& [name, shown] : cases)
            QCOMPARE(TextCasing::ProperCase(name), QByteArray(shown));
    }

    // Folders first, then files, by name regardless of letter case (beyond
    // ASCII too, by code point), whatever order the disk delivered.
    void foldersThenFilesInNameOrderRegardlessOfCase() {
        // clang-format off
        const QList<QByteArray> sorted = {
            "[D] alpha", "[D] Beta", "ALPHA.mid", "Alpha.mid", "alpha.MID", "BAD.mid",
            "bad\xff.mid", "file 1.mid", "File 10.mid",
            "ring tone 0000000000000001.mid", // equal to the next beyond 16 bytes
            "Ring tone 0000000000000002.mid", "zeta.mid", "\xc3\xa9t\xc3\xa9 2.mid",
            "\xc3\x89t\xc3\xa9.mid"};
        // clang-format on
        std::vector<FolderEntry> entries;
        for (const QByteArray& name : sorted)
            entries.push_back(
                {name.sliced(name.startsWith("[D] ") ? 4 : 0), name.startsWith("[D]")});
        for (int shuffle = 0; shuffle < 3; ++shuffle) {
            std::rotate(entries.begin(), entries.begin() + 5, entries.end());
            std::reverse(entries.begin(), entries.end());
            const SortedListing listing(entries);
            QList<QByteArray> names;
            for (qsizetype i = 0; i < listing.Size(); ++i)
                names << (listing.IsDirectory(i) ? "[D] " : "") + listing.Name(i);
            QCOMPARE(names, sorted);
        }
    }

    // A listing read too soon after the folder's last change is not kept (a
    // change within the same tick would go unseen); the least recently used
    // goes first, and one larger than the whole bound is not kept.
    void listingsAreKeptWhileSettledAndWithinTheBound() {
        std::vector<FolderEntry> entries;
        entries.reserve(1000);
        for (int i = 0; i < 1000; ++i)
            entries.push_back({"Ring tone " + QByteArray::number(i) + ".mid", false});
        const auto listing = std::make_shared<const SortedListing>(entries);
        const FolderStamp stamp{1, 1, 100, 200};
        const qint64 settled = 200 + FolderListingCache::StampGranularityNs;
        FolderListingCache cache(3 * listing->MemoryBytes() + 100);
        cache.Insert("/share", stamp, listing, settled - 1);
        QVERIFY(!cache.Find("/share", stamp));
        for (ino_t inode = 1; inode <= 5; ++inode) {
            cache.Insert("/share", FolderStamp{1, inode, 100, 200},
                         std::make_shared<const SortedListing>(entries), settled);
            QVERIFY(cache.MemoryBytes() <= 3 * listing->MemoryBytes() + 100);
            QVERIFY(cache.Find("/share", stamp));
        }
        QCOMPARE(cache.Count(), 3);
        QVERIFY(!cache.Find("/share", FolderStamp{1, 2, 100, 200}));
        QVERIFY(cache.Find("/share", FolderStamp{1, 5, 100, 200}));
        QVERIFY(!cache.Find("/other share", stamp));
        QVERIFY(!cache.Find("/share", FolderStamp{1, 1, 100, 201})); // the folder changed
        FolderListingCache small(listing->MemoryBytes() - 1);
        small.Insert("/share", stamp, listing, settled);
        QCOMPARE(small.Count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "tst_filesystem.moc"
