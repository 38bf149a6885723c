#pragma once

#include "wml/CCard.h"
#include "wml/CDo.h"
#include "wml/CTemplate.h"
#include "wml/WmlElement.h"

// The root of every page: a WML 1.1 deck with its two prolog lines. The
// template, the deck-level do elements and the cards are always written in
// that order, whatever the order in which they were added. A deck cannot hold
// do elements directly: the deck-level ones are written inside the template,
// after its own (a template is written for them when none is set), which
// gives them to every card, as a deck-level softkey means.
class CDeck : public WmlElement {
public:
    void AddCard(std::shared_ptr<CCard> oCard);
    // Title first, id second (the card writes the id first).
    std::shared_ptr<CCard> AddNewCard(const QByteArray& sTitle = {}, const QByteArray& sID = {});
    std::shared_ptr<CDo> AddNewDo(qint32 sType = DoAccept, const QByteArray& sLabel = {});

    std::shared_ptr<CTemplate> Template() const { return m_template; }
    // Replaces the template; an empty object removes it.
    void setTemplate(std::shared_ptr<CTemplate> oTemplate) { m_template = std::move(oTemplate); }

    void AppendWML(QByteArray& out) const override;

private:
    std::vector<std::shared_ptr<CCard>> m_cards;
    std::vector<std::shared_ptr<CDo>> m_doElements;
    std::shared_ptr<CTemplate> m_template;
};
