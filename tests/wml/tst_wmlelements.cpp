#include "support/WmlValidation.h"
#include "wml/WmlDeck.h"

#include <QTest>

namespace {
// A deck of two cards with every element the site's pages use, in the forms
// they use, and every text that needs escaping where it can appear.
QByteArray DeckWithEveryElement() {
    CDeck deck;
    auto wait = deck.AddNewCard("a&b<$", "wait")->AddNewParagraph();
    wait->NormalText("a<b & $x");
    wait->NormalText("'\">", true);
    wait->AddLineBreak(0);
    auto p = deck.AddNewCard("Main", "main")->AddNewParagraph();
    p->BoldUnderlinedText("Title", true);
    p->NormalText("Visitor's <text> & $5 \x01\x1f caf\xc3\xa9", true);
    p->BoldText("styled", false);
    p->ItalicText("styled", false);
    p->AddLineBreak(2);
    // A link escapes its title, not its reference.
    p->AddAnchor("[D] R&D \x02$", "/?S=3&amp;K=$(K)");
    p->AddGoAnchor("R&D $5 <\"'>", "/");
    p->AddImage("/?F=2", "Hi & bye!", ImageAlignTop);
    p->AddInput("P", 8, "*N", 4, true);
    return deck.GetWML();
}
} // namespace

// What each element writes where a fault would change the page on the phone:
// escaping, the order of elements and attributes, and the values left out.
class TestWmlElements : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void deckWithEveryElementIsExactAndPassesTheDtdAndTheGateway() {
        const QByteArray deck = DeckWithEveryElement();
        // The prolog before <wml>: the site's exact pages.
        QCOMPARE(deck.mid(deck.indexOf("<wml>")),
                 QByteArray("<wml><card id=\"wait\" title=\"a&amp;b&lt;$$\"><p>a&lt;b &amp; "
                            "$$x&apos;&quot;&gt;<br/></p></card><card id=\"main\" "
                            "title=\"Main\"><p><b><u>Title</u></b><br/>Visitor&apos;s "
                            "&lt;text&gt; &amp; $$5  caf\xc3\xa9<br/><b>styled</b><i>styled</i>"
                            "<br/><br/><a href=\"/?S=3&amp;K=$(K)\">[D] R&amp;D $$</a>"
                            "<anchor>R&amp;D $$5 &lt;&quot;&apos;&gt;<go "
                            "href=\"/\"/></anchor><img src=\"/?F=2\" alt=\"Hi &amp; bye!\" "
                            "align=\"top\"/><input name=\"P\" format=\"*N\" maxlength=\"8\" "
                            "size=\"4\" emptyok=\"false\" type=\"password\"/></p></card></wml>"));
        QVERIFY_VALID_WML(deck);
        // And the checks do see a broken deck.
        const QByteArray broken("<?xml version=\"1.0\"?>\n<wml><card><p>a<b</p></card></wml>");
        QVERIFY(!WmlValidation::DtdProblems(broken).isEmpty());
        QVERIFY(!WmlValidation::GatewayProblems(broken).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWmlElements)
#include "tst_wmlelements.moc"
