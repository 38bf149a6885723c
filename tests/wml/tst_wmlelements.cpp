#include "support/WmlValidation.h"
#include "wml/CA.h"
#include "wml/CAnchor.h"
#include "wml/CCard.h"
#include "wml/CDeck.h"
#include "wml/CDo.h"
#include "wml/CGo.h"
#include "wml/CImage.h"
#include "wml/CInput.h"
#include "wml/COnEvent.h"
#include "wml/COption.h"
#include "wml/CParagraph.h"
#include "wml/CPostfield.h"
#include "wml/CPrev.h"
#include "wml/CRefresh.h"
#include "wml/CTemplate.h"
#include "wml/CText.h"
#include "wml/CTimer.h"
#include "wml/XhtmlRenderer.h"

#include <QTest>

#include <functional>

namespace {

// Where a row's element sits in the deck that the DTD and the gateway check.
enum class Place {
    Deck,      // the element is the whole deck
    Card,      // in <wml> as a card
    InCard,    // in a card, beside its paragraphs
    Paragraph, // in a paragraph
    Task,      // the task of an anchor
    InGo,      // inside a go task
    InSelect,  // inside a selection list
    Alone,     // a part that a deck never holds as it stands (see the rows)
};

struct ElementRow {
    const char* name;
    Place place;
    std::function<std::shared_ptr<WmlElement>()> build;
    QByteArray wml;
};

template <class Element>
std::shared_ptr<WmlElement> Made(const std::function<void(Element&)>& set) {
    auto element = std::make_shared<Element>();
    set(*element);
    return element;
}

// The paragraph operations, on one paragraph.
std::function<std::shared_ptr<WmlElement>()> P(const std::function<void(CParagraph&)>& set) {
    return [set] { return Made<CParagraph>(set); };
}
template <class Element>
std::function<std::shared_ptr<WmlElement>()> E(const std::function<void(Element&)>& set) {
    return [set] { return Made<Element>(set); };
}

std::shared_ptr<CImage> Image(qint32 alignment = 0) {
    auto image = std::make_shared<CImage>();
    image->setSource("a.gif");
    image->setAlternativeText("[D]");
    image->setAlignment(alignment);
    return image;
}

std::shared_ptr<CDo> Do(qint32 type, const QByteArray& name, qint32 task) {
    auto element = std::make_shared<CDo>();
    element->setDoType(type);
    element->setName(name);
    element->setTaskType(task);
    return element;
}

void AddDos(CCard& card) {
    for (qint32 type = DoAccept; type <= DoUnknown; ++type)
        card.Add(Do(type, "d" + QByteArray::number(type), TaskNoop));
}

const QByteArray Prolog =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
    "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n";

// clang-format off
// Each element class built through its operations, and the exact markup it
// writes. The rows placed Alone are pieces that a page never leaves as they
// stand (a field without a name, a do element without a type, a deck without
// a card): the DTD rightly asks for what the builder left out.
const std::vector<ElementRow> ElementRows = {
{"empty deck: 128 characters", Place::Alone, E<CDeck>([](CDeck&) {}), Prolog + "<wml></wml>"},
{"deck of one page", Place::Deck, E<CDeck>([](CDeck& d) { auto p = d.AddNewCard("T", "c1")->AddNewParagraph(); p->NormalText("Hi", true); p->AddAnchor("Menu", "/"); }), Prolog + "<wml><card id=\"c1\" title=\"T\"><p>Hi<br/><a href=\"/\">Menu</a></p></card></wml>"},
{"deck: template first, deck do elements inside it", Place::Deck, E<CDeck>([](CDeck& d) { d.AddNewCard(); d.AddNewDo(DoOptions, "Menu")->setTaskType(TaskPrev); auto t = std::make_shared<CTemplate>(); t->AddDo(Do(DoHelp, {}, TaskNoop)); t->AddDoEvent(Do(DoReset, {}, TaskRefresh)); d.setTemplate(t); }), Prolog + "<wml><template><do type=\"help\"><noop/></do><do type=\"reset\"><refresh/></do><do label=\"Menu\" type=\"options\"><prev/></do></template><card></card></wml>"},
{"deck do elements without a template", Place::Deck, E<CDeck>([](CDeck& d) { d.AddNewCard("x"); d.AddNewDo()->setTaskType(TaskPrev); }), Prolog + "<wml><template><do type=\"accept\"><prev/></do></template><card title=\"x\"></card></wml>"},
{"empty template", Place::Deck, E<CDeck>([](CDeck& d) { d.setTemplate(std::make_shared<CTemplate>()); d.AddNewCard(); }), Prolog + "<wml><template></template><card></card></wml>"},
{"template removed", Place::Deck, E<CDeck>([](CDeck& d) { d.setTemplate(std::make_shared<CTemplate>()); d.setTemplate(nullptr); d.AddNewCard(); }), Prolog + "<wml><card></card></wml>"},
{"cards: id first, title escaped", Place::Deck, E<CDeck>([](CDeck& d) { d.AddNewCard({}, "x"); d.AddNewCard("a&b<$", "Error"); d.AddCard(std::make_shared<CCard>()); d.AddCard(nullptr); }), Prolog + "<wml><card id=\"x\"></card><card id=\"Error\" title=\"a&amp;b&lt;$$\"></card><card></card></wml>"},
{"timer before the paragraph", Place::Card, E<CCard>([](CCard& c) { c.AddOnTimerGo(50, "x"); c.AddNewParagraph()->NormalText("Hi", true); }), "<card><onevent type=\"ontimer\"><go href=\"x\"/></onevent><timer value=\"50\"/><p>Hi<br/></p></card>"},
{"every do type", Place::Card, E<CCard>(AddDos), "<card><do name=\"d0\" type=\"accept\"><noop/></do><do name=\"d1\" type=\"prev\"><noop/></do><do name=\"d2\" type=\"help\"><noop/></do><do name=\"d3\" type=\"reset\"><noop/></do><do name=\"d4\" type=\"options\"><noop/></do><do name=\"d5\" type=\"delete\"><noop/></do><do name=\"d6\" type=\"unknown\"><noop/></do></card>"},
{"do: name, label escaped, type, task", Place::InCard, [] { auto d = Do(DoOptions, "n", TaskGo); d->setLabel("O&K"); d->Go()->setReference("/x"); d->setGo(nullptr); return d; }, "<do name=\"n\" label=\"O&amp;K\" type=\"options\"><go href=\"/x\"/></do>"},
{"do: no type beyond 6, no task beyond the four", Place::Alone, [] { return Do(7, {}, 16); }, "<do></do>"},
{"timer, negative", Place::InCard, E<CTimer>([](CTimer& t) { t.setValue(-5); }), "<timer value=\"-5\"/>"},
{"onevent keeps its go task", Place::InCard, E<COnEvent>([](COnEvent& e) { e.Go()->setReference("/next"); e.setGo(nullptr); }), "<onevent type=\"ontimer\"><go href=\"/next\"/></onevent>"},
{"paragraph: mode before align", Place::InCard, P([](CParagraph& p) { p.setMode(ParagraphModeNoWrap); p.setAlignment(ParagraphAlignCenter); }), "<p mode=\"nowrap\" align=\"center\"></p>"},
{"paragraph: wrap, left", Place::InCard, P([](CParagraph& p) { p.setMode(ParagraphModeWrap); p.setAlignment(ParagraphAlignLeft); }), "<p mode=\"wrap\" align=\"left\"></p>"},
{"paragraph: right, unknown mode", Place::InCard, P([](CParagraph& p) { p.setMode(3); p.setAlignment(ParagraphAlignRight); }), "<p align=\"right\"></p>"},
{"paragraph: unknown align and mode", Place::InCard, P([](CParagraph& p) { p.setMode(-1); p.setAlignment(4); }), "<p></p>"},
{"text escaped, dollars doubled", Place::InCard, P([](CParagraph& p) { p.NormalText("a<b & $x'\">"); p.NormalText({}); p.NormalText("\x01ok", true); }), "<p>a&lt;b &amp; $$x&apos;&quot;&gt;ok<br/></p>"},
{"every text style, empty ones keep their tags", Place::InCard, P([](CParagraph& p) { p.BoldText(""); p.BoldUnderlinedText("Error", true); p.BigText("g"); p.EmphasisedText("e"); p.ItalicText("i"); p.SmallText("s"); p.StrongText("t"); p.UnderlinedText("u", true); }), "<p><b></b><b><u>Error</u></b><br/><big>g</big><em>e</em><i>i</i><small>s</small><strong>t</strong><u>u</u><br/></p>"},
{"text style beyond 8", Place::Paragraph, E<CText>([](CText& t) { t.setFormatting(9); t.setText("a&"); }), "a&amp;"},
{"text style below 0, line break", Place::Paragraph, E<CText>([](CText& t) { t.setFormatting(-1); t.setLineBreak(true); }), "<br/>"},
{"line breaks, none below 1", Place::InCard, P([](CParagraph& p) { p.AddLineBreak(2); p.AddLineBreak(0); p.AddLineBreak(-3); }), "<p><br/><br/></p>"},
{"table: rows keep their count, cells unchanged", Place::InCard, P([](CParagraph& p) { auto t = p.AddTable(2); t->AddRow("x"); t->setNumberOfColumns(3); t->AddRow({}, "<b>y</b>", "z", "w"); }), "<p><table columns=\"3\"><tr><td>x</td><td></td></tr><tr><td></td><td><b>y</b></td><td>z</td></tr></table></p>"},
{"table row: new count clears, cells outside ignored", Place::InCard, P([](CParagraph& p) { auto r = p.AddTable(1)->AddRow("a", "b"); r->setNumberOfColumns(2); r->SetColumn(2, "c"); r->SetColumn(0, "d"); r->SetColumn(3, "e"); }), "<p><table columns=\"1\"><tr><td></td><td>c</td></tr></table></p>"},
{"link", Place::InCard, P([](CParagraph& p) { p.AddAnchor("Yes", "/x"); }), "<p><a href=\"/x\">Yes</a></p>"},
{"bold link, inside b", Place::InCard, P([](CParagraph& p) { p.AddAnchor("Yes", "/x", nullptr, false, true); }), "<p><b><a href=\"/x\">Yes</a></b></p>"},
{"link: title escaped, reference unchanged", Place::InCard, P([](CParagraph& p) { p.AddAnchor("R&D $5", "/?S=3&amp;K=$(K)"); }), "<p><a href=\"/?S=3&amp;K=$(K)\">R&amp;D $$5</a></p>"},
{"bold link, image before", Place::InCard, P([](CParagraph& p) { p.AddAnchor("Up", "/u", Image(), false, true); }), "<p><b><a href=\"/u\"><img src=\"a.gif\" alt=\"[D]\"/>Up</a></b></p>"},
{"link, image after, kept", Place::Paragraph, E<CA>([](CA& a) { a.setImage(Image(ImageAlignMiddle)); a.setImage(nullptr); a.setShowImageAfterTitle(true); a.setTitle("Up"); }), "<a href=\"\">Up<img src=\"a.gif\" alt=\"[D]\" align=\"middle\"/></a>"},
{"images: alt escaped, every alignment", Place::InCard, P([](CParagraph& p) { p.AddImage("/?F=2", "Hi & $", ImageAlignTop); p.AddImage("b", {}, ImageAlignBottom); p.AddImage("c", "", 5); }), "<p><img src=\"/?F=2\" alt=\"Hi &amp; $$\" align=\"top\"/><img src=\"b\" alt=\"\" align=\"bottom\"/><img src=\"c\" alt=\"\"/></p>"},
{"go anchor", Place::InCard, P([](CParagraph& p) { p.AddGoAnchor("Main Menu", "/"); }), "<p><anchor>Main Menu<go href=\"/\"/></anchor></p>"},
{"prev anchor with variables", Place::InCard, P([](CParagraph& p) { auto t = p.AddPrevAnchor("Back"); t->AddVariable("a", "1"); t->AddVariable("b", "2"); }), "<p><anchor>Back<prev><setvar name=\"a\" value=\"1\"/><setvar name=\"b\" value=\"2\"/></prev></anchor></p>"},
{"refresh anchor, image after", Place::InCard, P([](CParagraph& p) { p.AddRefreshAnchor("R&D", "/r", Image(), true); }), "<p><anchor>R&amp;D<img src=\"a.gif\" alt=\"[D]\"/><refresh/></anchor></p>"},
{"anchor: no task beyond the four", Place::Paragraph, E<CAnchor>([](CAnchor& a) { a.setTitle("T"); a.setTaskType(16); a.setReference("/r"); }), "<anchor>T</anchor>"},
{"anchor: noop not written", Place::Paragraph, E<CAnchor>([](CAnchor& a) { a.setTitle("T"); a.setTaskType(TaskNoop); a.setNoop(nullptr); }), "<anchor>T</anchor>"},
{"go: new", Place::Task, E<CGo>([](CGo&) {}), "<go href=\"\"/>"},
{"go: postfields as query", Place::Task, E<CGo>([](CGo& g) { g.setReference("/x"); g.AddPostfield("a", "1"); g.AddPostfield("b", "2"); }), "<go href=\"/x?a=1&amp;b=2\"/>"},
{"go: postfields after a query", Place::Task, E<CGo>([](CGo& g) { g.setReference("/?S=1"); g.AddPostfield("a", "$(A)"); }), "<go href=\"/?S=1&amp;a=$(A)\"/>"},
{"go: method beyond 1, referer, variables", Place::Task, E<CGo>([](CGo& g) { g.setReference("/x"); g.setGoMethod(2); g.setSendReferer(true); g.AddVariable("v", "1"); }), "<go href=\"/x\" sendreferer=\"true\"><setvar name=\"v\" value=\"1\"/></go>"},
{"go: method put, which the gateway leaves out", Place::Alone, E<CGo>([](CGo& g) { g.setReference("/x"); g.setGoMethod(GoMethodPut); g.setSendReferer(true); }), "<go href=\"/x\" method=\"put\" sendreferer=\"true\"/>"},
{"prev: variables escaped, dollars kept", Place::Task, E<CPrev>([](CPrev& t) { t.AddVariable("n\"", "say \"hi\" & <go> $(V)"); }), "<prev><setvar name=\"n&quot;\" value=\"say &quot;hi&quot; &amp; &lt;go&gt; $(V)\"/></prev>"},
{"refresh: new, then with a variable", Place::Task, E<CRefresh>([](CRefresh& t) { t.AddVariable("a", {}); }), "<refresh><setvar name=\"a\" value=\"\"/></refresh>"},
{"postfield", Place::InGo, [] { return std::make_shared<CPostfield>("a", "1&2"); }, "<postfield name=\"a\" value=\"1&amp;2\"/>"},
{"inputs the pages use", Place::InCard, P([](CParagraph& p) { p.AddInput("P", 0, {}, 0, false, true); p.AddInput("G", 60, "", 0, false, true); }), "<p><input name=\"P\"/><input name=\"G\" maxlength=\"60\"/></p>"},
{"input: password, not empty", Place::InCard, P([](CParagraph& p) { p.AddInput("pw", 8, "*N", 4, true); }), "<p><input name=\"pw\" format=\"*N\" maxlength=\"8\" size=\"4\" emptyok=\"false\" type=\"password\"/></p>"},
{"input: every attribute, negatives left out", Place::Paragraph, E<CInput>([](CInput& i) { i.setName("n"); i.setTitle("T&"); i.setValue("v"); i.setTabIndex(3); i.setMaxLength(-1); i.setSize(-2); i.setEmptyOK(true); i.setInputType(2); }), "<input name=\"n\" title=\"T&amp;\" value=\"v\" tabindex=\"3\"/>"},
{"input: new", Place::Alone, E<CInput>([](CInput&) {}), "<input emptyok=\"false\"/>"},
{"select with two options", Place::InCard, P([](CParagraph& p) { auto s = p.AddSelect("s"); s->AddOption("One", "1"); s->AddOption("Two", "2"); }), "<p><select name=\"s\"><option value=\"1\">One</option><option value=\"2\">Two</option></select></p>"},
{"select: every attribute, groups last", Place::InCard, P([](CParagraph& p) { auto s = p.AddSelect("s", 2, "i", "v", "T", 3, true); s->AddOption("One", "1"); s->AddOptionGroup("G")->AddOption("In", "i"); }), "<p><select iname=\"i\" name=\"s\" title=\"T\" value=\"v\" ivalue=\"2\" tabindex=\"3\" multiple=\"true\"><optgroup title=\"G\"><option value=\"i\">In</option></optgroup></select></p>"},
{"select: options again after a group", Place::InCard, P([](CParagraph& p) { auto s = p.AddSelect({}, -1); s->AddOptionGroup("G"); s->AddOption("One", "1"); }), "<p><select><option value=\"1\">One</option></select></p>"},
{"option: every attribute, its image as text", Place::InSelect, E<COption>([](COption& o) { o.setOnPick("/p"); o.setTitle("T"); o.setValue("v"); o.setText("A&B"); o.setImage(Image()); o.setShowImageAfterTitle(true); }), "<option onpick=\"/p\" title=\"T\" value=\"v\">A&amp;B[D]</option>"},
{"option: image before", Place::InSelect, E<COption>([](COption& o) { o.setText("x"); o.setImage(Image()); }), "<option>[D]x</option>"},
{"select: none", Place::Alone, P([](CParagraph& p) { p.AddSelect(); }), "<p><select></select></p>"},
};
// clang-format on

// The deck in which the DTD and the gateway see a row: its markup in the
// place of the element, each row in a card of its own on its own line.
QByteArray InDeck(const ElementRow& row, const QByteArray& markup) {
    switch (row.place) {
    case Place::Card:
        return markup;
    case Place::InCard:
        return "<card>" + markup + "</card>";
    case Place::Paragraph:
        return "<card><p>" + markup + "</p></card>";
    case Place::Task:
        return "<card><p><anchor>t" + markup + "</anchor></p></card>";
    case Place::InGo:
        return "<card><p><anchor>t<go href=\"/\">" + markup + "</go></anchor></p></card>";
    case Place::InSelect:
        return "<card><p><select>" + markup + "</select></p></card>";
    default:
        return {};
    }
}

// A page as the site builds it: one card, one paragraph.
QByteArray OnePage(const std::function<void(CParagraph&)>& fill) {
    CDeck deck;
    fill(*deck.AddNewCard("T", "c")->AddNewParagraph());
    return deck.GetWML();
}

QByteArray Raw(const QByteArray& cards) {
    return Prolog + "<wml>" + cards + "</wml>";
}

QByteArray OneCard(const QByteArray& body) {
    return "<div class=\"card\" id=\"c\"><h1>T</h1>" + body + "</div>";
}

QByteArray Between(const QByteArray& page, const QByteArray& start, const QByteArray& end) {
    const qsizetype from = page.indexOf(start) + start.size();
    return page.mid(from, page.indexOf(end, from) - from);
}

QByteArray CardsAndSoftkeys() {
    CDeck deck;
    const auto first = deck.AddNewCard("One", "c1");
    first->AddOnTimerGo(50, "#c2");
    first->AddNewParagraph()->AddAnchor("Next", "#c2");
    deck.AddNewCard("Two", "c2")->AddNewParagraph()->NormalText("Hi");
    deck.AddNewDo(DoOptions, "Menu")->setTaskType(TaskGo);
    deck.AddNewDo(DoPrev)->setTaskType(TaskPrev);
    auto softkey = Do(DoAccept, {}, TaskGo);
    softkey->setLabel("OK");
    softkey->Go()->setReference("/ok");
    deck.AddNewCard()->Add(softkey);
    return deck.GetWML();
}

struct XhtmlRow {
    const char* name;
    QByteArray wml;
    QByteArray title;
    QByteArray body;
};

// clang-format off
const std::vector<XhtmlRow> XhtmlRows = {
{"login: the link that reads the field submits a form", OnePage([](CParagraph& p) { p.NormalText("Password:", true); p.AddInput("P", 0, {}, 0, false, true); p.AddLineBreak(1); p.AddAnchor("Login", "/?P=$(P)"); }), "T", OneCard("<form action=\"/\" method=\"get\"><p>Password:<br/><input type=\"text\" name=\"P\"/><br/><input type=\"submit\" value=\"Login\"/></p></form>")},
{"fixed query parts hidden and decoded", OnePage([](CParagraph& p) { p.AddInput("G", 60, {}, 0, false, true); p.AddAnchor("Submit", "/?S=3&amp;K=A%2FB+c&amp;G=$(G)"); p.AddAnchor("Main Menu", "/?S=4&amp;K=A%2FB"); }), "T", OneCard("<form action=\"/\" method=\"get\"><p><input type=\"text\" name=\"G\" maxlength=\"60\"/><input type=\"hidden\" name=\"S\" value=\"3\"/><input type=\"hidden\" name=\"K\" value=\"A/B c\"/><input type=\"submit\" value=\"Submit\"/><a href=\"/?S=4&amp;K=A%2FB\">Main Menu</a></p></form>")},
{"one form a card; other variables are empty", OnePage([](CParagraph& p) { p.AddInput("P", 8, "*N", 4, true); p.AddAnchor("Yes", "/y?M=1&amp;P=$(P)#top", nullptr, false, true); p.AddAnchor("No", "/?P=$(P)&amp;Q=$(Q:e)&amp;R=$$1"); }), "T", OneCard("<form action=\"/y\" method=\"get\"><p><input type=\"password\" name=\"P\" maxlength=\"8\" size=\"4\"/><b><input type=\"hidden\" name=\"M\" value=\"1\"/><input type=\"submit\" value=\"Yes\"/></b><a href=\"/?P=&amp;Q=&amp;R=$1\">No</a></p></form>")},
{"no field, no form", OnePage([](CParagraph& p) { p.AddAnchor("Go $5", "/?x=$(x)&amp;y=$y"); }), "T", OneCard("<p><a href=\"/?x=&amp;y=\">Go $5</a></p>")},
{"text styles, escaping, dollars", OnePage([](CParagraph& p) { p.BoldText("b"); p.BoldUnderlinedText("bu"); p.BigText("g"); p.EmphasisedText("e"); p.ItalicText("i"); p.SmallText("s"); p.StrongText("t"); p.UnderlinedText("u", true); p.NormalText("$(V) caf\xc3\xa9 & <x>'"); }), "T", OneCard("<p><b>b</b><b><span class=\"u\">bu</span></b><big>g</big><em>e</em><i>i</i><small>s</small><strong>t</strong><span class=\"u\">u</span><br/>$(V) caf\xc3\xa9 &amp; &lt;x&gt;&apos;</p>")},
{"a table ends the paragraph and its styles", Raw("<card><p align=\"center\" mode=\"nowrap\"><b>a<table columns=\"2\"><tr><td>$(V)x&nbsp;</td><td><u>y</u></td></tr></table>b</b></p></card>"), "", "<div class=\"card\"><p class=\"center nowrap\"><b>a</b></p><table><tr><td>x\xc2\xa0</td><td><span class=\"u\">y</span></td></tr></table><p class=\"center nowrap\"><b>b</b></p></div>"},
{"a table inside a link or a softkey is left out", Raw("<template><do type=\"x\"><go href=\"/y\"/><table/></do></template><card><p><a href=\"/x\">t<table><tr><td>c</td></tr></table>u</a></p></card>"), "", "<div class=\"card\"><p><a href=\"/x\">tu</a></p></div><p><a href=\"/y\">x</a></p>"},
{"images and the four tasks of an anchor", OnePage([](CParagraph& p) { p.AddImage("/?F=2", "Hi & $", ImageAlignTop); p.AddAnchor("Up", "/u", Image()); p.AddGoAnchor("Menu", "/m")->AddVariable("a", "1"); p.AddRefreshAnchor("Again", "/r"); p.AddPrevAnchor("Back"); p.AddGoAnchor("Post", "/p")->AddPostfield("n", "1"); }), "T", OneCard("<p><img src=\"/?F=2\" alt=\"Hi &amp; $\"/><a href=\"/u\"><img src=\"a.gif\" alt=\"[D]\"/>Up</a><a href=\"/m\">Menu</a><a href=\"\">Again</a><a href=\"/p?n=1\">Post</a></p>")},
{"selection lists", OnePage([](CParagraph& p) { auto s = p.AddSelect("s", 0, {}, "2", "T", 0, true); s->AddOption("One", "1"); s->AddOption("Two", "2"); p.AddSelect("g")->AddOptionGroup("G")->AddOption("In", "i"); }), "T", OneCard("<p><select name=\"s\" multiple=\"multiple\"><option value=\"1\">One</option><option value=\"2\" selected=\"selected\">Two</option></select><select name=\"g\"><optgroup label=\"G\"><option value=\"i\">In</option></optgroup></select></p>")},
{"nested groups join, empty lists get an entry", Raw("<card><p><select name=\"x\"><optgroup title=\"A\"><optgroup><option>1<onevent type=\"onpick\"><go href=\"/\"/></onevent></option></optgroup></optgroup></select><select><optgroup/></select></p></card>"), "", "<div class=\"card\"><p><select name=\"x\"><optgroup label=\"A\"><option>1</option></optgroup></select><select><optgroup label=\"\"><option></option></optgroup></select></p></div>"},
{"cards as sections, softkeys as links, timers left out", CardsAndSoftkeys(), "One", "<div class=\"card\" id=\"c1\"><h1>One</h1><p><a href=\"#c2\">Next</a></p></div><div class=\"card\" id=\"c2\"><h1>Two</h1><p>Hi</p></div><div class=\"card\"><p><a href=\"/ok\">OK</a></p></div><p><a href=\"\">Menu</a></p>"},
{"cards and templates only in the deck, never inside a card", Raw("<card><p><a href=\"$(x)\">a<template><card><p><a href=\"/?P=$(P)\">b</a><input name=\"P\"/></p></card></template></a></p></card><template><card><p>c</p></card><template/></template>"), "", "<div class=\"card\"><p><a href=\"\">a</a></p></div>"},
{"a deck that does not parse", "<wml><card><p>a<b</p></card></wml>", "", "<div></div>"},
{"unclosed", "<wml><card title=\"T\"><p>a</p></card>", "", "<div></div>"},
{"crossed end tags", "<wml><card><p><b>a</p></b></card></wml>", "", "<div></div>"},
{"an entity WML does not know", "<wml><card><p>&copy;</p></card></wml>", "", "<div></div>"},
{"a bare ampersand in a link", "<wml><card><p><a href=\"/?a=1&b=2\">x</a></p></card></wml>", "", "<div></div>"},
{"a quote that would end a value", "<wml><card><p><a href=\"/\">\"</a></p></card></wml>", "", "<div></div>"},
{"a character XML forbids", "<wml><card><p>a\x01</p></card></wml>", "", "<div></div>"},
{"a character XML forbids, eight bytes on", "<wml><card><p>0123456789\x01</p></card></wml>", "", "<div></div>"},
{"references, dollars and entities eight bytes on", Raw("<card><p>0123456789$(V)&amp;&nbsp;0123456789$$<input a=\"\" b=\"\" c=\"\" d=\"\" e=\"\" f=\"\" g=\"\" h=\"\" i=\"\" j=\"\" k=\"\" l=\"\" m=\"\" n=\"\" o=\"\" p=\"\" type=\"password\" name=\"N\"/></p></card>"), "", "<div class=\"card\"><p>0123456789&amp;\xc2\xa0" "0123456789$<input type=\"password\" name=\"N\"/></p></div>"},
{"a character number XML forbids", "<wml><card><p>&#0;</p></card></wml>", "", "<div></div>"},
{"bytes that are not UTF-8", "<wml><card><p>\xff\xfe</p></card></wml>", "", "<div></div>"},
{"text after the deck", "<wml><card/></wml>x", "", "<div></div>"},
{"a second deck", "<wml><card/></wml><wml/>", "", "<div></div>"},
{"an unquoted value", "<wml><card id=c1/></wml>", "", "<div></div>"},
{"a tag cut off", "<wml><card id=\"c1\"", "", "<div></div>"},
{"empty", "", "", "<div></div>"},
};
// clang-format on

} // namespace

