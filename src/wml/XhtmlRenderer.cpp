#include "wml/XhtmlRenderer.h"

#include "base/basUtilities.h"
#include "wml/WmlVariables.h"

using namespace WmlVariables;

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

void AppendEscaped(QByteArray& out, const QString& text) {
    basUtilities::AppendXmlEscaped(out, text.toUtf8(), true);
}

// The two entities that WML declares beyond XML's own.
QString EntityText(QStringView name) {
    if (name == u"nbsp")
        return QString(QChar(0xA0));
    if (name == u"shy")
        return QString(QChar(0xAD));
    return {};
}

// Card ids become element ids, which must be XML names without a colon.
bool IsXmlId(QStringView id) {
    if (id.isEmpty() || !(id.front().isLetter() || id.front() == u'_'))
        return false;
    return std::all_of(id.begin(), id.end(), [](QChar c) {
        return c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.';
    });
}

void AppendAttribute(QByteArray& out, QByteArrayView name, const QString& value) {
    out += ' ';
    out += name;
    out += "=\"";
    AppendEscaped(out, value);
    out += '"';
}

QByteArray StartOfLink(const QString& reference) {
    QByteArray start = "<a";
    AppendAttribute(start, "href", WmlVariables::Resolve(reference));
    start += '>';
    return start;
}

// The fixed query parameters of the link as hidden fields, then the button.
QByteArray SubmitButton(const WmlVariables::FormTarget& form, const QString& text) {
    QByteArray button;
    for (const auto& [name, value] : form.hiddenFields) {
        button += "<input type=\"hidden\"";
        AppendAttribute(button, "name", name);
        AppendAttribute(button, "value", value);
        button += "/>";
    }
    button += "<input type=\"submit\"";
    AppendAttribute(button, "value", text);
    button += "/>";
    return button;
}

bool IsNumber(QStringView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}
} // namespace

XhtmlRenderer::XhtmlRenderer(QByteArrayView deck)
    : m_reader(deck.toByteArray()) {}

QByteArray XhtmlRenderer::Render() {
    while (!m_reader.atEnd()) {
        if (m_reader.readNext() == QXmlStreamReader::StartElement)
            renderElement();
    }
    if (m_reader.hasError()) {
        m_body.clear();
        m_softkeys.clear();
        m_title.clear();
    }
    QByteArray page;
    page.reserve(PageStart.size() + StyleAndBodyStart.size() + m_body.size() + 200);
    page += PageStart;
    AppendEscaped(page, m_title);
    page += StyleAndBodyStart;
    page += m_body;
    page += m_softkeys;
    if (m_body.isEmpty() && m_softkeys.isEmpty())
        page += "<div></div>";
    page += PageEnd;
    return page;
}

void XhtmlRenderer::renderElement() {
    const QStringView name = m_reader.name();
    if (name == u"a" || name == u"anchor")
        renderLink(name == u"a");
    else if (name == u"br" && m_inline)
        m_body += "<br/>";
    else if (name == u"b" || name == u"i" || name == u"em" || name == u"strong" || name == u"big" ||
             name == u"small")
        renderStyled(name.toLatin1(), {});
    else if (name == u"u")
        renderStyled("span", "u");
    else if (name == u"p")
        renderParagraph();
    else if (name == u"go" || name == u"refresh")
        setTarget(name == u"refresh");
    else if (name == u"img")
        renderImage();
    else if (name == u"input")
        renderInput();
    else if (name == u"select")
        renderSelect();
    else if (name == u"table")
        renderTable();
    else if (name == u"do")
        renderDo();
    else if (name == u"card")
        renderCard();
    else if (name == u"template")
        renderTemplate();
    else if (name == u"wml" || name == u"fieldset")
        renderChildren();
    // Everything else (head, onevent, timer, prev, noop, setvar, ...) has no
    // equivalent and is left out with its content.
    if (!m_reader.isEndElement())
        m_reader.skipCurrentElement();
}

// Texts are gathered up to the next tag, so that "$$" split by the reader
// still reads as one dollar.
void XhtmlRenderer::renderChildren() {
    QString text;
    while (!m_reader.atEnd()) {
        const QXmlStreamReader::TokenType token = m_reader.readNext();
        if (token == QXmlStreamReader::Characters) {
            text += m_reader.text();
        } else if (token == QXmlStreamReader::EntityReference) {
            text += EntityText(m_reader.name());
        } else if (token == QXmlStreamReader::StartElement ||
                   token == QXmlStreamReader::EndElement) {
            writeText(text);
            text.clear();
            if (token == QXmlStreamReader::EndElement)
                return;
            renderElement();
        }
    }
}

bool XhtmlRenderer::nextChildElement() {
    while (!m_reader.atEnd()) {
        const QXmlStreamReader::TokenType token = m_reader.readNext();
        if (token == QXmlStreamReader::StartElement)
            return true;
        if (token == QXmlStreamReader::EndElement)
            return false;
    }
    return false;
}

