#include "base/FolderPaths.h"
#include "site/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace FileSystem;
using FolderPaths::IsWithinFolder;

namespace {
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
        auto entries = ListFolder(Local(tmp.path()), {});
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        QCOMPARE(entries.size(), size_t(3));
        QCOMPARE(entries[0].name, QByteArray(".hidden"));
        QVERIFY(entries[0].isDirectory);
        QCOMPARE(entries[1].name, QByteArray("my MUSIC"));
        QCOMPARE(entries[2].name, QByteArray("rock-n-roll.MID"));
        QVERIFY(!entries[2].isDirectory);
        QVERIFY(ListFolder(Local(tmp.filePath(QStringLiteral("gone"))), {}).empty());
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

        const QByteArray share = CanonicalPath(Local(tmp.filePath(QStringLiteral("share"))));
        auto entries = ListFolder(share, share);
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        QCOMPARE(entries.size(), size_t(2));
        QCOMPARE(entries[0].name, QByteArray("in"));
        QVERIFY(entries[0].isDirectory);
        QCOMPARE(entries[1].name, QByteArray("inner"));
    }

    void containmentComparesWholeComponents() {
        QVERIFY(IsWithinFolder("/home/a/mus", "/home/a/mus"));
        QVERIFY(IsWithinFolder("/home/a/mus/x", "/home/a/mus"));
        QVERIFY(!IsWithinFolder("/home/a/music", "/home/a/mus"));
        QVERIFY(!IsWithinFolder("/home/a/Mus", "/home/a/mus"));
        QVERIFY(IsWithinFolder("/etc", "/"));
        QVERIFY(!IsWithinFolder({}, "/"));
    }

    void findDataOfFilesAndMissingPaths() {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("a.bin"));
        WriteFile(path, QByteArray(1234567, 'x'));
        const FindData data = GetFindData(Local(path));
        QVERIFY(data.exists);
        QCOMPARE(data.size, quint64(1234567));
        QCOMPARE(data.creationTime.date(), QDateTime::currentDateTimeUtc().date());
        const FindData missing = GetFindData(Local(tmp.filePath(QStringLiteral("gone"))));
        QVERIFY(!missing.exists);
        QCOMPARE(missing.size, quint64(0));
    }

    void namesAreProperCasedByBlankSeparatedWords() {
        QCOMPARE(ProperCase("my MUSIC"), QByteArray("My Music"));
        QCOMPARE(ProperCase("rock-n-roll.MID"), QByteArray("Rock-n-roll.mid"));
        QCOMPARE(ProperCase("AUDIO  files"), QByteArray("Audio  Files"));
        QCOMPARE(ProperCase("\xc3\x89T\xc3\x89"), QByteArray("\xc3\x89t\xc3\x89"));
    }

    void extensionsAndTheirTypes() {
        QCOMPARE(FileExtension("Logo.gif"), QByteArray("GIF"));
        QCOMPARE(FileExtension("song.live.mid"), QByteArray("LIVE.MID"));
        QCOMPARE(FileExtension("Readme"), QByteArray("README"));
        QCOMPARE(ContentTypeOfExtension("MIDI"), QByteArray("audio/midi"));
        QCOMPARE(ContentTypeOfExtension("JAR"), QByteArray("application/x-compressed"));
        QVERIFY(KindOfExtension("JPE") == FileKind::Picture);
        QVERIFY(KindOfExtension("IMY") == FileKind::Download);
        QVERIFY(KindOfExtension("LIVE.MID") == FileKind::Unsupported);
        QVERIFY(ContentTypeOfExtension("TXT").isEmpty());
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
