#include "wml/XhtmlLinkWriter.h"

#include "wml/ByteScan.h"
#include "wml/WmlVariables.h"

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

void XhtmlLinkWriter::Start(std::optional<QByteArrayView> reference, bool inCard) {
    Link link;
    link.hasTarget = reference.has_value();
    link.readsVariables = reference && inCard && HasReference(*reference);
    link.startWritten = reference && !link.readsVariables;
    if (link.startWritten)
        AppendStartOfLink(m_page, *reference);
    else if (reference) // the deck outlives the page's writing
        link.reference = QByteArray::fromRawData(reference->data(), reference->size());
    link.start = m_page.size();
    m_link = std::move(link);
}

void XhtmlLinkWriter::NoteText(qsizetype start) {
    if (m_link && !m_link->startWritten)
        m_link->text += m_page.sliced(start);
}

void XhtmlLinkWriter::SetTarget(QByteArray reference) {
    m_link->hasTarget = true;
    m_link->readsVariables = HasReference(reference);
    m_link->reference = std::move(reference);
}

// Writes the link's start tag and end tag around its text, or drops it when
// no task gave it a target. A link that reads variables waits for the end of
// its card, where the fields of the card are known.
bool XhtmlLinkWriter::Finish(bool inCard) {
    Link link = std::move(*m_link);
    m_link.reset();
    if (link.startWritten) {
        m_page += "</a>";
        return true;
    }
    if (!link.hasTarget) {
        m_page.truncate(link.start);
        return false;
    }
    if (inCard && link.readsVariables) {
        m_pendingLinks.push_back(PendingLink{link.start, m_page.size(), std::move(link.reference),
                                             std::move(link.text)});
        return true;
    }
    m_page.insert(link.start, StartOfLink(link.reference).view());
    m_page += "</a>";
    return true;
}

void XhtmlLinkWriter::AddField(QByteArrayView escapedName) {
    m_cardFields.push_back(ByteScan::IndexOf(escapedName, '&') >= 0
                               ? Unescaped(escapedName)
                               : QByteArray::fromRawData(escapedName.data(), escapedName.size()));
}

// The first link of the card that reads fields of the card becomes the
// submit button of a form around the card's content; in the others the
// variables are empty.
void XhtmlLinkWriter::FinishCard(qsizetype cardStart) {
    if (m_pendingLinks.empty()) { // most cards: nothing waits for the card's end
        if (!m_cardFields.empty())
            m_cardFields.clear();
        return;
    }
    WmlVariables::FormTarget form;
    qsizetype formIndex = -1;
    for (qsizetype index = 0; index < qsizetype(m_pendingLinks.size()) && formIndex < 0; ++index) {
        const QByteArray& reference = m_pendingLinks[index].reference;
        form = WmlVariables::FormFor(ByteScan::IndexOf(reference, '&') >= 0 ? Unescaped(reference)
                                                                            : reference,
                                     {m_cardFields.data(), size_t(m_cardFields.size())});
        if (form.fieldsRead > 0)
            formIndex = index;
    }
    for (qsizetype index = qsizetype(m_pendingLinks.size()) - 1; index >= 0; --index) {
        const PendingLink& link = m_pendingLinks[index];
        if (index == formIndex) {
            m_page.replace(link.start, link.end - link.start, SubmitButton(form, link.text).view());
        } else {
            m_page.insert(link.end, "</a>");
            m_page.insert(link.start, StartOfLink(link.reference).view());
        }
    }
    m_pendingLinks.clear();
    m_cardFields.clear();
    if (formIndex >= 0) {
        PageBuffer start("<form");
        AppendAttribute(start, "action", form.action);
        start += " method=\"get\">";
        m_page.insert(cardStart, start.view());
        m_page += "</form>";
    }
}
