#include "site/LinkTables.h"

#include <QSet>
#include <QTest>

class TestLinkTables : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linksCarryTheIndexAndWhileThePasswordIsOnAKey() {
        bool password = false;
        SiteLinks links([&] { return password; }, 0);
        for (int i = 0; i < 12; ++i)
            links.MakeLink({}, {}, {}, qint16(i), "F", {}, {}, {});
        QCOMPARE(links.MakeLink({}, {}, {}, 1, "G", {}, {}, {}), QByteArray("/?S=12"));

        password = true;
        const QByteArray link = links.MakeLink({}, {}, {}, 1, "M", "L", {}, "&P=$(P)");
        const QByteArray key = links.FindLinkState(13)->K;
        QCOMPARE(link, "/?S=13&amp;K=" + key + "&amp;P=$(P)");
        QCOMPARE(*links.GetLinkField('M', 13), QByteArray("M"));
        QCOMPARE(*links.GetLinkField('P', 13), QByteArray("1"));
        QVERIFY(links.FindLinkState(12)->K.isEmpty());
        // The same record with the password on is another one: it needs a key.
        QVERIFY(links.MakeLink({}, {}, {}, 1, "G", {}, {}, {}).startsWith("/?S=14&amp;K="));
    }

    void keysCannotBeGuessed() {
        QSet<QByteArray> seen;
        for (int i = 0; i < 20000; ++i) {
            const QByteArray key = SiteLinks::MakeLinkKey();
            QCOMPARE(key.size(), SiteLinks::KeyCharacters);
            for (char c : key)
                QVERIFY(QByteArrayView("-_").contains(c) || QChar::isLetterOrNumber(uchar(c)));
            seen.insert(key);
        }
        QCOMPARE(seen.size(), 20000);
    }

    void fileLinksAreKeyedWhileThePasswordIsOn() {
        bool password = false;
        SiteLinks links([&] { return password; }, 0);
        QCOMPARE(links.RegisterFileLink("/a.wbmp"), QByteArray("/?F=0"));
        password = true;
        const QByteArray link = links.RegisterFileLink("/a.wbmp");
        QCOMPARE(link, "/?F=1&amp;K=" + links.FindFileLink(1)->key);
        QCOMPARE(links.FindFileLink(1)->path, QByteArray("/a.wbmp"));
        QCOMPARE(links.RegisterFileLink("/a.wbmp"), link);
    }

    // A flood of requests for pages that exist already adds nothing: only
    // distinct records take room, and a record pushed out is made anew.
    void reloadedPagesReuseTheirRecords() {
        SiteLinks links([] { return false; }, 0);
        const QByteArray menu = links.MakeMainMenuLink();
        for (int i = 0; i < 3 * SiteLinks::LinkCapacity; ++i)
            QCOMPARE(links.MakeMainMenuLink(), menu);
        QCOMPARE(links.LinkStateTable().Count(), 1);
        for (qint64 i = 0; i < SiteLinks::LinkCapacity; ++i)
            links.MakeLink({}, QByteArray::number(i), {}, 1, "F", {}, {}, {});
        // The oldest records are forgotten, so memory stays flat.
        QVERIFY(!links.FindLinkState(0));
        QCOMPARE(links.FindLinkState(1)->D, QByteArray("0"));
        QCOMPARE(links.FindLinkState(SiteLinks::LinkCapacity)->D,
                 QByteArray::number(SiteLinks::LinkCapacity - 1));
        QVERIFY(!links.FindLinkState(SiteLinks::LinkCapacity + 1));
        QCOMPARE(links.MakeMainMenuLink(),
                 "/?S=" + QByteArray::number(SiteLinks::LinkCapacity + 1));
        QVERIFY(!links.FindLinkState(1));
        QCOMPARE(links.LinkStateTable().Count(), SiteLinks::LinkCapacity);
    }

    // Each run numbers from its own random point, so that a link of an
    // earlier run leads nowhere.
    void runsStartNumberingAtRandomPoints() {
        QSet<QByteArray> firstLinks;
        for (int run = 0; run < 20; ++run) {
            SiteLinks links([] { return false; });
            firstLinks.insert(links.MakeMainMenuLink());
        }
        QCOMPARE(firstLinks.size(), 20);
    }

    void aStopForgetsEveryLinkAndNumberingGoesOn() {
        SiteLinks links([] { return false; }, 0);
        links.MakeMainMenuLink();
        links.RegisterFileLink("/x");
        links.Erase();
        QVERIFY(!links.FindLinkState(0));
        QVERIFY(!links.FindFileLink(0));
        QCOMPARE(links.MakeMainMenuLink(), QByteArray("/?S=1"));
        QVERIFY(!links.FindLinkState(0));
        // Records made after the stop are found as they were made.
        for (int i = 2; i < 50; ++i)
            links.MakeLink({}, QByteArray::number(i), {}, 1, "F", {}, {}, {});
        for (int i = 2; i < 50; ++i)
            QCOMPARE(links.FindLinkState(i)->D, QByteArray::number(i));
        QVERIFY(links.FindLinkState(1)->D.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLinkTables)
#include "tst_linktables.moc"
