#pragma once

#include <QByteArray>

class CDeck;
class CParagraph;

// Watches the length of a deck while a page is listed into one of its
// paragraphs. The deck is rendered once; after that only the paragraph's
// new children are, since nothing else changes the deck's length. The
// limit cuts a page only once it shows an entry, so that every page moves
// the listing on.
class DeckLengthWatch {
public:
    DeckLengthWatch(const CDeck& deck, const CParagraph& paragraph, qsizetype limit)
        : m_deck(deck)
        , m_paragraph(paragraph)
        , m_limit(limit) {}

    void EntryAdded() { ++m_listed; }
    bool ListedAny() const { return m_listed > 0; }
    qsizetype Length();
    bool PastLimit() { return ListedAny() && Length() > m_limit; }
    bool AtLimit() { return ListedAny() && Length() >= m_limit; }

private:
    const CDeck& m_deck;
    const CParagraph& m_paragraph;
    qsizetype m_limit;
    int m_listed = 0;
    // The length of the deck when the paragraph had m_measuredChildren
    // children; -1 before the first measurement.
    qsizetype m_length = -1;
    qsizetype m_measuredChildren = 0;
    QByteArray m_scratch;
};