void XhtmlRenderer::renderTemplate() {
    std::swap(m_body, m_softkeys);
    renderChildren();
    std::swap(m_body, m_softkeys);
}

void XhtmlRenderer::renderCard() {
    const QString title = Resolve(attribute("title"));
    if (m_title.isEmpty())
        m_title = title;
    m_body += "<div class=\"card\"";
    if (const QString id = attribute("id"); IsXmlId(id))
        AppendAttribute(m_body, "id", id);
    m_body += '>';
    if (!title.isEmpty()) {
        m_body += "<h1>";
        AppendEscaped(m_body, title);
        m_body += "</h1>";
    }
    m_inCard = true;
    m_cardBodyStart = m_body.size();
    renderChildren();
    renderPendingLinks();
    m_cardFields.clear();
    m_inCard = false;
    m_body += "</div>";
}

void XhtmlRenderer::renderParagraph() {
    if (!m_inCard || m_inline)
        return;
    QStringList classes;
    const QString align = attribute("align");
    if (align == u"center" || align == u"right")
        classes << align;
    if (attribute("mode") == u"nowrap")
        classes << QStringLiteral("nowrap");
    m_paragraphTag = "<p";
    if (!classes.isEmpty())
        m_paragraphTag += " class=\"" + classes.join(u' ').toLatin1() + '"';
    m_paragraphTag += '>';
    m_body += m_paragraphTag;
    m_inline = true;
    renderChildren();
    m_inline = false;
    m_body += "</p>";
}

void XhtmlRenderer::renderStyled(const QByteArray& tag, QByteArrayView className) {
    if (!m_inline) {
        renderChildren();
        return;
    }
    QByteArray start = '<' + tag;
    if (!className.isEmpty())
        start += " class=\"" + className.toByteArray() + '"';
    start += '>';
    m_body += start;
    m_openTags.push_back({tag, start});
    renderChildren();
    m_openTags.pop_back();
    m_body += "</" + tag + '>';
}

