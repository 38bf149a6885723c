#include "wml/XhtmlRenderer.h"

#include "wml/WmlVariables.h"
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

// Elements that have the same name and meaning in XHTML.
bool IsSameStyle(QByteArrayView name) {
    return name == "b" || name == "i" || name == "em" || name == "strong" || name == "big" ||
           name == "small";
}
} // namespace

XhtmlRenderer::XhtmlRenderer(QByteArrayView deck)
    : m_tokens(deck) {
    m_body.reserve(deck.size() + deck.size() / 4);
}

QByteArray XhtmlRenderer::Render() {
    while (m_tokens.Next() != WmlTokenizer::End) {
        if (!m_tokens.AtEndTag())
            renderElement();
    }
    if (m_tokens.HasError()) {
        m_body.clear();
        m_softkeys.clear();
        m_title.clear();
    }
    PageBuffer page;
    page.reserve(PageStart.size() + StyleAndBodyStart.size() + m_body.size() + m_softkeys.size() +
                 m_title.size() + 40);
    page += PageStart;
    page += m_title;
    page += StyleAndBodyStart;
    page += m_body;
    page += m_softkeys;
    if (m_body.isEmpty() && m_softkeys.isEmpty())
        page += "<div></div>";
    page += PageEnd;
    return page.toByteArray();
}

void XhtmlRenderer::renderElement() {
    const QByteArrayView name = m_tokens.Name();
    if (name == "a" || name == "anchor")
        renderLink(name == "a");
    else if (name == "br" && m_inline)
        m_body += "<br/>";
    else if (IsSameStyle(name))
        renderStyled(name, {});
    else if (name == "u")
        renderStyled("span", "u");
    else if (name == "p")
        renderParagraph();
    else if (name == "go" || name == "refresh")
        setTarget(name == "refresh");
    else if (name == "img")
        renderImage();
    else if (name == "input")
        renderInput();
    else if (name == "select")
        renderSelect();
    else if (name == "table")
        renderTable();
    else if (name == "do")
        renderDo();
    else if (name == "card" && !m_inDeckPart)
        renderCard();
    else if (name == "template" && !m_inDeckPart)
        renderTemplate();
    else if (name == "wml" || name == "fieldset")
        renderChildren();
    // Everything else (head, onevent, timer, prev, noop, setvar, ...) has no
    // equivalent and is left out with its content.
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
    std::swap(m_body, m_softkeys);
    renderChildren();
    std::swap(m_body, m_softkeys);
    m_inDeckPart = false;
}

void XhtmlRenderer::renderCard() {
    const QByteArrayView title = attribute("title");
    m_body += "<div class=\"card\"";
    if (const QByteArrayView id = attribute("id"); IsXmlId(id))
        m_body.append(" id=\"").append(id).append('"');
    m_body += '>';
    if (!title.isEmpty()) {
        m_body += "<h1>";
        const qsizetype textStart = m_body.size();
        AppendResolved(m_body, title);
        if (!std::exchange(m_titleSet, true))
            m_title = PageBuffer(m_body.sliced(textStart));
        m_body += "</h1>";
    }
    m_inCard = true;
    m_inDeckPart = true;
    m_cardBodyStart = m_body.size();
    renderChildren();
    renderPendingLinks();
    m_cardFields.clear();
    m_inCard = false;
    m_inDeckPart = false;
    m_body += "</div>";
}

void XhtmlRenderer::renderParagraph() {
    if (!m_inCard || m_inline)
        return;
    const QByteArrayView align = attribute("align");
    const bool aligned = align == "center" || align == "right";
    const bool nowrap = attribute("mode") == "nowrap";
    m_paragraphTag = PageBuffer(QByteArrayView("<p"));
    if (aligned || nowrap) {
        m_paragraphTag += " class=\"";
        m_paragraphTag += aligned ? align : QByteArrayView();
        m_paragraphTag += aligned && nowrap ? " nowrap" : nowrap ? "nowrap" : "";
        m_paragraphTag += '"';
    }
    m_paragraphTag += '>';
    m_body += m_paragraphTag;
    m_inline = true;
    renderChildren();
    m_inline = false;
    m_body += "</p>";
}

void XhtmlRenderer::renderStyled(QByteArrayView tag, QByteArrayView className) {
    if (!m_inline) {
        renderChildren();
        return;
    }
    PageBuffer start;
    start.append('<').append(tag);
    if (!className.isEmpty())
        start.append(" class=\"").append(className).append('"');
    start += '>';
    m_body += start;
    m_openTags.push_back(OpenTag{tag, start});
    renderChildren();
    m_openTags.pop_back();
    m_body.append("</").append(tag).append('>');
}

// XHTML keeps tables out of paragraphs: the paragraph, and the styles open
// in it, end before the table and start again after it.
void XhtmlRenderer::renderTable() {
    if (!m_inline || !m_suspendedTags.empty())
        return;
    for (auto tag = m_openTags.rbegin(); tag != m_openTags.rend(); ++tag)
        m_body.append("</").append(tag->name).append('>');
    m_body += "</p><table>";
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
        m_body += "<tr><td></td></tr>";
    m_body += "</table>";
    m_body += m_paragraphTag;
    std::swap(m_suspendedTags, m_openTags);
    for (const OpenTag& tag : m_openTags)
        m_body += tag.start;
}

