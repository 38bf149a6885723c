#include "base/SafeText.h"
#include "site/graffiti/GraffitiBoard.h"
#include "support/TempSettings.h"

#include <QTest>

class TestGraffitiBoard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stampsFollowTheOptionsAtEachCall() {
        TempSettings t;
        GraffitiBoard board(*t.settings);
        board.setClock([] { return QDateTime(QDate(2023, 12, 5), QTime(14, 3)); });
        board.AddGraffiti("Hello");
        t.settings->setSwitch(Settings::GraffitiShowDate, true);
        board.AddGraffiti("Hello");
        t.settings->setSwitch(Settings::GraffitiShowTime, true);
        board.AddGraffiti("Hello");
        t.settings->setSwitch(Settings::GraffitiShowDate, false);
        board.AddGraffiti("Hello");
        QVERIFY(!board.AddGraffiti(QByteArray()));
        QCOMPARE(board.messages(), (QList<QByteArray>{"Hello", "05 Dec - Hello",
                                                      "05 Dec 14:03 - Hello", "14:03 - Hello"}));
    }

    void messagesAreCutToSixtyCharactersAndMadeSafe() {
        TempSettings t;
        t.settings->setSwitch(Settings::GraffitiShowDate, true);
        t.settings->setSwitch(Settings::GraffitiShowTime, true);
        GraffitiBoard board(*t.settings);
        const QByteArray sixty(60, 'x');
        board.AddGraffiti(sixty);
        QCOMPARE(board.messages().last().size(), 60);
        QVERIFY(board.messages().last().endsWith(QByteArray(45, 'x')));

        t.settings->setSwitch(Settings::GraffitiShowDate, false);
        t.settings->setSwitch(Settings::GraffitiShowTime, false);
        QByteArray accents;
        for (int i = 0; i < 70; ++i)
            accents += "\xC3\xA9";
        board.AddGraffiti(accents);
        QCOMPARE(board.messages().last(), accents.left(120)); // 60 characters, none split
        board.AddGraffiti("<b>\x01\xFF&");
        QCOMPARE(board.messages().last(), QByteArray("<b>??&"));
        for (const QByteArray& message : board.messages())
            QCOMPARE(SafeText::MakeXmlSafe(message), message);
    }

    void keepsTheNewestMessages() {
        TempSettings t;
        GraffitiBoard board(*t.settings);
        for (int i = 0; i < GraffitiBoard::MaxMessages + 5; ++i)
            board.AddGraffiti(QByteArray::number(i));
        QCOMPARE(board.count(), GraffitiBoard::MaxMessages);
        QCOMPARE(board.messages().first(), QByteArray("5"));
        QCOMPARE(board.firstOfLast(10), GraffitiBoard::MaxMessages - 10);
        board.removeAt(0);
        QCOMPARE(board.messages().first(), QByteArray("6"));
        board.removeAll();
        QCOMPARE(board.rowCount(), 0);
        QCOMPARE(board.firstOfLast(10), 0);
    }
};

QTEST_GUILESS_MAIN(TestGraffitiBoard)
#include "tst_graffitiboard.moc"