// XHTML keeps tables out of paragraphs: the paragraph, and the styles open
// in it, end before the table and start again after it.
void XhtmlRenderer::renderTable() {
    if (!m_inline || !m_suspendedTags.empty())
        return;
    for (auto tag = m_openTags.rbegin(); tag != m_openTags.rend(); ++tag)
        m_body += "</" + tag->name + '>';
    m_body += "</p><table>";
    std::swap(m_suspendedTags, m_openTags);
    bool anyRow = false;
    while (nextChildElement()) {
        if (m_reader.name() != u"tr") {
            m_reader.skipCurrentElement();
            continue;
        }
        anyRow = true;
        m_body += "<tr>";
        const qsizetype rowStart = m_body.size();
        while (nextChildElement()) {
            if (m_reader.name() != u"td") {
                m_reader.skipCurrentElement();
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
    if (!anyRow)
        m_body += "<tr><td></td></tr>";
    m_body += "</table>" + m_paragraphTag;
    std::swap(m_suspendedTags, m_openTags);
    for (const OpenTag& tag : m_openTags)
        m_body += tag.start;
}

void XhtmlRenderer::renderLink(bool withReference) {
    if (!m_inline || !m_links.empty()) {
        renderChildren();
        return;
    }
    Link link;
    link.start = m_body.size();
    link.hasTarget = withReference;
    if (withReference)
        link.reference = attribute("href");
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
    m_links.push_back(Link{m_body.size(), false, {}, {}});
    QString label = attribute("label");
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
    link.reference = attribute("href");
    while (nextChildElement()) {
        if (m_reader.name() == u"postfield") {
            link.reference += link.reference.contains(u'?') ? u'&' : u'?';
            link.reference += attribute("name") + u'=' + attribute("value");
        }
        m_reader.skipCurrentElement();
    }
}

// Writes the link's start tag and end tag around its text, or drops it when
// no task gave it a target. A link that reads variables waits for the end of
// its card, where the fields of the card are known.
bool XhtmlRenderer::finishLink() {
    const Link link = std::move(m_links.back());
    m_links.pop_back();
    if (!link.hasTarget) {
        m_body.truncate(link.start);
        return false;
    }
    if (m_inCard && HasReference(link.reference)) {
        m_pendingLinks.push_back({link.start, m_body.size(), link.reference, link.text});
        return true;
    }
    m_body.insert(link.start, StartOfLink(link.reference));
    m_body += "</a>";
    return true;
}

// The first link of the card that reads fields of the card becomes the
// submit button of a form around the card's content; in the others the
// variables are empty.
void XhtmlRenderer::renderPendingLinks() {
    FormTarget form;
    qsizetype formIndex = -1;
    for (qsizetype index = 0; index < qsizetype(m_pendingLinks.size()) && formIndex < 0; ++index) {
        form = FormFor(m_pendingLinks[index].reference, m_cardFields);
        if (!form.fields.isEmpty())
            formIndex = index;
    }
    for (qsizetype index = qsizetype(m_pendingLinks.size()) - 1; index >= 0; --index) {
        const PendingLink& link = m_pendingLinks[index];
        if (index == formIndex) {
            m_body.replace(link.start, link.end - link.start, SubmitButton(form, link.text));
        } else {
            m_body.insert(link.end, "</a>");
            m_body.insert(link.start, StartOfLink(link.reference));
        }
    }
    m_pendingLinks.clear();
    if (formIndex >= 0) {
        QByteArray start = "<form";
        AppendAttribute(start, "action", form.action);
        start += " method=\"get\">";
        m_body.insert(m_cardBodyStart, start);
        m_body += "</form>";
    }
}

void XhtmlRenderer::renderImage() {
    if (!m_inline)
        return;
    const QString alternativeText = Resolve(attribute("alt"));
    m_body += "<img";
    AppendAttribute(m_body, "src", Resolve(attribute("src")));
    AppendAttribute(m_body, "alt", alternativeText);
    m_body += "/>";
    if (!m_links.empty())
        m_links.back().text += alternativeText;
}

void XhtmlRenderer::renderInput() {
    if (!m_inline)
        return;
    m_body +=
        attribute("type") == u"password" ? "<input type=\"password\"" : "<input type=\"text\"";
    if (const QString name = attribute("name"); !name.isEmpty()) {
        AppendAttribute(m_body, "name", name);
        m_cardFields << name;
    }
    if (const QString value = Resolve(attribute("value")); !value.isEmpty())
        AppendAttribute(m_body, "value", value);
    for (const char* number : {"maxlength", "size"}) {
        if (const QString value = attribute(number); IsNumber(value))
            AppendAttribute(m_body, number, value);
    }
    if (const QString title = Resolve(attribute("title")); !title.isEmpty())
        AppendAttribute(m_body, "title", title);
    m_body += "/>";
}

void XhtmlRenderer::renderSelect() {
    if (!m_inline || !m_links.empty())
        return;
    m_body += "<select";
    if (const QString name = attribute("name"); !name.isEmpty()) {
        AppendAttribute(m_body, "name", name);
        m_cardFields << name;
    }
    if (attribute("multiple") == u"true")
        m_body += " multiple=\"multiple\"";
    m_body += '>';
    const QString preselected = Resolve(attribute("value"));
    m_preselected = preselected.isEmpty() ? QStringList() : preselected.split(u';');
    renderOptions(false);
    m_body += "</select>";
}

// XHTML groups do not nest: the options of an inner group join the outer
// one. A list or group without options gets an empty one, which both need.
void XhtmlRenderer::renderOptions(bool inGroup) {
    const qsizetype start = m_body.size();
    while (nextChildElement()) {
        if (m_reader.name() == u"option") {
            renderOption();
        } else if (m_reader.name() == u"optgroup" && inGroup) {
            renderOptions(true);
        } else if (m_reader.name() == u"optgroup") {
            m_body += "<optgroup";
            AppendAttribute(m_body, "label", Resolve(attribute("title")));
            m_body += '>';
            renderOptions(true);
            m_body += "</optgroup>";
        } else {
            m_reader.skipCurrentElement();
        }
    }
    if (m_body.size() == start)
        m_body += "<option></option>";
}

void XhtmlRenderer::renderOption() {
    m_body += "<option";
    if (m_reader.attributes().hasAttribute(QLatin1String("value"))) {
        const QString value = Resolve(attribute("value"));
        AppendAttribute(m_body, "value", value);
        if (m_preselected.contains(value))
            m_body += " selected=\"selected\"";
    }
    m_body += '>';
    QString text;
    while (!m_reader.atEnd()) {
        const QXmlStreamReader::TokenType token = m_reader.readNext();
        if (token == QXmlStreamReader::Characters)
            text += m_reader.text();
        else if (token == QXmlStreamReader::EntityReference)
            text += EntityText(m_reader.name());
        else if (token == QXmlStreamReader::StartElement)
            m_reader.skipCurrentElement();
        else if (token == QXmlStreamReader::EndElement)
            break;
    }
    AppendEscaped(m_body, Resolve(text));
    m_body += "</option>";
}

// Text counts inside a paragraph only, where it is also the text of the
// link being written.
void XhtmlRenderer::writeText(const QString& text) {
    if (text.isEmpty() || !m_inline)
        return;
    const QString resolved = Resolve(text);
    if (!m_links.empty())
        m_links.back().text += resolved;
    AppendEscaped(m_body, resolved);
}

QString XhtmlRenderer::attribute(const char* name) const {
    return m_reader.attributes().value(QLatin1String(name)).toString();
}
