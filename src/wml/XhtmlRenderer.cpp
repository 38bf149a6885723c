#include "wml/XhtmlRenderer.h"

#include "wml/XhtmlText.h"

using namespace XhtmlText;

namespace {
constexpr QByteArrayView PageStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML Basic 1.1//EN\" "
    "\"http://www.w3.org/TR/xhtml-basic/xhtml-basic11.dtd\">\n"
    "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"/>"
    "<meta name=\"viewport\" content=\"width=device-width\"/><title>";

// Readable on a 128-pixel phone screen and on a desktop alike.
constexpr QByteArrayView StyleAndBodyStart =
    "</title><style type=\"text/css\">\n"
    "body{margin:0;padding:0.5em;font-family:sans-serif;line-height:1.4;max-width:40em}\n"
    "h1{font-size:1.2em;margin:0 0 0.4em}p{margin:0 0 0.6em}\n"
    "img{max-width:100%;height:auto;vertical-align:middle}\n"
    "input,select{max-width:100%;font-size:1em}\n"
    "table{border-collapse:collapse}td{padding:0.1em 0.4em;border:1px solid #ccc}\n"
    ".u{text-decoration:underline}.center{text-align:center}.right{text-align:right}"
    ".nowrap{white-space:nowrap}\n"
    "</style></head><body>";

constexpr QByteArrayView PageEnd = "</body></html>";

// Card ids become element ids, which must be XML names without a colon.
bool IsXmlId(QByteArrayView id) {
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (id.isEmpty() || !(letter(id.front()) || id.front() == '_'))
        return false;
    return std::all_of(id.begin(), id.end(), [&](char c) {
        return letter(c) || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
    });
}

bool IsNumber(QByteArrayView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

enum class Element {
    Other, Link, Anchor, LineBreak, SameStyle, Underline, Paragraph, Go, Refresh, Image, Input,
    Select, Table, Do, Card, Template, Container
};

// What the element is to the page, looked up by length first, as each tag
// of the deck passes here.
Element ElementOf(QByteArrayView name) {
    const auto is = [&](QByteArrayView known) { return name == known; };
    switch (name.size()) {
    case 1:
        return is("a") ? Element::Link : is("p") ? Element::Paragraph
               : is("b") || is("i")  ? Element::SameStyle
               : is("u")             ? Element::Underline
                                     : Element::Other;
    case 2:
        return is("br") ? Element::LineBreak : is("em") ? Element::SameStyle
               : is("go")                               ? Element::Go
               : is("do")                               ? Element::Do
                                                        : Element::Other;
    case 3:
        return is("big") ? Element::SameStyle : is("img") ? Element::Image
               : is("wml")                                ? Element::Container
                                                          : Element::Other;
    case 4:
        return is("card") ? Element::Card : Element::Other;
    case 5:
        return is("small") ? Element::SameStyle : is("input") ? Element::Input
               : is("table")                                  ? Element::Table
                                                              : Element::Other;
    case 6:
        return is("anchor") ? Element::Anchor : is("strong") ? Element::SameStyle
               : is("select")                                ? Element::Select
                                                             : Element::Other;
    case 7:
        return is("refresh") ? Element::Refresh : Element::Other;
    case 8:
        return is("template") ? Element::Template : is("fieldset") ? Element::Container
                                                                   : Element::Other;
    default:
        return Element::Other;
    }
}

// The class of a paragraph with the alignment and mode given.
QByteArrayView ParagraphClass(QByteArrayView align, bool nowrap) {
    if (align == "center")
        return nowrap ? "center nowrap" : "center";
    if (align == "right")
        return nowrap ? "right nowrap" : "right";
    return nowrap ? "nowrap" : "";
}

void AppendStartTag(PageBuffer& out, QByteArrayView tag, QByteArrayView className) {
    out.append('<').append(tag);
    if (!className.isEmpty())
        out.append(" class=\"").append(className).append('"');
    out += '>';
}
} // namespace

XhtmlRenderer::XhtmlRenderer(QByteArrayView deck)
    : m_tokens(deck) {
    m_page.reserve(PageStart.size() + StyleAndBodyStart.size() + deck.size() + deck.size() / 4 +
                   PageEnd.size() + 64);
    m_page += PageStart;
    m_titleAt = m_page.size();
    m_page += StyleAndBodyStart;
    m_bodyStart = m_page.size();
}

QByteArray XhtmlRenderer::Render() {
    while (m_tokens.Next() != WmlTokenizer::End) {
        if (!m_tokens.AtEndTag())
            renderElement();
    }
    if (m_tokens.HasError()) {
        m_page.truncate(m_titleAt);
        m_page += StyleAndBodyStart;
        m_bodyStart = m_page.size();
        m_softkeys.clear();
    }
    m_page += m_softkeys;
    if (m_page.size() == m_bodyStart)
        m_page += "<div></div>";
    m_page += PageEnd;
    return m_page.toByteArray();
}

void XhtmlRenderer::renderElement() {
    const QByteArrayView name = m_tokens.Name();
    switch (ElementOf(name)) {
    case Element::Link:
    case Element::Anchor:
        renderLink(name == "a");
        break;
    case Element::LineBreak:
        if (m_inline)
            m_page += "<br/>";
        break;
    case Element::SameStyle:
        renderStyled(name, {});
        break;
    case Element::Underline:
        renderStyled("span", "u");
        break;
    case Element::Paragraph:
        renderParagraph();
        break;
    case Element::Go:
    case Element::Refresh:
        setTarget(name == "refresh");
        break;
    case Element::Image:
        renderImage();
        break;
    case Element::Input:
        renderInput();
        break;
    case Element::Select:
        renderSelect();
        break;
    case Element::Table:
        renderTable();
        break;
    case Element::Do:
        renderDo();
        break;
    case Element::Card:
        if (!m_inDeckPart)
            renderCard();
        break;
    case Element::Template:
        if (!m_inDeckPart)
            renderTemplate();
        break;
    case Element::Container:
        renderChildren();
        break;
    case Element::Other:
        // Head, onevent, timer, prev, noop, setvar, ... have no equivalent
        // and are left out with their content.
        break;
    }
    if (!m_tokens.AtEndTag())
        m_tokens.SkipElement();
}

void XhtmlRenderer::renderChildren() {
    while (true) {
        const WmlTokenizer::Token token = m_tokens.Next();
        if (token == WmlTokenizer::Text)
            writeText(m_tokens.TextRun());
        else if (token == WmlTokenizer::StartTag)
            renderElement();
        else
            return;
    }
}

bool XhtmlRenderer::nextChildElement() {
    while (true) {
        const WmlTokenizer::Token token = m_tokens.Next();
        if (token == WmlTokenizer::StartTag)
            return true;
        if (token != WmlTokenizer::Text)
            return false;
    }
}

void XhtmlRenderer::renderTemplate() {
    m_inDeckPart = true;
    m_page.swap(m_softkeys);
    renderChildren();
    m_page.swap(m_softkeys);
    m_inDeckPart = false;
}

void XhtmlRenderer::renderCard() {
    m_page += "<div class=\"card\"";
    if (const QByteArrayView id = attribute("id"); IsXmlId(id))
        m_page.append(" id=\"").append(id).append('"');
    m_page += '>';
    renderTitle(attribute("title"));
    m_inCard = true;
    m_inDeckPart = true;
    const qsizetype cardStart = m_page.size();
    renderChildren();
    m_links.FinishCard(cardStart);
    m_inCard = false;
    m_inDeckPart = false;
    m_page += "</div>";
}

// The card's title as its heading; the first one is the page's title too.
void XhtmlRenderer::renderTitle(QByteArrayView title) {
    if (title.isEmpty())
        return;
    m_page += "<h1>";
    const qsizetype textStart = m_page.size();
    AppendResolved(m_page, title);
    if (!std::exchange(m_titleSet, true)) {
        const PageBuffer text(m_page.sliced(textStart));
        m_page.insert(m_titleAt, text.view());
        m_bodyStart += text.size();
    }
    m_page += "</h1>";
}

void XhtmlRenderer::renderParagraph() {
    if (!m_inCard || m_inline)
        return;
    m_paragraphClass = ParagraphClass(attribute("align"), attribute("mode") == "nowrap");
    AppendStartTag(m_page, "p", m_paragraphClass);
    m_inline = true;
    renderChildren();
    m_inline = false;
    m_page += "</p>";
}

void XhtmlRenderer::renderStyled(QByteArrayView tag, QByteArrayView className) {
    if (!m_inline) {
        renderChildren();
        return;
    }
    AppendStartTag(m_page, tag, className);
    m_openTags.push_back(OpenTag{tag, className});
    renderChildren();
    m_openTags.pop_back();
    m_page.append("</").append(tag).append('>');
}

// XHTML keeps tables out of paragraphs: the paragraph, and the styles open
// in it, end before the table and start again after it. A link cannot be
// ended and started again like that, so a table inside one is left out.
void XhtmlRenderer::renderTable() {
    if (!m_inline || !m_suspendedTags.empty() || m_links.IsOpen())
        return;
    for (auto tag = m_openTags.rbegin(); tag != m_openTags.rend(); ++tag)
        m_page.append("</").append(tag->name).append('>');
    m_page += "</p><table>";
    std::swap(m_suspendedTags, m_openTags);
    bool anyRow = false;
    while (nextChildElement()) {
        if (m_tokens.Name() != "tr") {
            m_tokens.SkipElement();
            continue;
        }
        anyRow = true;
        renderRow();
    }
    if (!anyRow)
        m_page += "<tr><td></td></tr>";
    m_page += "</table>";
    AppendStartTag(m_page, "p", m_paragraphClass);
    std::swap(m_suspendedTags, m_openTags);
    for (const OpenTag& tag : m_openTags)
        AppendStartTag(m_page, tag.name, tag.className);
}

void XhtmlRenderer::renderRow() {
    m_page += "<tr>";
    const qsizetype rowStart = m_page.size();
    while (nextChildElement()) {
        if (m_tokens.Name() != "td") {
            m_tokens.SkipElement();
            continue;
        }
        m_page += "<td>";
        renderChildren();
        m_page += "</td>";
    }
    if (m_page.size() == rowStart)
        m_page += "<td></td>";
    m_page += "</tr>";
}

void XhtmlRenderer::renderImage() {
    if (!m_inline)
        return;
    m_page += "<img";
    AppendResolvedAttribute(m_page, "src", attribute("src"));
    m_page += " alt=\"";
    const qsizetype altStart = m_page.size();
    AppendResolved(m_page, attribute("alt"));
    m_links.NoteText(altStart);
    m_page += "\"/>";
}

void XhtmlRenderer::renderInput() {
    if (!m_inline)
        return;
    m_page += attribute("type") == "password" ? "<input type=\"password\"" : "<input type=\"text\"";
    if (const QByteArrayView name = attribute("name"); !name.isEmpty()) {
        m_page.append(" name=\"").append(name).append('"');
        m_links.AddField(name);
    }
    appendAttributeIfSet("value", attribute("value"));
    for (const char* number : {"maxlength", "size"}) {
        if (const QByteArrayView value = attribute(number); IsNumber(value))
            m_page.append(' ').append(number).append("=\"").append(value).append('"');
    }
    appendAttributeIfSet("title", attribute("title"));
    m_page += "/>";
}

// An attribute whose value is empty once resolved is left out.
void XhtmlRenderer::appendAttributeIfSet(QByteArrayView name, QByteArrayView escaped) {
    const qsizetype before = m_page.size();
    AppendResolvedAttribute(m_page, name, escaped);
    if (m_page.size() == before + name.size() + 4)
        m_page.truncate(before);
}

// Text counts inside a paragraph only, where it is also the text of the
// link being written.
void XhtmlRenderer::writeText(QByteArrayView escaped) {
    if (escaped.isEmpty() || !m_inline)
        return;
    const qsizetype start = m_page.size();
    AppendResolved(m_page, escaped);
    m_links.NoteText(start);
}

void XhtmlRenderer::renderLink(bool withReference) {
    if (!m_inline || m_links.IsOpen()) {
        renderChildren();
        return;
    }
    m_links.Start(withReference ? std::optional(attribute("href")) : std::nullopt, m_inCard);
    renderChildren();
    m_links.Finish(m_inCard);
}

// A softkey is a link with its label as text, a paragraph of its own outside
// a paragraph; one without a target leaves nothing.
void XhtmlRenderer::renderDo() {
    if (m_links.IsOpen())
        return;
    const bool ownParagraph = !m_inline;
    const qsizetype start = m_page.size();
    if (ownParagraph)
        m_page += "<p>";
    m_inline = true;
    m_links.Start(std::nullopt, m_inCard);
    QByteArrayView label = attribute("label");
    if (label.isEmpty())
        label = attribute("name");
    writeText(label.isEmpty() ? attribute("type") : label);
    renderChildren();
    const bool kept = m_links.Finish(m_inCard);
    m_inline = !ownParagraph;
    if (ownParagraph && kept)
        m_page += "</p>";
    else if (ownParagraph)
        m_page.truncate(start);
}

// A go task gives the link its target, with its postfields as the query.
void XhtmlRenderer::setTarget(bool refresh) {
    if (!m_links.IsOpen() || m_links.HasTarget())
        return;
    // A refresh shows the same page again: an empty reference is the page.
    if (refresh) {
        m_links.SetTarget({});
        return;
    }
    QByteArray reference = attribute("href").toByteArray();
    while (nextChildElement()) {
        if (m_tokens.Name() == "postfield") {
            reference += reference.contains('?') ? "&amp;" : "?";
            reference.append(attribute("name")).append('=').append(attribute("value"));
        }
        m_tokens.SkipElement();
    }
    m_links.SetTarget(std::move(reference));
}

// Selection lists.

void XhtmlRenderer::renderSelect() {
    if (!m_inline || m_links.IsOpen())
        return;
    m_page += "<select";
    if (const QByteArrayView name = attribute("name"); !name.isEmpty()) {
        m_page.append(" name=\"").append(name).append('"');
        m_links.AddField(name);
    }
    if (attribute("multiple") == "true")
        m_page += " multiple=\"multiple\"";
    m_page += '>';
    PageBuffer preselected;
    AppendResolved(preselected, attribute("value"));
    m_preselected =
        preselected.isEmpty() ? QList<QByteArray>() : preselected.toByteArray().split(';');
    renderOptions(false);
    m_page += "</select>";
}

// XHTML groups do not nest: the options of an inner group join the outer
// one. A list or group without options gets an empty one, which both need.
void XhtmlRenderer::renderOptions(bool inGroup) {
    const qsizetype start = m_page.size();
    while (nextChildElement()) {
        if (m_tokens.Name() == "option") {
            renderOption();
        } else if (m_tokens.Name() == "optgroup" && inGroup) {
            renderOptions(true);
        } else if (m_tokens.Name() == "optgroup") {
            m_page += "<optgroup";
            AppendResolvedAttribute(m_page, "label", attribute("title"));
            m_page += '>';
            renderOptions(true);
            m_page += "</optgroup>";
        } else {
            m_tokens.SkipElement();
        }
    }
    if (m_page.size() == start)
        m_page += "<option></option>";
}

void XhtmlRenderer::renderOption() {
    m_page += "<option";
    if (const QByteArrayView value = attribute("value"); !value.isNull()) {
        const qsizetype valueStart = m_page.size() + 8;
        AppendResolvedAttribute(m_page, "value", value);
        if (m_preselected.contains(m_page.sliced(valueStart, m_page.size() - valueStart - 1)))
            m_page += " selected=\"selected\"";
    }
    m_page += '>';
    while (true) {
        const WmlTokenizer::Token token = m_tokens.Next();
        if (token == WmlTokenizer::Text)
            AppendResolved(m_page, m_tokens.TextRun());
        else if (token == WmlTokenizer::StartTag)
            m_tokens.SkipElement();
        else
            break;
    }
    m_page += "</option>";
}
