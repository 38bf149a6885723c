#pragma once

#include "wml/WmlTokenizer.h"
#include "wml/XhtmlText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringList>

#include <vector>

// Renders a WML deck, as the element classes write it, as one XHTML Basic
// 1.1 page (which XHTML Mobile Profile browsers read too) for browsers that
// show no WML. The deck's text, not its element tree, is the input: the
// page then follows from exactly what the phones get, the elements keep one
// way of writing themselves, and any deck converts, however it was built.
// Texts and values are copied escaped as they stand, so a page costs little
// more than reading the deck once.
//
// Each card becomes a section (its id an anchor, its title a heading), so
// the links between the cards of a deck stay links within the page. Text,
// its styles, line breaks, tables, images, links, selection lists and input
// fields keep their XHTML equivalents. A link that reads fields of its card
// through variables ("/?P=$(P)" beside <input name="P"/>) becomes the submit
// button of a form sent with GET, its fixed query parameters hidden fields.
// What XHTML has no equivalent for is left out: timers, events, prev and
// noop tasks (a link that only goes back is dropped with its text, a refresh
// link reloads the page), setvar. Softkeys (do) become links. A deck that
// does not parse gives a valid page without content.
class XhtmlRenderer {
public:
    explicit XhtmlRenderer(QByteArrayView deck);

    // The whole page, from the XML declaration on.
    QByteArray Render();

    static QByteArray FromWml(QByteArrayView deck) { return XhtmlRenderer(deck).Render(); }

private:
    // A link being written: its text is in m_body from start on, its open
    // tag is written when it ends (a task inside it gives the target). The
    // reference is escaped as in the deck, the text as written to the page.
    struct Link {
        qsizetype start = 0;
        bool hasTarget = false;
        bool startWritten = false;
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

    // A tag open in the current paragraph: its name and its start tag.
    struct OpenTag {
        QByteArrayView name;
        XhtmlText::PageBuffer start;
    };

    // Each renders the element at the tokenizer, up to its end tag.
    void renderElement();
    void renderChildren();
    // Moves to the next child element of the current one; false at its end.
    bool nextChildElement();
    void renderTemplate();
    void renderCard();
    void renderParagraph();
    void renderStyled(QByteArrayView tag, QByteArrayView className);
    void renderTable();
    void renderRow();
    void renderLink(bool withReference);
    void renderDo();
    void setTarget(bool refresh);
    bool finishLink();
    void renderPendingLinks();
    void renderImage();
    void renderInput();
    void renderSelect();
    void renderOptions(bool inGroup);
    void renderOption();
    void writeText(QByteArrayView escaped);
    void appendAttributeIfSet(QByteArrayView name, QByteArrayView escaped);
    QByteArrayView attribute(QByteArrayView name) const { return m_tokens.Attribute(name); }

    WmlTokenizer m_tokens;
    XhtmlText::PageBuffer m_body;
    XhtmlText::PageBuffer m_title;
    bool m_titleSet = false;
    // The softkeys of the template, written after the cards.
    XhtmlText::PageBuffer m_softkeys;
    bool m_inCard = false;
    // Inside a card or the template: cards and templates belong to the deck
    // alone, and one written inside another would mix their positions.
    bool m_inDeckPart = false;
    // Inside a paragraph, where text and inline elements go.
    bool m_inline = false;
    QList<QByteArray> m_preselected;
    XhtmlText::PageBuffer m_paragraphTag;
    // The tags open in the current paragraph, closed around a table.
    std::vector<OpenTag> m_openTags;
    std::vector<OpenTag> m_suspendedTags;
    std::vector<Link> m_links;
    qsizetype m_cardBodyStart = 0;
    QStringList m_cardFields;
    std::vector<PendingLink> m_pendingLinks;
};
