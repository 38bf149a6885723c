#include "base/basUtilities.h"

#include <QTest>

using basUtilities::XmlEscape;

class TestBasUtilities : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void xmlEscapeReplacesEachSpecialCharacterOnce() {
        QCOMPARE(XmlEscape("a&b<'$'>", false), QByteArray("a&amp;b&lt;&apos;$$&apos;&gt;"));
        QCOMPARE(XmlEscape("a&b<'$'>", true), QByteArray("a&amp;b&lt;&apos;$&apos;&gt;"));
        QCOMPARE(XmlEscape("\"&amp;\"", true), QByteArray("&quot;&amp;amp;&quot;"));
        QCOMPARE(XmlEscape("", false), QByteArray());
    }

    void xmlEscapeLeavesOutControlCharactersThatXmlCannotCarry() {
        const QByteArray text("a\x01"
                              "b\tc\nd\re\x1f\x7f\xc3\xa9",
                              13);
        QCOMPARE(XmlEscape(text, false), QByteArray("ab\tc\nd\re\x7f\xc3\xa9"));
        QCOMPARE(XmlEscape(QByteArray("x\0y", 3), true), QByteArray("xy"));
    }
};

QTEST_GUILESS_MAIN(TestBasUtilities)
#include "tst_basutilities.moc"
