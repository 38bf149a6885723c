#include "wml/WmlDeck.h"

#include <QTest>

namespace {
const QByteArray Prolog("<?xml version=\"1.0\"?>\n"
                        "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
                        "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n");
} // namespace

class TestWmlDeck : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void emptyDeckIsTheTwoPrologLinesAndAnEmptyWmlElement() {
        const QByteArray wml = CDeck().GetWML();
        QCOMPARE(wml, Prolog + "<wml></wml>");
        QCOMPARE(wml.size(), 128);
        QCOMPARE(QByteArray("http://www.wapforum.org/DTD/wml_1.1.xml").size(), 39);
        QCOMPARE(wml.count('\n'), 2);
    }

    void oneCardMenuDeck() {
        CDeck deck;
        auto paragraph = deck.AddNewCard("T", "c1")->AddNewParagraph();
        paragraph->NormalText("Hi", true);
        paragraph->AddAnchor("Menu", "/");
        QCOMPARE(deck.GetWML(), Prolog + "<wml><card id=\"c1\" title=\"T\"><p>Hi<br/>"
                                         "<a href=\"/\">Menu</a></p></card></wml>");
    }

    void cardWritesIdBeforeItsEscapedTitle() {
        CDeck deck;
        QCOMPARE(deck.AddNewCard()->GetWML(), QByteArray("<card></card>"));
        QCOMPARE(deck.AddNewCard("", "x")->GetWML(), QByteArray("<card id=\"x\"></card>"));
        QCOMPARE(deck.AddNewCard("a&b<$", "")->GetWML(),
                 QByteArray("<card title=\"a&amp;b&lt;$$\"></card>"));
        auto card = deck.AddNewCard("Error", "Error");
        card->AddNewParagraph()->NormalText("Hi", true);
        QCOMPARE(card->GetWML(),
                 QByteArray("<card id=\"Error\" title=\"Error\"><p>Hi<br/></p></card>"));
    }

    void timerCardKeepsThePairWhereItWasAdded() {
        CCard card;
        card.AddOnTimerGo(50, "x")->setSendReferer(true);
        card.AddNewParagraph();
        card.AddOnTimerGo(-1, "y");
        QCOMPARE(card.GetWML(),
                 QByteArray("<card><onevent type=\"ontimer\"><go href=\"x\" sendreferer=\"true\"/>"
                            "</onevent><timer value=\"50\"/><p></p><onevent type=\"ontimer\">"
                            "<go href=\"y\"/></onevent><timer value=\"-1\"/></card>"));
    }

    void templateAndDeckLevelDoElementsPrecedeCardsWhateverTheCallOrder() {
        CDeck deck;
        deck.AddNewCard("", "a");
        deck.AddNewDo(DoHelp, "Help");
        auto shared = std::make_shared<CCard>();
        deck.AddCard(shared);
        deck.AddCard(nullptr);
        auto deckTemplate = std::make_shared<CTemplate>();
        deck.setTemplate(deckTemplate);
        shared->setID("b");
        QCOMPARE(deck.GetWML(),
                 Prolog + "<wml><template></template><do label=\"Help\" type=\"help\"></do>"
                          "<card id=\"a\"></card><card id=\"b\"></card></wml>");

        auto first = std::make_shared<CDo>();
        deckTemplate->AddDo(first);
        deckTemplate->AddDoEvent(std::make_shared<CDo>());
        deckTemplate->AddDo(nullptr);
        first->setDoType(DoPrev);
        QCOMPARE(deckTemplate->GetWML(), QByteArray("<template><do type=\"prev\"></do>"
                                                    "<do type=\"accept\"></do></template>"));
        deck.setTemplate(nullptr);
        QVERIFY(!deck.GetWML().contains("template"));
    }

    void renderingChangesNothingAndChildrenStaySharedWithTheCaller() {
        CDeck deck;
        auto card = deck.AddNewCard("T");
        auto paragraph = card->AddNewParagraph();
        paragraph->BoldText("b");
        auto text = std::make_shared<CText>();
        card->Add(text);
        card->Add(nullptr);
        const QByteArray first = deck.GetWML();
        QCOMPARE(deck.GetWML(), first);
        paragraph->setAlignment(ParagraphAlignCenter);
        text->setText("after");
        QCOMPARE(deck.GetWML(), Prolog + "<wml><card title=\"T\"><p align=\"center\"><b>b</b></p>"
                                         "after</card></wml>");
    }
};

QTEST_GUILESS_MAIN(TestWmlDeck)
#include "tst_wmldeck.moc"
