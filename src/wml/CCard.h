#pragma once

#include "wml/CGo.h"
#include "wml/CParagraph.h"
#include "wml/WmlElement.h"

// card: one screen of a deck. The id is written before the title, each only
// when set, both unchanged.
class CCard : public WmlElement {
public:
    QByteArray ID() const { return m_id; }
    void setID(const QByteArray& sID) { m_id = sID; }
    QByteArray Title() const { return m_title; }
    void setTitle(const QByteArray& sTitle) { m_title = sTitle; }

    void Add(std::shared_ptr<WmlElement> oObject);
    std::shared_ptr<CParagraph> AddNewParagraph();
    // Appends an ontimer event and its timer and returns the event's go task.
    // The pair lands at the current end of the card; a valid card has it
    // before its paragraphs, so call this before AddNewParagraph.
    std::shared_ptr<CGo> AddOnTimerGo(qint16 iTimeInTenthsOfASecond, const QByteArray& sReference);

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_id;
    QByteArray m_title;
    std::vector<std::shared_ptr<WmlElement>> m_children;
};
