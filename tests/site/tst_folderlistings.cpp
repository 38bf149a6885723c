#include "site/FileSystem.h"
#include "site/sharedfolders/FolderListings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>

using FileSystem::ConfinedFolder;
using FileSystem::Descriptor;
using FileSystem::FolderEntry;

namespace {

QList<QByteArray> Names(const SortedListing& listing) {
    QList<QByteArray> names;
    for (qsizetype i = 0; i < listing.Size(); ++i)
        names << (listing.IsDirectory(i) ? "[D] " : "") + listing.Name(i);
    return names;
}

std::shared_ptr<const SortedListing> ListingOf(const std::vector<FolderEntry>& entries) {
    return std::make_shared<const SortedListing>(entries);
}

std::optional<FolderStamp> StampOf(const QString& folder) {
    return FolderStamp::Of(Descriptor(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
}

qint64 LastChange(const FolderStamp& stamp) {
    return std::max(stamp.modifiedNs, stamp.changedNs);
}

} // namespace

class tst_FolderListings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void foldersThenFilesInNameOrderRegardlessOfCase() {
        const std::vector<FolderEntry> entries = {
            {"zeta.mid", false},
            {"Beta", true},
            {"\xc3\x89t\xc3\xa9.mid", false}, // after the ASCII letters, by code point
            {"alpha.MID", false},
            {"Alpha.mid", false},
            {"ALPHA.mid", false},
            {"alpha", true},
            {"bad\xff.mid", false},
            {"BAD.mid", false},
            {"File 10.mid", false},
            {"file 1.mid", false},
            {"Ring tone 0000000000000002.mid", false}, // equal beyond the first 16 bytes
            {"ring tone 0000000000000001.mid", false},
        };
        const SortedListing listing(entries);
        QCOMPARE(Names(listing), QList<QByteArray>({
                                     "[D] alpha",
                                     "[D] Beta",
                                     "ALPHA.mid",
                                     "Alpha.mid",
                                     "alpha.MID",
                                     "BAD.mid",
                                     "bad\xff.mid",
                                     "file 1.mid",
                                     "File 10.mid",
                                     "ring tone 0000000000000001.mid",
                                     "Ring tone 0000000000000002.mid",
                                     "zeta.mid",
                                     "\xc3\x89t\xc3\xa9.mid",
                                 }));
        // The order does not depend on the order the disk delivered.
        std::vector<FolderEntry> reversed(entries.rbegin(), entries.rend());
        QCOMPARE(Names(SortedListing(reversed)), Names(listing));
        QCOMPARE(SortedListing({}).Size(), 0);
    }

    void aListingIsUsedOnlyWhileItsFolderIsUnchanged() {
        QTemporaryDir tmp;
        QFile(tmp.filePath(QStringLiteral("a.mid"))).open(QIODevice::WriteOnly);
        const auto stamp = StampOf(tmp.path());
        QVERIFY(stamp);
        FolderListingCache cache;
        const auto listing = ListingOf({{"a.mid", false}});
        const qint64 settled = LastChange(*stamp) + FolderListingCache::StampGranularityNs;

        // Read too soon after the last change: a change within the same
        // tick would go unseen, so it is not kept.
        cache.Insert("/share", *stamp, listing, settled - 1);
        QVERIFY(!cache.Find("/share", *stamp));

        cache.Insert("/share", *stamp, listing, settled);
        QCOMPARE(cache.Find("/share", *stamp), listing);
        QVERIFY(!cache.Find("/other share", *stamp));

        for (const QString& change :
             {QStringLiteral("add"), QStringLiteral("rename"), QStringLiteral("remove")}) {
            cache.Insert("/share", *StampOf(tmp.path()), listing,
                         WallClockNs() + FolderListingCache::StampGranularityNs);
            QVERIFY(cache.Find("/share", *StampOf(tmp.path())));
            if (change == QStringLiteral("add"))
                QVERIFY(QFile(tmp.filePath(QStringLiteral("b.mid"))).open(QIODevice::WriteOnly));
            else if (change == QStringLiteral("rename"))
                QVERIFY(QFile::rename(tmp.filePath(QStringLiteral("b.mid")),
                                      tmp.filePath(QStringLiteral("c.mid"))));
            else
                QVERIFY(QFile::remove(tmp.filePath(QStringLiteral("c.mid"))));
            QVERIFY2(!cache.Find("/share", *StampOf(tmp.path())), qPrintable(change));
            QCOMPARE(cache.Count(), 0);
        }
    }

    void memoryStaysWithinItsBound() {
        std::vector<FolderEntry> entries;
        for (int i = 0; i < 1000; ++i)
            entries.push_back({"Ring tone " + QByteArray::number(i) + ".mid", false});
        const auto listing = ListingOf(entries);
        const qsizetype bound = 3 * listing->MemoryBytes() + 100;
        FolderListingCache cache(bound);
        const qint64 later = WallClockNs() + 10 * FolderListingCache::StampGranularityNs;
        for (ino_t inode = 1; inode <= 5; ++inode) {
            cache.Insert("/share", FolderStamp{1, inode, 0, 0}, ListingOf(entries), later);
            QVERIFY(cache.MemoryBytes() <= bound);
            // The most recently used stays; the least recently used goes.
            QVERIFY(cache.Find("/share", FolderStamp{1, 1, 0, 0}));
        }
        QCOMPARE(cache.Count(), 3);
        QVERIFY(!cache.Find("/share", FolderStamp{1, 2, 0, 0}));
        QVERIFY(cache.Find("/share", FolderStamp{1, 5, 0, 0}));
        // A listing larger than the whole bound is not kept.
        FolderListingCache small(listing->MemoryBytes() - 1);
        small.Insert("/share", FolderStamp{1, 1, 0, 0}, listing, later);
        QCOMPARE(small.Count(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_FolderListings)
#include "tst_folderlistings.moc"
