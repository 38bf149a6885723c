#include "support/WmlValidation.h"
#include "wml/WmlDeck.h"

#include <QTest>

namespace {
std::shared_ptr<CImage> Icon() {
    auto image = std::make_shared<CImage>();
    image->setSource("/?F=1");
    image->setAlternativeText("*");
    image->setAlignment(ImageAlignMiddle);
    return image;
}

std::shared_ptr<CTemplate> TemplateWithEveryTask() {
    auto deckTemplate = std::make_shared<CTemplate>();
    const QList<std::pair<qint32, qint32>> softkeys = {
        {DoPrev, TaskPrev}, {DoHelp, TaskGo}, {DoReset, TaskRefresh}, {DoOptions, TaskNoop}};
    for (const auto& [doType, taskType] : softkeys) {
        auto softkey = std::make_shared<CDo>();
        softkey->setDoType(doType);
        softkey->setTaskType(taskType);
        softkey->setLabel("Key");
        deckTemplate->AddDo(softkey);
    }
    return deckTemplate;
}

void FillWithEveryContent(CParagraph& paragraph) {
    paragraph.BoldUnderlinedText("Title", true);
    paragraph.NormalText("Visitor's <text> & $5 \x01\x1f caf\xc3\xa9", true);
    paragraph.BoldText("b");
    paragraph.BigText("big");
    paragraph.EmphasisedText("em");
    paragraph.ItalicText("i");
    paragraph.SmallText("small");
    paragraph.StrongText("strong");
    paragraph.UnderlinedText("u");
    paragraph.AddLineBreak(2);
    paragraph.AddAnchor("[D] R&D \x02$", "/?S=3&amp;K=$(K)", Icon(), true);
    paragraph.AddGoAnchor("Main Menu", "/")->AddVariable("v", "1");
    paragraph.AddPrevAnchor("Back", "", Icon())->AddVariable("v", "2");
    paragraph.AddRefreshAnchor("Again", "/r");
    paragraph.AddImage("/?F=2", "Welcome!", ImageAlignTop);
    auto table = paragraph.AddTable(2);
    table->AddRow("a", "b");
    table->AddRow("c");
    paragraph.AddInput("P", 60, "*M", 10, true, true);
    auto options = paragraph.AddSelect("s", 1, "i", "", "Pick", 1, true);
    options->AddOption("One", "1", "/one", "T");
    auto groups = paragraph.AddSelect("g");
    groups->AddOptionGroup("G")->AddOption("Two", "2");
}

// A deck of two cards that uses every element class in forms that WML 1.1
// allows.
QByteArray DeckWithEveryElement() {
    CDeck deck;
    deck.setTemplate(TemplateWithEveryTask());
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
    FillWithEveryContent(*main->AddNewParagraph());
    return deck.GetWML();
}

} // namespace

class TestWmlValidity : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void deckWithEveryElementClassPassesTheDtdAndTheGateway() {
        QVERIFY_VALID_WML(DeckWithEveryElement());
    }

    void checksReportBrokenDecks() {
        const QByteArray broken("<?xml version=\"1.0\"?>\n<wml><card><p>a<b</p></card></wml>");
        QVERIFY(!WmlValidation::DtdProblems(broken).isEmpty());
        QVERIFY(!WmlValidation::GatewayProblems(broken).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWmlValidity)
#include "tst_wmlvalidity.moc"
