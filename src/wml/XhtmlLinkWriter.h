#pragma once

#include "wml/XhtmlText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QVarLengthArray>

#include <optional>

// The links of an XHTML page being written: anchors, links and softkeys,
// and the links that read fields of their card through variables, which
// become the submit button of a form around the card's content. Links do
// not nest: one is open at a time. The renderer writes a link's content to
// the page and tells which of it is the link's text.
class XhtmlLinkWriter {
public:
    explicit XhtmlLinkWriter(XhtmlText::PageBuffer& page)
        : m_page(page) {}

    bool IsOpen() const { return m_link.has_value(); }
    // A link with its escaped reference, or none yet (a task inside gives
    // it). A fixed reference is written at once; one that reads variables
    // inside a card waits for the end of the card.
    void Start(std::optional<QByteArrayView> reference, bool inCard);
    // What was written to the page from start on is text of the open link.
    void NoteText(qsizetype start);
    bool HasTarget() const { return m_link && m_link->hasTarget; }
    // The target given by a task inside the link; an empty reference is
    // the page itself.
    void SetTarget(QByteArray reference);
    // Closes the link; false when it had no target and was dropped with
    // its content.
    bool Finish(bool inCard);

    // A field of the card (its name escaped), which links may read.
    void AddField(QByteArrayView escapedName);
    // The end of the card whose content starts at cardStart.
    void FinishCard(qsizetype cardStart);

private:
    // A link being written: its text is on the page from start on.
    struct Link {
        qsizetype start = 0;
        bool hasTarget = false;
        bool startWritten = false;
        // Whether the reference reads variables (looked at in a card only).
        bool readsVariables = false;
        QByteArray reference;
        XhtmlText::PageBuffer text;
    };
    // A link that reads variables, decided on at the end of its card.
    struct PendingLink {
        qsizetype start;
        qsizetype end;
        QByteArray reference;
        XhtmlText::PageBuffer text;
    };

    XhtmlText::PageBuffer& m_page;
    std::optional<Link> m_link;
    QVarLengthArray<PendingLink, 4> m_pendingLinks;
    QVarLengthArray<QByteArray, 4> m_cardFields;
};