void XhtmlRenderer::renderRow() {
    m_body += "<tr>";
    const qsizetype rowStart = m_body.size();
    while (nextChildElement()) {
        if (m_tokens.Name() != "td") {
            m_tokens.SkipElement();
            continue;
        }
        m_body += "<td>";
        renderChildren();
        m_body += "</td>";
    }
    if (m_body.size() == rowStart)
        m_body += "<td></td>";
    m_body += "</tr>";
}

void XhtmlRenderer::renderImage() {
    if (!m_inline)
        return;
    m_body += "<img";
    AppendResolvedAttribute(m_body, "src", attribute("src"));
    m_body += " alt=\"";
    const qsizetype altStart = m_body.size();
    AppendResolved(m_body, attribute("alt"));
    if (!m_links.empty() && !m_links.back().startWritten)
        m_links.back().text += m_body.sliced(altStart);
    m_body += "\"/>";
}

void XhtmlRenderer::renderInput() {
    if (!m_inline)
        return;
    m_body += attribute("type") == "password" ? "<input type=\"password\"" : "<input type=\"text\"";
    if (const QByteArrayView name = attribute("name"); !name.isEmpty()) {
        m_body.append(" name=\"").append(name).append('"');
        m_cardFields << Unescaped(name);
    }
    appendAttributeIfSet("value", attribute("value"));
    for (const char* number : {"maxlength", "size"}) {
        if (const QByteArrayView value = attribute(number); IsNumber(value))
            m_body.append(' ').append(number).append("=\"").append(value).append('"');
    }
    appendAttributeIfSet("title", attribute("title"));
    m_body += "/>";
}

// An attribute whose value is empty once resolved is left out.
void XhtmlRenderer::appendAttributeIfSet(QByteArrayView name, QByteArrayView escaped) {
    const qsizetype before = m_body.size();
    AppendResolvedAttribute(m_body, name, escaped);
    if (m_body.size() == before + name.size() + 4)
        m_body.truncate(before);
}

// Text counts inside a paragraph only, where it is also the text of the
// link being written.
void XhtmlRenderer::writeText(QByteArrayView escaped) {
    if (escaped.isEmpty() || !m_inline)
        return;
    const qsizetype start = m_body.size();
    AppendResolved(m_body, escaped);
    if (!m_links.empty() && !m_links.back().startWritten)
        m_links.back().text += m_body.sliced(start);
}

// The links, softkeys, forms and selection lists.

namespace {

void AppendStartOfLink(PageBuffer& out, QByteArrayView reference) {
    out += "<a";
    AppendResolvedAttribute(out, "href", reference);
    out += '>';
}

PageBuffer StartOfLink(QByteArrayView reference) {
    PageBuffer start;
    AppendStartOfLink(start, reference);
    return start;
}

// The fixed query parameters of the link as hidden fields, then the button
// (its text written to the page already, so escaped).
PageBuffer SubmitButton(const WmlVariables::FormTarget& form, const PageBuffer& text) {
    PageBuffer button;
    for (const auto& [name, value] : form.hiddenFields) {
        button += "<input type=\"hidden\"";
        AppendAttribute(button, "name", name);
        AppendAttribute(button, "value", value);
        button += "/>";
    }
    button.append("<input type=\"submit\" value=\"").append(text.view()).append("\"/>");
    return button;
}

} // namespace

void XhtmlRenderer::renderLink(bool withReference) {
    if (!m_inline || !m_links.empty()) {
        renderChildren();
        return;
    }
    Link link;
    link.hasTarget = withReference;
    const QByteArrayView reference = withReference ? attribute("href") : QByteArrayView();
    // A link whose target is known and fixed is written as it goes; the
    // others keep their reference and text for later.
    link.startWritten = withReference && !(m_inCard && HasReference(reference));
    if (link.startWritten)
        AppendStartOfLink(m_body, reference);
    else
        link.reference = reference.toByteArray();
    link.start = m_body.size();
    m_links.push_back(std::move(link));
    renderChildren();
    finishLink();
}

// A softkey is a link with its label as text, a paragraph of its own outside
// a paragraph; one without a target leaves nothing.
void XhtmlRenderer::renderDo() {
    if (!m_links.empty())
        return;
    const bool ownParagraph = !m_inline;
    const qsizetype start = m_body.size();
    if (ownParagraph)
        m_body += "<p>";
    m_inline = true;
    m_links.push_back(Link{m_body.size(), false, false, {}, {}});
    QByteArrayView label = attribute("label");
    if (label.isEmpty())
        label = attribute("name");
    writeText(label.isEmpty() ? attribute("type") : label);
    renderChildren();
    const bool kept = finishLink();
    m_inline = !ownParagraph;
    if (ownParagraph && kept)
        m_body += "</p>";
    else if (ownParagraph)
        m_body.truncate(start);
}

