#include "base/SafeText.h"
#include "base/StatusLog.h"
#include "base/basUtilities.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>
#include <QXmlStreamReader>

using basUtilities::XmlEscape;
using SafeText::LeftCharacters;
using SafeText::MakeXmlSafe;

class TestSafeText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replacesEveryByteThatCannotStay_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("safe");
        QTest::newRow("clean") << QByteArray("Tab\there, line\r\nand caf\u00e9 \u20ac \U0001F600")
                               << QByteArray("Tab\there, line\r\nand caf\u00e9 \u20ac \U0001F600");
        QTest::newRow("controls") << QByteArray("a\x01z\x0B\x1B\x00.", 7) << QByteArray("a?z???.");
        QTest::newRow("stray continuation") << QByteArray("a\x80z") << QByteArray("a?z");
        QTest::newRow("cut at the end") << QByteArray("ab\xE2\x82") << QByteArray("ab??");
        QTest::newRow("cut in the middle") << QByteArray("\xC3z") << QByteArray("?z");
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << QByteArray("??");
        QTest::newRow("overlong three") << QByteArray("\xE0\x80\xAF") << QByteArray("???");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QByteArray("???");
        QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QByteArray("????");
        // A well-formed character that XML forbids is one character: one "?".
        QTest::newRow("U+FFFE and U+FFFF") << QByteArray("\uFFFEx\uFFFF") << QByteArray("?x?");
        QTest::newRow("valid after bad")
            << QByteArray("\xFF\u00e9\U0001F600") << QByteArray("?\u00e9\U0001F600");
    }

    void replacesEveryByteThatCannotStay() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, safe);
        const QByteArray made = MakeXmlSafe(text);
        QCOMPARE(made, safe);
        QCOMPARE(made.constData() == text.constData(), text == safe); // clean text: no copy
    }

    // Whatever the bytes, the escaped result is text an XML parser accepts.
    void randomBytesAlwaysGiveAWellFormedDocument() {
        QRandomGenerator random(20240601);
        for (int round = 0; round < 3000; ++round) {
            QByteArray text(random.bounded(1, 40), Qt::Uninitialized);
            for (char& c : text)
                c = char(random.bounded(256));
            QXmlStreamReader reader("<p>" + XmlEscape(MakeXmlSafe(text), false) + "</p>");
            while (!reader.atEnd())
                reader.readNext();
            QVERIFY2(!reader.hasError(), text.toHex().constData());
        }
    }

    void escapingCuttingAndPhoneText() {
        const QByteArray text = "a\u00e9\u20ac\U0001F600z";
        QCOMPARE(LeftCharacters(text, 0), QByteArray());
        QCOMPARE(LeftCharacters(text, 2), QByteArray("a\u00e9"));
        QCOMPARE(LeftCharacters(text, 4), QByteArray("a\u00e9\u20ac\U0001F600"));
        QCOMPARE(LeftCharacters(text, 5), text);
        QCOMPARE(LeftCharacters(text, 99).constData(), text.constData());
        // A byte that begins no valid sequence counts as one character.
        QCOMPARE(LeftCharacters("\xFF\xE2\x82x", 2), QByteArray("\xFF\xE2"));
        // XmlEscape replaces each special character once (without dollars:
        // the deck's exact markup in the element tests).
        QCOMPARE(XmlEscape("\"&amp;$\"", true), QByteArray("&quot;&amp;amp;$&quot;"));
        // Control characters that XML cannot carry are left out.
        QCOMPARE(XmlEscape(QByteArray("a\001b\tc\nd\re\x1f\x7f\xc3\xa9\0", 14), false),
                 QByteArray("ab\tc\nd\re\x7f\xc3\xa9"));
        // UTF-8 from a phone stays as it is (ISO-8859-1 text: the graffiti
        // tests of the site).
        const QByteArray utf8 = "\u65e5\u672c caf\u00e9";
        QCOMPARE(SafeText::Utf8FromPhone(utf8).constData(), utf8.constData());
    }

    // A visitor's text cannot forge a log line, nor make a long one.
    void logTextShowsControlsAndIsCut_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("logged");
        QTest::newRow("plain") << QByteArray("Gr\u00fc\u00dfe") << QByteArray("Gr\u00fc\u00dfe");
        QTest::newRow("controls") << QByteArray("\r\t\x01\x7F\\")
                                  << QByteArray("\\r\\t\\x01\\x7f\\\\");
        QTest::newRow("C1 control") << QByteArray("a\u0085z") << QByteArray("a\\xc2\\x85z");
        QTest::newRow("not UTF-8") << QByteArray("a\xFF\xE2\x82") << QByteArray("a\\xff\\xe2\\x82");
        QTest::newRow("cut") << QByteArray(10, 'x') + "\u20acyy"
                             << QByteArray(10, 'x') + "\u20ac" + SafeText::CutMark;
        QTest::newRow("exactly the limit") << QByteArray(11, 'x') << QByteArray(11, 'x');
    }

    void logTextShowsControlsAndIsCut() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, logged);
        QCOMPARE(SafeText::ForLog(text, 11), logged);
    }

    // The oldest lines go first, when the line count or the bytes of the
    // texts pass their cap; a single text beyond the byte cap is cut to it.
    void keepsTheNewestLinesWithinBothCaps() {
        StatusLog log;
        for (int i = 0; i < StatusLog::MaxLines + 5; ++i)
            log.LogStatus(LogNotice, QString::number(i));
        QCOMPARE(log.rowCount(), StatusLog::MaxLines);
        QCOMPARE(log.lines().first().message, QStringLiteral("5"));
        QCOMPARE(log.index(StatusLog::MaxLines - 1, 1).data().toString(),
                 QString::number(StatusLog::MaxLines + 4));
        QAbstractItemModelTester tester(&log,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);

        for (int i = 0; i < 100; ++i)
            log.LogStatus(LogNotice, QString::number(i) + QString(qsizetype{100} * 1024, u'x'));
        QVERIFY(log.textBytes() <= StatusLog::MaxBytes);
        QVERIFY(log.rowCount() < 100);
        QVERIFY(log.lines().last().message.startsWith(QStringLiteral("99x")));
        log.LogStatus(LogNotice, QString(StatusLog::MaxBytes + 9, u'y'));
        QCOMPARE(log.rowCount(), 1);
        QCOMPARE(log.textBytes(), StatusLog::MaxBytes);
        log.LogStatus(4, QStringLiteral("short")); // a level of its own is kept as it is
        QCOMPARE(log.lines().last().message, QStringLiteral("short"));
        QCOMPARE(log.index(log.rowCount() - 1, 0).data(StatusLog::LevelRole).toInt(), 4);
    }

    // Lines are stamped in UTC and the stamp text is made once a second, but
    // what the reader sees is the local time of the moment the line came:
    // on stderr (ISO form) and in the date column.
    void linesShowTheLocalTimeTheyCameAt() {
        const QByteArray savedZone = qgetenv("TZ");
        const auto restore = qScopeGuard([&] { qputenv("TZ", savedZone); });
        qputenv("TZ", "Asia/Kolkata"); // 5:30 ahead of UTC, never on summer time
        StatusLog log;
        const QDateTime before = QDateTime::currentDateTime();
        for (int i = 0; i < 3; ++i)
            log.LogStatus(LogError, QStringLiteral("line ") + QString::number(i));
        const StatusLog::Line last = log.lines().last();
        const QDateTime local = last.when.toLocalTime();
        QVERIFY(before.msecsTo(last.when) >= 0 && before.msecsTo(last.when) < 60000);
        QCOMPARE(StatusLog::formatLine(last),
                 local.toString(Qt::ISODate) + QStringLiteral(" 1 line 2"));
        // The stderr mirror's bytes: the same text in UTF-8, appended in
        // place, a message cut within a surrogate pair leaving nothing to the
        // next line.
        StatusLog::Line cut = last;
        cut.message = QStringLiteral("Grüße ") + QChar(0xD83D);
        QByteArray mirrored = "earlier\n";
        StatusLog::appendLineUtf8(mirrored, cut);
        StatusLog::appendLineUtf8(mirrored, last);
        QCOMPARE(mirrored, "earlier\n" + StatusLog::formatLine(cut).toLocal8Bit() +
                               StatusLog::formatLine(last).toLocal8Bit());
        QCOMPARE(log.index(2, StatusLog::DateColumn).data().toString(),
                 QLocale::system().toString(local, QLocale::ShortFormat));
        QCOMPARE(local.offsetFromUtc(), 5 * 3600 + 30 * 60);
    }
};

QTEST_GUILESS_MAIN(TestSafeText)
#include "tst_safetext.moc"
