#include "site/LinkTables.h"

#include <QSet>
#include <QTest>

class TestLinkTables : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linksCarryTheIndexAndWhileThePasswordIsOnAKey() {
        bool password = false;
        SiteLinks links([&] { return password; });
        for (int i = 0; i < 12; ++i)
            links.MakeMainMenuLink();
        QCOMPARE(links.MakeLink({}, {}, {}, 1, "G", {}, {}, {}), QByteArray("/?S=12"));

        password = true;
        const QByteArray link = links.MakeLink({}, {}, {}, 1, "M", "L", {}, "&P=$(P)");
        const QByteArray key = links.FindLinkState(13)->K;
        QCOMPARE(key.size(), 3);
        QCOMPARE(link, "/?S=13&amp;K=" + key + "&amp;P=$(P)");
        QCOMPARE(*links.GetLinkField('M', 13), QByteArray("M"));
        QCOMPARE(*links.GetLinkField('P', 13), QByteArray("1"));
        QVERIFY(links.FindLinkState(12)->K.isEmpty());
    }

    void keysKeepTheirFormAndRarelyRepeat() {
        QSet<QByteArray> seen;
        for (int i = 0; i < 2000; ++i) {
            const QByteArray key = SiteLinks::MakeLinkKey();
            QCOMPARE(key.size(), 3);
            for (char c : key)
                QVERIFY(c >= 'A' && c <= '[');
            seen.insert(key);
        }
        // 2000 draws from 19683 keys collide about a hundred times.
        QVERIFY(seen.size() > 1750);
    }

    void fileLinksAreKeyedWhileThePasswordIsOn() {
        bool password = false;
        SiteLinks links([&] { return password; });
        QCOMPARE(links.RegisterFileLink("/a.wbmp"), QByteArray("/?F=0"));
        password = true;
        const QByteArray link = links.RegisterFileLink("/a.wbmp");
        QCOMPARE(link, "/?F=1&amp;K=" + links.FindFileLink(1)->key);
        QCOMPARE(links.FindFileLink(1)->path, QByteArray("/a.wbmp"));
    }

    void oldRecordsAreForgottenSoMemoryStaysFlat() {
        SiteLinks links([] { return false; });
        const qint64 total = SiteLinks::LinkCapacity + 10;
        for (qint64 i = 0; i < total; ++i)
            links.AddLinkState({}, QByteArray::number(i), {}, 1, "F", {}, {}, {});
        QVERIFY(!links.FindLinkState(9));
        QCOMPARE(links.FindLinkState(10)->D, QByteArray("10"));
        QCOMPARE(links.FindLinkState(total - 1)->D, QByteArray::number(total - 1));
        QVERIFY(!links.FindLinkState(total));
        QCOMPARE(links.LinkStateTable().Count(), SiteLinks::LinkCapacity);
    }

    void aStopForgetsEveryLinkAndNumberingGoesOn() {
        SiteLinks links([] { return false; });
        links.MakeMainMenuLink();
        links.RegisterFileLink("/x");
        links.Erase();
        QVERIFY(!links.FindLinkState(0));
        QVERIFY(!links.FindFileLink(0));
        QCOMPARE(links.MakeMainMenuLink(), QByteArray("/?S=1"));
        QVERIFY(!links.FindLinkState(0));
        QVERIFY(links.FindLinkState(1));
    }
};

QTEST_GUILESS_MAIN(TestLinkTables)
#include "tst_linktables.moc"