class TestWmlElements : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every element class, rendered twice (the same both times), against its
    // exact markup; then every row in its place passes the WML 1.1 DTD and
    // the gateway's compiler: the cards in one deck, the decks one by one.
    void everyElementIsExactAndPassesTheDtdAndTheGateway() {
        QStringList mismatches;
        QByteArray cards;
        QList<QByteArray> decks;
        for (const ElementRow& row : ElementRows) {
            const auto element = row.build();
            const QByteArray markup = element->GetWML();
            if (markup != row.wml || element->GetWML() != markup)
                mismatches << QString::fromLatin1(row.name) + QStringLiteral(": ") +
                                  QString::fromUtf8(markup);
            if (row.place == Place::Deck)
                decks << markup;
            else if (row.place != Place::Alone)
                cards += '\n' + InDeck(row, markup);
        }
        QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(QLatin1Char('\n'))));
        decks << Prolog + "<wml>" + cards + "\n</wml>";
        for (const QByteArray& deck : decks) {
            QVERIFY_VALID_WML(deck);
            const QStringList problems = WmlValidation::XhtmlProblems(XhtmlRenderer::FromWml(deck));
            QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        }
        // And the checks do see a broken deck.
        const QByteArray broken("<?xml version=\"1.0\"?>\n<wml><card><p>a<b</p></card></wml>");
        QVERIFY(!WmlValidation::DtdProblems(broken).isEmpty());
        QVERIFY(!WmlValidation::GatewayProblems(broken).isEmpty());
    }

    // Decks as the browsers without WML get them: what each row's deck
    // becomes, and that every page passes the XHTML Basic 1.1 DTD.
    void decksBecomeValidXhtml() {
        QStringList problems;
        for (const XhtmlRow& row : XhtmlRows) {
            const QByteArray page = XhtmlRenderer::FromWml(row.wml);
            const QByteArray titleAndBody =
                Between(page, "<title>", "</title>") + '|' + Between(page, "<body>", "</body>");
            if (titleAndBody != row.title + '|' + row.body)
                problems << QString::fromLatin1(row.name) + QStringLiteral(": ") +
                                QString::fromUtf8(titleAndBody);
            problems += WmlValidation::XhtmlProblems(page);
            QVERIFY(page.contains("<meta name=\"viewport\" content=\"width=device-width\"/>"));
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(TestWmlElements)
#include "tst_wmlelements.moc"
