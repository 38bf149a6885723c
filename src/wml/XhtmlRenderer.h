#pragma once

#include "wml/WmlTokenizer.h"
#include "wml/XhtmlLinkWriter.h"
#include "wml/XhtmlPage.h"
#include "wml/XhtmlText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QVarLengthArray>

// Renders a WML deck, as the element classes write it, as one XHTML Basic
// 1.1 page (which XHTML Mobile Profile browsers read too) for browsers that
// show no WML. The deck's text, not its element tree, is the input: the
// page then follows from exactly what the phones get, the elements keep one
// way of writing themselves, and any deck converts, however it was built.
// Texts and values are copied escaped as they stand, straight into the
// page, so a page costs little more than reading the deck once.
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
    // A style open in the current paragraph: its tag and class.
    struct OpenTag {
        QByteArrayView name;
        QByteArrayView className;
    };

    // Each renders the element at the tokenizer, up to its end tag.
    void renderElement();
    void renderChildren();
    void renderTemplate();
    void renderCard();
    void renderTitle(QByteArrayView title);
    void renderParagraph();
    void writeParagraphStart();
    void renderStyled(QByteArrayView tag, QByteArrayView className);
    void renderTable();
    void renderRow();
    void renderLink(bool withReference);
    void renderDo();
    void setTarget(bool refresh);
    void renderImage();
    void renderInput();
    void renderSelect();
    void writeText(QByteArrayView escaped);
    QByteArrayView attribute(QByteArrayView name) const { return m_tokens.Attribute(name); }

    WmlTokenizer m_tokens;
    XhtmlPage m_page;
    // The page's text, where the body is written (the softkeys' while the
    // template is written).
    XhtmlText::PageBuffer& m_text = m_page.Text();
    // The softkeys of the template, written after the cards.
    XhtmlText::PageBuffer m_softkeys;
    XhtmlLinkWriter m_links{m_text};
    bool m_inCard = false;
    // Inside a card or the template: cards and templates belong to the deck
    // alone, and one written inside another would mix their positions.
    bool m_inDeckPart = false;
    // Inside a paragraph, where text and inline elements go.
    bool m_inline = false;
    // The class of the current paragraph ("center nowrap"), empty for none.
    QByteArrayView m_paragraphClass;
    // The styles open in the current paragraph, closed around a table.
    QVarLengthArray<OpenTag, 8> m_openTags;
    QVarLengthArray<OpenTag, 8> m_suspendedTags;
};
