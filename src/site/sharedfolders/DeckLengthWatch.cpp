#include "site/sharedfolders/DeckLengthWatch.h"

#include "wml/CDeck.h"

qsizetype DeckLengthWatch::Length() {
    if (m_stale) {
        m_length = m_deck.GetWML().size();
        m_stale = false;
    }
    return m_length;
}
