#include "server/basUtilities.h"

#include <QTest>

using basUtilities::XmlEscape;

class TestBasUtilities : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void xmlEscapeReplacesEachSpecialCharacterOnce()
    {
        QCOMPARE(XmlEscape("a&b<'$'>", false), QByteArray("a&amp;b&lt;&apos;$$&apos;&gt;"));
        QCOMPARE(XmlEscape("a&b<'$'>", true), QByteArray("a&amp;b&lt;&apos;$&apos;&gt;"));
        QCOMPARE(XmlEscape("\"&amp;\"", true), QByteArray("&quot;&amp;amp;&quot;"));
        QCOMPARE(XmlEscape("", false), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestBasUtilities)
#include "tst_basutilities.moc"
