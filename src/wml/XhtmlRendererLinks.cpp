// The links, softkeys, forms and selection lists of XhtmlRenderer.
#include "wml/WmlVariables.h"
#include "wml/XhtmlRenderer.h"
#include "wml/XhtmlText.h"

using namespace XhtmlText;

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
