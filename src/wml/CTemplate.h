#pragma once

#include "wml/CDo.h"
#include "wml/WmlElement.h"

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
