#include "site/sharedfolders/DeckLengthWatch.h"

#include "wml/CDeck.h"
#include "wml/CParagraph.h"

qsizetype DeckLengthWatch::Length() {
    const qsizetype children = m_paragraph.ChildCount();
    if (m_length < 0) {
        m_length = m_deck.GetWML().size();
    } else if (children > m_measuredChildren) {
        m_scratch.clear();
        m_paragraph.AppendChildrenWML(m_scratch, m_measuredChildren);
        m_length += m_scratch.size();
    }
    m_measuredChildren = children;
    return m_length;
}
