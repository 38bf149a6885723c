#include "base/SafeText.h"
#include "base/basUtilities.h"

#include <QRandomGenerator>
#include <QTest>
#include <QXmlStreamReader>

using SafeText::LeftCharacters;
using SafeText::MakeXmlSafe;

class TestSafeText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanTextIsReturnedWithoutACopy() {
        const QByteArray clean = "Tab\there, line\r\nand caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
        const QByteArray safe = MakeXmlSafe(clean);
        QCOMPARE(safe, clean);
        QCOMPARE(safe.constData(), clean.constData());
    }

    void replacesEveryByteThatCannotStay_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("safe");
        QTest::newRow("controls") << QByteArray("a\x01z\x0B\x1B\x00.", 7) << QByteArray("a?z???.");
        QTest::newRow("stray continuation") << QByteArray("a\x80z") << QByteArray("a?z");
        QTest::newRow("cut at the end") << QByteArray("ab\xE2\x82") << QByteArray("ab??");
        QTest::newRow("cut in the middle") << QByteArray("\xC3z") << QByteArray("?z");
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << QByteArray("??");
        QTest::newRow("overlong three") << QByteArray("\xE0\x80\xAF") << QByteArray("???");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QByteArray("???");
        QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QByteArray("????");
        // A well-formed character that XML forbids is one character: one "?".
        QTest::newRow("U+FFFE and U+FFFF")
            << QByteArray("\xEF\xBF\xBEx\xEF\xBF\xBF") << QByteArray("?x?");
        QTest::newRow("latin-1 name") << QByteArray("caf\xE9.mid") << QByteArray("caf?.mid");
        QTest::newRow("valid after bad") << QByteArray("\xFF\xC3\xA9\xF0\x9F\x98\x80")
                                         << QByteArray("?\xC3\xA9\xF0\x9F\x98\x80");
    }

    void replacesEveryByteThatCannotStay() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, safe);
        QCOMPARE(MakeXmlSafe(text), safe);
    }

    // Whatever the bytes, the escaped result is text an XML parser accepts.
    void randomBytesAlwaysGiveAWellFormedDocument() {
        QRandomGenerator random(20240601);
        for (int round = 0; round < 3000; ++round) {
            QByteArray text(random.bounded(1, 40), Qt::Uninitialized);
            for (char& c : text)
                c = char(random.bounded(256));
            const QByteArray document =
                "<p>" + basUtilities::XmlEscape(MakeXmlSafe(text), false) + "</p>";
            QXmlStreamReader reader(document);
            while (!reader.atEnd())
                reader.readNext();
            QVERIFY2(!reader.hasError(),
                     qPrintable(QString::fromLatin1(text.toHex()) + u' ' + reader.errorString()));
        }
    }

    void leftCharactersNeverSplitsACharacter() {
        const QByteArray text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
        QCOMPARE(LeftCharacters(text, 0), QByteArray());
        QCOMPARE(LeftCharacters(text, 2), QByteArray("a\xC3\xA9"));
        QCOMPARE(LeftCharacters(text, 4), QByteArray("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"));
        QCOMPARE(LeftCharacters(text, 5), text);
        QCOMPARE(LeftCharacters(text, 99).constData(), text.constData());
        // A byte that begins no valid sequence counts as one character.
        QCOMPARE(LeftCharacters("\xFF\xE2\x82x", 2), QByteArray("\xFF\xE2"));
    }

    // A visitor's text cannot forge a log line, nor make a long one.
    void logTextShowsControlsAndIsCut_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("logged");
        QTest::newRow("plain") << QByteArray("Gr\xC3\xBC\xC3\x9F"
                                             "e")
                               << QByteArray("Gr\xC3\xBC\xC3\x9F"
                                             "e");
        QTest::newRow("new line") << QByteArray("hi\nfake") << QByteArray("hi\\nfake");
        QTest::newRow("controls") << QByteArray("\r\t\x01\x7F\\")
                                  << QByteArray("\\r\\t\\x01\\x7f\\\\");
        QTest::newRow("C1 control") << QByteArray("a\xC2\x85z") << QByteArray("a\\xc2\\x85z");
        QTest::newRow("not UTF-8") << QByteArray("a\xFF\xE2\x82") << QByteArray("a\\xff\\xe2\\x82");
        QTest::newRow("cut") << QByteArray(10, 'x') + "\xE2\x82\xAC" + "yy"
                             << QByteArray(10, 'x') + "\xE2\x82\xAC" + SafeText::CutMark;
        QTest::newRow("exactly the limit") << QByteArray(11, 'x') << QByteArray(11, 'x');
    }

    void logTextShowsControlsAndIsCut() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, logged);
        QCOMPARE(SafeText::ForLog(text, 11), logged);
    }

    void phoneTextInIso88591BecomesUtf8() {
        QCOMPARE(SafeText::Utf8FromPhone("caf\xE9"), QByteArray("caf\xC3\xA9"));
        QCOMPARE(SafeText::Utf8FromPhone("Gr\xFC\xDF"
                                         "e"),
                 QByteArray("Gr\xC3\xBC\xC3\x9F"
                            "e"));
        const QByteArray utf8 = "\xE6\x97\xA5\xE6\x9C\xAC caf\xC3\xA9";
        QCOMPARE(SafeText::Utf8FromPhone(utf8).constData(), utf8.constData());
    }
};

QTEST_GUILESS_MAIN(TestSafeText)
#include "tst_safetext.moc"
