#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlParagraph.h"
#include "wml/WmlTasks.h"

// template: do elements that apply to every card of the deck.
class CTemplate : public WmlElement {
public:
    // Both append the do element (the same object) to the one list.
    void AddDo(std::shared_ptr<CDo> oDo);
    void AddDoEvent(std::shared_ptr<CDo> oDoEvent);

    void AppendWML(QByteArray& out) const override;
    // The do elements alone, for the deck that adds its own to them.
    void AppendDoElements(QByteArray& out) const;

private:
    std::vector<std::shared_ptr<CDo>> m_doElements;
};

// card: one screen of a deck. The id is written before the title, each only
// when set, both unchanged.
class CCard : public WmlElement {
public:
    QByteArray ID() const { return m_sID; }
    void setID(const QByteArray& sID) { m_sID = sID; }
    QByteArray Title() const { return m_sTitle; }
    void setTitle(const QByteArray& sTitle) { m_sTitle = sTitle; }

    void Add(std::shared_ptr<WmlElement> oObject);
    std::shared_ptr<CParagraph> AddNewParagraph();
    // Appends an ontimer event and its timer and returns the event's go task.
    // The pair lands at the current end of the card; a valid card has it
    // before its paragraphs, so call this before AddNewParagraph.
    std::shared_ptr<CGo> AddOnTimerGo(qint16 iTimeInTenthsOfASecond, const QByteArray& sReference);

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_sID;
    QByteArray m_sTitle;
    std::vector<std::shared_ptr<WmlElement>> m_children;
};

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

    std::shared_ptr<CTemplate> Template() const { return m_oTemplate; }
    // Replaces the template; an empty object removes it.
    void setTemplate(std::shared_ptr<CTemplate> oTemplate) { m_oTemplate = std::move(oTemplate); }

    void AppendWML(QByteArray& out) const override;

private:
    std::vector<std::shared_ptr<CCard>> m_cards;
    std::vector<std::shared_ptr<CDo>> m_doElements;
    std::shared_ptr<CTemplate> m_oTemplate;
};
