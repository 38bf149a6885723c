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

std::shared_ptr<CImage> Icon() {
    auto image = std::make_shared<CImage>();
    image->setSource("/?F=1");
    image->setAlternativeText("*");
    image->setAlignment(ImageAlignMiddle);
    return image;
}

// A deck of two cards that uses every element class in forms that WML 1.1
// allows.
QByteArray DeckWithEveryElement() {
    CDeck deck;
    deck.setTemplate(std::make_shared<CTemplate>());
    for (const auto& [doType, taskType] : QList<std::pair<qint32, qint32>>{
             {DoPrev, TaskPrev}, {DoHelp, TaskGo}, {DoReset, TaskRefresh}, {DoOptions, TaskNoop}}) {
        auto softkey = std::make_shared<CDo>();
        softkey->setDoType(doType);
        softkey->setTaskType(taskType);
        softkey->setLabel("Key");
        deck.Template()->AddDo(softkey);
    }
    auto timed = deck.AddNewCard("Wait", "wait");
    auto go = timed->AddOnTimerGo(30, "/?S=2");
    go->AddPostfield("a", "1");
    go->AddVariable("seen", "1");
    go->setSendReferer(true);
    timed->AddNewParagraph()->NormalText("Please wait");
    auto main = deck.AddNewCard("Main", "main");
    auto accept = std::make_shared<CDo>();
    accept->setTaskType(TaskGo);
    accept->Go()->setReference("/");
    main->Add(accept);
    auto p = main->AddNewParagraph();
    p->BoldUnderlinedText("Title", true);
    p->NormalText("Visitor's <text> & $5 \x01\x1f caf\xc3\xa9", true);
    for (auto style : {&CParagraph::BoldText, &CParagraph::BigText, &CParagraph::EmphasisedText,
                       &CParagraph::ItalicText, &CParagraph::SmallText, &CParagraph::StrongText,
                       &CParagraph::UnderlinedText})
        ((*p).*style)("styled", false);
    p->AddLineBreak(2);
    p->AddAnchor("[D] R&D \x02$", "/?S=3&amp;K=$(K)", Icon(), true);
    p->AddGoAnchor("Main Menu", "/")->AddVariable("v", "1");
    p->AddPrevAnchor("Back", "", Icon())->AddVariable("v", "2");
    p->AddRefreshAnchor("Again", "/r");
    p->AddImage("/?F=2", "Welcome!", ImageAlignTop);
    auto table = p->AddTable(2);
    table->AddRow("a", "b");
    table->AddRow("c");
    p->AddInput("P", 60, "*M", 10, true, true);
    p->AddSelect("s", 1, "i", "", "Pick", 1, true)->AddOption("One", "1", "/one", "T");
    p->AddSelect("g")->AddOptionGroup("G")->AddOption("Two", "2");
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
        CA link;
        link.setReference("/?S=1&amp;K=$(K)");
        link.setTitle("R&D $5 <\"'>");
        QTest::newRow("link escapes its title, not its reference")
            << link.GetWML()
            << QByteArray("<a href=\"/?S=1&amp;K=$(K)\">R&amp;D $$5 &lt;&quot;&apos;&gt;</a>");
        CDeck titled;
        titled.AddNewCard("a&b<$", "x")->AddNewParagraph()->AddPrevAnchor("R&D $5");
        QTest::newRow("card and anchor titles escaped")
            << titled.GetWML().mid(Prolog.size())
            << QByteArray("<wml><card id=\"x\" title=\"a&amp;b&lt;$$\"><p>"
                          "<anchor>R&amp;D $$5<prev/></anchor></p></card></wml>");

        CDeck deck;
        deck.AddNewCard("", "a")->AddOnTimerGo(50, "x")->setSendReferer(true);
        deck.AddNewDo(DoHelp, "Help");
        deck.setTemplate(std::make_shared<CTemplate>());
        QTest::newRow("template and softkeys before the cards, timer pair in place")
            << deck.GetWML()
            << Prolog + "<wml><template></template><do label=\"Help\" type=\"help\"></do>"
                        "<card id=\"a\"><onevent type=\"ontimer\"><go href=\"x\" "
                        "sendreferer=\"true\"/></onevent><timer value=\"50\"/></card></wml>";

        QTest::newRow("anchors with their tasks")
            << Paragraph([](CParagraph& p) {
                   p.AddGoAnchor("Main", "/?S=4")->AddPostfield("a", "1");
                   p.AddPrevAnchor("Back")->AddVariable("v", "<&>");
                   p.AddRefreshAnchor("Again", "/r");
                   p.AddAnchor("Yes & no", "/x", nullptr, false, true);
               })
            << QByteArray(
                   "<p><anchor>Main<go href=\"/?S=4&amp;a=1\"/></anchor>"
                   "<anchor>Back<prev><setvar name=\"v\" value=\"<&>\"/></prev></anchor>"
                   "<anchor>Again<refresh/></anchor><a href=\"/x\"><b>Yes &amp; no</b></a></p>");

        QTest::newRow("inputs and lists")
            << Paragraph([](CParagraph& p) {
                   p.AddInput("P");
                   p.AddInput("pw", 8, "*N", 4, true);
                   auto list = p.AddSelect("s", 2, "i", "v", "T", 3, true);
                   list->AddOptionGroup("G")->AddOption("Gone", "0");
                   list->AddOption("A&B", "1", "/pick");
                   p.AddImage("/?F=1", "Hi & bye!", ImageAlignTop);
               })
            << QByteArray("<p><input name=\"P\" emptyok=\"false\"/>"
                          "<input name=\"pw\" format=\"*N\" maxlength=\"8\" size=\"4\" "
                          "emptyok=\"false\" type=\"password\"/>"
                          "<select iname=\"i\" name=\"s\" title=\"T\" value=\"v\" ivalue=\"2\" "
                          "tabindex=\"3\" multiple=\"true\"><option onpick=\"/pick\" "
                          "value=\"1\">A&amp;B</option></select>"
                          "<img src=\"/?F=1\" alt=\"Hi &amp; bye!\" align=\"top\"/></p>");

        QTest::newRow("table rows keep their column count")
            << Paragraph([](CParagraph& p) {
                   auto table = p.AddTable(2);
                   table->AddRow("x");
                   table->setNumberOfColumns(1);
                   table->AddRow("y", "beyond");
               })
            << QByteArray("<p><table columns=\"1\"><tr><td>x</td><td></td></tr>"
                          "<tr><td>y</td></tr></table></p>");

        CDo softkey;
        softkey.setDoType(DoOptions);
        softkey.setLabel("OK");
        softkey.Go()->setReference("/g");
        softkey.setTaskType(TaskPrev);
        softkey.setTaskType(16); // no such task: none is written
        QTest::newRow("softkey without a known task") << softkey.GetWML()
                                                      << QByteArray("<do label=\"OK\" "
                                                                    "type=\"options\"></do>");
        softkey.setTaskType(TaskGo);
        QTest::newRow("softkey keeps each task's state")
            << softkey.GetWML()
            << QByteArray("<do label=\"OK\" type=\"options\"><go href=\"/g\"/></do>");
    }

    void elementsWriteTheirMarkup() {
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, expected);
        QCOMPARE(written, expected);
    }

    void deckWithEveryElementClassPassesTheDtdAndTheGateway() {
        QVERIFY_VALID_WML(DeckWithEveryElement());
        // And the checks do see a broken deck.
        const QByteArray broken("<?xml version=\"1.0\"?>\n<wml><card><p>a<b</p></card></wml>");
        QVERIFY(!WmlValidation::DtdProblems(broken).isEmpty());
        QVERIFY(!WmlValidation::GatewayProblems(broken).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWmlElements)
#include "tst_wmlelements.moc"