void XhtmlRenderer::setTarget(bool refresh) {
    if (m_links.empty() || m_links.back().hasTarget)
        return;
    Link& link = m_links.back();
    link.hasTarget = true;
    // A refresh shows the same page again: an empty reference is the page.
    if (refresh)
        return;
    link.reference = attribute("href").toByteArray();
    while (nextChildElement()) {
        if (m_tokens.Name() == "postfield") {
            link.reference += link.reference.contains('?') ? "&amp;" : "?";
            link.reference.append(attribute("name")).append('=').append(attribute("value"));
        }
        m_tokens.SkipElement();
    }
}

// Writes the link's start tag and end tag around its text, or drops it when
// no task gave it a target. A link that reads variables waits for the end of
// its card, where the fields of the card are known.
bool XhtmlRenderer::finishLink() {
    Link link = std::move(m_links.back());
    m_links.pop_back();
    if (link.startWritten) {
        m_body += "</a>";
        return true;
    }
    if (!link.hasTarget) {
        m_body.truncate(link.start);
        return false;
    }
    if (m_inCard && HasReference(link.reference)) {
        m_pendingLinks.push_back(
            {link.start, m_body.size(), std::move(link.reference), std::move(link.text)});
        return true;
    }
    m_body.insert(link.start, StartOfLink(link.reference).view());
    m_body += "</a>";
    return true;
}

// The first link of the card that reads fields of the card becomes the
// submit button of a form around the card's content; in the others the
// variables are empty.
void XhtmlRenderer::renderPendingLinks() {
    WmlVariables::FormTarget form;
    qsizetype formIndex = -1;
    for (qsizetype index = 0; index < qsizetype(m_pendingLinks.size()) && formIndex < 0; ++index) {
        form = WmlVariables::FormFor(Unescaped(m_pendingLinks[index].reference), m_cardFields);
        if (!form.fields.isEmpty())
            formIndex = index;
    }
    for (qsizetype index = qsizetype(m_pendingLinks.size()) - 1; index >= 0; --index) {
        const PendingLink& link = m_pendingLinks[index];
        if (index == formIndex) {
            m_body.replace(link.start, link.end - link.start, SubmitButton(form, link.text).view());
        } else {
            m_body.insert(link.end, "</a>");
            m_body.insert(link.start, StartOfLink(link.reference).view());
        }
    }
    m_pendingLinks.clear();
    if (formIndex >= 0) {
        PageBuffer start("<form");
        AppendAttribute(start, "action", form.action);
        start += " method=\"get\">";
        m_body.insert(m_cardBodyStart, start.view());
        m_body += "</form>";
    }
}

void XhtmlRenderer::renderSelect() {
    if (!m_inline || !m_links.empty())
        return;
    m_body += "<select";
    if (const QByteArrayView name = attribute("name"); !name.isEmpty()) {
        m_body.append(" name=\"").append(name).append('"');
        m_cardFields << Unescaped(name);
    }
    if (attribute("multiple") == "true")
        m_body += " multiple=\"multiple\"";
    m_body += '>';
    PageBuffer preselected;
    AppendResolved(preselected, attribute("value"));
    m_preselected =
        preselected.isEmpty() ? QList<QByteArray>() : preselected.toByteArray().split(';');
    renderOptions(false);
    m_body += "</select>";
}

// XHTML groups do not nest: the options of an inner group join the outer
// one. A list or group without options gets an empty one, which both need.
void XhtmlRenderer::renderOptions(bool inGroup) {
    const qsizetype start = m_body.size();
    while (nextChildElement()) {
        if (m_tokens.Name() == "option") {
            renderOption();
        } else if (m_tokens.Name() == "optgroup" && inGroup) {
            renderOptions(true);
        } else if (m_tokens.Name() == "optgroup") {
            m_body += "<optgroup";
            AppendResolvedAttribute(m_body, "label", attribute("title"));
            m_body += '>';
            renderOptions(true);
            m_body += "</optgroup>";
        } else {
            m_tokens.SkipElement();
        }
    }
    if (m_body.size() == start)
        m_body += "<option></option>";
}

void XhtmlRenderer::renderOption() {
    m_body += "<option";
    if (const QByteArrayView value = attribute("value"); !value.isNull()) {
        const qsizetype valueStart = m_body.size() + 8;
        AppendResolvedAttribute(m_body, "value", value);
        if (m_preselected.contains(m_body.sliced(valueStart, m_body.size() - valueStart - 1)))
            m_body += " selected=\"selected\"";
    }
    m_body += '>';
    while (true) {
        const WmlTokenizer::Token token = m_tokens.Next();
        if (token == WmlTokenizer::Text)
            AppendResolved(m_body, m_tokens.TextRun());
        else if (token == WmlTokenizer::StartTag)
            m_tokens.SkipElement();
        else
            break;
    }
    m_body += "</option>";
}
