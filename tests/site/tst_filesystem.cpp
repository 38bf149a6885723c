#include "base/FolderPaths.h"
#include "site/FileSystem.h"

#include <QTest>

using namespace FileSystem;
using FolderPaths::IsWithinFolder;

class TestFileSystem : public QObject {
    Q_OBJECT
private Q_SLOTS:
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
        QCOMPARE(ProperCase("\xc3\x89T\xc3\x89"), QByteArray("\xc3\x89t\xc3\x89"));
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
