#pragma once

#include <QtGlobal>

class CDeck;

// Watches the length of a deck while a page is listed. The deck is rendered
// again only when an entry was added since the last rendering, since nothing
// else changes its length; and the limit cuts a page only once it shows an
// entry, so that every page moves the listing on.
class DeckLengthWatch {
public:
    DeckLengthWatch(const CDeck& deck, qsizetype limit)
        : m_deck(deck)
        , m_limit(limit) {}

    void EntryAdded() {
        ++m_listed;
        m_stale = true;
    }
    bool ListedAny() const { return m_listed > 0; }
    qsizetype Length();
    bool PastLimit() { return ListedAny() && Length() > m_limit; }
    bool AtLimit() { return ListedAny() && Length() >= m_limit; }

private:
    const CDeck& m_deck;
    qsizetype m_limit;
    int m_listed = 0;
    bool m_stale = false;
    qsizetype m_length = 0;
};
