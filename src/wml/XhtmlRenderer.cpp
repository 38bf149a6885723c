#include "wml/XhtmlRenderer.h"

#include "wml/WmlTag.h"
#include "wml/XhtmlFieldWriter.h"
#include "wml/XhtmlText.h"

using namespace XhtmlText;

namespace {
// The class of a paragraph with the alignment and mode given.
QByteArrayView ParagraphClass(QByteArrayView align, bool nowrap) {
    if (align == "center")
        return nowrap ? "center nowrap" : "center";
    if (align == "right")
        return nowrap ? "right nowrap" : "right";
    return nowrap ? "nowrap" : "";
}
} // namespace

XhtmlRenderer::XhtmlRenderer(QByteArrayView deck)
    : m_tokens(deck)
    , m_page(deck.size() + deck.size() / 4) {}

QByteArray XhtmlRenderer::Render() {
    while (m_tokens.Next() != WmlTokenizer::End) {
        if (!m_tokens.AtEndTag())
            renderElement();
    }
    if (m_tokens.HasError()) {
        m_page.Clear();
        m_softkeys.clear();
    }
    return m_page.Finish(m_softkeys);
}

void XhtmlRenderer::renderElement() {
    const QByteArrayView name = m_tokens.Name();
    switch (WmlTag::KindOf(name)) {
    case WmlTag::Link:
    case WmlTag::Anchor:
        renderLink(WmlTokenizer::Same(name, "a"));
        break;
    case WmlTag::LineBreak:
        if (m_inline)
            m_text += "<br/>";
        break;
    case WmlTag::SameStyle:
        renderStyled(name, {});
        break;
    case WmlTag::Underline:
        renderStyled("span", "u");
        break;
    case WmlTag::Paragraph:
        renderParagraph();
        break;
    case WmlTag::Go:
    case WmlTag::Refresh:
        setTarget(WmlTokenizer::Same(name, "refresh"));
        break;
    case WmlTag::Image:
        renderImage();
        break;
    case WmlTag::Input:
        renderInput();
        break;
    case WmlTag::Select:
        renderSelect();
        break;
    case WmlTag::Table:
        renderTable();
        break;
    case WmlTag::Do:
        renderDo();
        break;
    case WmlTag::Card:
        if (!m_inDeckPart)
            renderCard();
        break;
    case WmlTag::Template:
        if (!m_inDeckPart)
            renderTemplate();
        break;
    case WmlTag::Container:
        renderChildren();
        break;
    case WmlTag::Other:
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

void XhtmlRenderer::renderTemplate() {
    m_inDeckPart = true;
    m_text.swap(m_softkeys);
    renderChildren();
    m_text.swap(m_softkeys);
    m_inDeckPart = false;
}

void XhtmlRenderer::renderCard() {
    m_text += "<div class=\"card\"";
    if (const QByteArrayView id = attribute("id"); IsXmlId(id))
        m_text.append(" id=\"").append(id).append('"');
    m_text += '>';
    renderTitle(attribute("title"));
    m_inCard = true;
    m_inDeckPart = true;
    const qsizetype cardStart = m_text.size();
    renderChildren();
    m_links.FinishCard(cardStart);
    m_inCard = false;
    m_inDeckPart = false;
    m_text += "</div>";
}

// The card's title as its heading; the first one is the page's title too.
void XhtmlRenderer::renderTitle(QByteArrayView title) {
    if (title.isEmpty())
        return;
    m_text += "<h1>";
    const qsizetype textStart = m_text.size();
    AppendResolved(m_text, title);
    m_page.SetTitleFrom(textStart);
    m_text += "</h1>";
}

void XhtmlRenderer::renderParagraph() {
    if (!m_inCard || m_inline)
        return;
    m_paragraphClass = ParagraphClass(attribute("align"), attribute("mode") == "nowrap");
    AppendStartTag(m_text, "p", m_paragraphClass);
    m_inline = true;
    renderChildren();
    m_inline = false;
    m_text += "</p>";
}

void XhtmlRenderer::renderStyled(QByteArrayView tag, QByteArrayView className) {
    if (!m_inline) {
        renderChildren();
        return;
    }
    AppendStartTag(m_text, tag, className);
    m_openTags.push_back(OpenTag{tag, className});
    renderChildren();
    m_openTags.pop_back();
    m_text.append("</").append(tag).append('>');
}

// XHTML keeps tables out of paragraphs: the paragraph, and the styles open
// in it, end before the table and start again after it. A link cannot be
// ended and started again like that, so a table inside one is left out.
void XhtmlRenderer::renderTable() {
    if (!m_inline || !m_suspendedTags.empty() || m_links.IsOpen())
        return;
    for (auto tag = m_openTags.rbegin(); tag != m_openTags.rend(); ++tag)
        m_text.append("</").append(tag->name).append('>');
    m_text += "</p><table>";
    std::swap(m_suspendedTags, m_openTags);
    bool anyRow = false;
    while (m_tokens.NextChildElement()) {
        if (!WmlTokenizer::Same(m_tokens.Name(), "tr")) {
            m_tokens.SkipElement();
            continue;
        }
        anyRow = true;
        renderRow();
    }
    if (!anyRow)
        m_text += "<tr><td></td></tr>";
    m_text += "</table>";
    AppendStartTag(m_text, "p", m_paragraphClass);
    std::swap(m_suspendedTags, m_openTags);
    for (const OpenTag& tag : m_openTags)
        AppendStartTag(m_text, tag.name, tag.className);
}

void XhtmlRenderer::renderRow() {
    m_text += "<tr>";
    const qsizetype rowStart = m_text.size();
    while (m_tokens.NextChildElement()) {
        if (!WmlTokenizer::Same(m_tokens.Name(), "td")) {
            m_tokens.SkipElement();
            continue;
        }
        m_text += "<td>";
        renderChildren();
        m_text += "</td>";
    }
    if (m_text.size() == rowStart)
        m_text += "<td></td>";
    m_text += "</tr>";
}

void XhtmlRenderer::renderImage() {
    if (!m_inline)
        return;
    m_text += "<img";
    AppendResolvedAttribute(m_text, "src", attribute("src"));
    m_text += " alt=\"";
    const qsizetype altStart = m_text.size();
    AppendResolved(m_text, attribute("alt"));
    m_links.NoteText(altStart);
    m_text += "\"/>";
}

void XhtmlRenderer::renderInput() {
    if (!m_inline)
        return;
    if (const QByteArrayView name = attribute("name"); !name.isEmpty())
        m_links.AddField(name);
    XhtmlFieldWriter(m_tokens, m_text).WriteInput();
}

// Text counts inside a paragraph only, where it is also the text of the
// link being written.
void XhtmlRenderer::writeText(QByteArrayView escaped) {
    if (escaped.isEmpty() || !m_inline)
        return;
    const qsizetype start = m_text.size();
    AppendResolved(m_text, escaped);
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
    const qsizetype start = m_text.size();
    if (ownParagraph)
        m_text += "<p>";
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
        m_text += "</p>";
    else if (ownParagraph)
        m_text.truncate(start);
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
    while (m_tokens.NextChildElement()) {
        if (m_tokens.Name() == "postfield") {
            reference += reference.contains('?') ? "&amp;" : "?";
            reference.append(attribute("name")).append('=').append(attribute("value"));
        }
        m_tokens.SkipElement();
    }
    m_links.SetTarget(std::move(reference));
}

void XhtmlRenderer::renderSelect() {
    if (!m_inline || m_links.IsOpen())
        return;
    if (const QByteArrayView name = attribute("name"); !name.isEmpty())
        m_links.AddField(name);
    XhtmlFieldWriter(m_tokens, m_text).WriteSelect();
}
