#include "support/WmlValidation.h"
#include "wml/WmlDeck.h"

#include <QTest>

#include <functional>

namespace {
const QByteArray Prolog("<?xml version=\"1.0\"?>\n"
                        "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
                        "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n");

QByteArray Paragraph(const std::function<void(CParagraph&)>& fill) {
    CParagraph paragraph;
    fill(paragraph);
    return paragraph.GetWML();
}

// A deck of two cards with every element the site's pages use, in the forms
// they use.
QByteArray DeckWithEveryElement() {
    CDeck deck;
    deck.AddNewCard("Wait", "wait")->AddNewParagraph()->NormalText("Please wait");
    auto p = deck.AddNewCard("Main", "main")->AddNewParagraph();
    p->BoldUnderlinedText("Title", true);
    p->NormalText("Visitor's <text> & $5 \x01\x1f caf\xc3\xa9", true);
    p->BoldText("styled", false);
    p->ItalicText("styled", false);
    p->AddLineBreak(2);
    auto icon = std::make_shared<CImage>();
    icon->setSource("/?F=1");
    icon->setAlternativeText("*");
    icon->setAlignment(ImageAlignMiddle);
    p->AddAnchor("[D] R&D \x02$", "/?S=3&amp;K=$(K)", icon, true);
    p->AddGoAnchor("Main Menu", "/");
    p->AddImage("/?F=2", "Welcome!", ImageAlignTop);
    p->AddInput("P", 60, "*M", 10, true, true);
    return deck.GetWML();
}
} // namespace

// What each element writes where a fault would change the page on the phone:
// escaping, the order of elements and attributes, and the values left out.
class TestWmlElements : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void elementsWriteTheirMarkup_data() {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("empty deck") << CDeck().GetWML() << Prolog + "<wml></wml>";
        QTest::newRow("text escaped, dollars doubled")
            << Paragraph([](CParagraph& p) {
                   p.NormalText("a<b & $x");
                   p.NormalText("'\">", true);
                   p.BoldUnderlinedText("T", true);
                   p.AddLineBreak(0);
                   p.AddLineBreak(2);
               })
            << QByteArray("<p>a&lt;b &amp; $$x&apos;&quot;&gt;<br/><b><u>T</u></b><br/>"
                          "<br/><br/></p>");
        CDeck titled;
        titled.AddNewCard("a&b<$", "x")->AddNewParagraph()->AddGoAnchor("R&D $5", "/");
        QTest::newRow("card and anchor titles escaped")
            << titled.GetWML().mid(Prolog.size())
            << QByteArray("<wml><card id=\"x\" title=\"a&amp;b&lt;$$\"><p>"
                          "<anchor>R&amp;D $$5<go href=\"/\"/></anchor></p></card></wml>");
        // A link escapes its title, not its reference.
        QTest::newRow("links")
            << Paragraph([](CParagraph& p) {
                   p.AddAnchor("R&D $5 <\"'>", "/?S=1&amp;K=$(K)");
                   p.AddAnchor("Yes & no", "/x", nullptr, false, true);
               })
            << QByteArray("<p><a href=\"/?S=1&amp;K=$(K)\">R&amp;D $$5 &lt;&quot;&apos;&gt;</a>"
                          "<a href=\"/x\"><b>Yes &amp; no</b></a></p>");
        QTest::newRow("inputs and pictures")
            << Paragraph([](CParagraph& p) {
                   p.AddInput("P");
                   p.AddInput("pw", 8, "*N", 4, true);
                   p.AddImage("/?F=1", "Hi & bye!", ImageAlignTop);
               })
            << QByteArray("<p><input name=\"P\" emptyok=\"false\"/>"
                          "<input name=\"pw\" format=\"*N\" maxlength=\"8\" size=\"4\" "
                          "emptyok=\"false\" type=\"password\"/>"
                          "<img src=\"/?F=1\" alt=\"Hi &amp; bye!\" align=\"top\"/></p>");
    }

    void elementsWriteTheirMarkup() {
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, expected);
        QCOMPARE(written, expected);
    }

    void deckWithEveryElementPassesTheDtdAndTheGateway() {
        QVERIFY_VALID_WML(DeckWithEveryElement());
        // And the checks do see a broken deck.
        const QByteArray broken("<?xml version=\"1.0\"?>\n<wml><card><p>a<b</p></card></wml>");
        QVERIFY(!WmlValidation::DtdProblems(broken).isEmpty());
        QVERIFY(!WmlValidation::GatewayProblems(broken).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWmlElements)
#include "tst_wmlelements.moc"
