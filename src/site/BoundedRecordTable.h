#pragma once

#include <QtGlobal>

#include <vector>

// Keeps the most recent records in a ring, addressed by an index that only
// grows, so memory stays flat however long the server runs: a record that
// has been pushed out, or erased by a stop, reads as absent, and its link
// answers as a timed-out one. Numbering goes on after Erase() so that a link
// from before a stop can never lead to another visitor's newer page.
template <typename Record> class BoundedRecordTable {
public:
    BoundedRecordTable(qsizetype capacity, qint64 firstIndex)
        : m_capacity(capacity)
        , m_base(firstIndex)
        , m_first(firstIndex)
        , m_next(firstIndex) {}

    // The index the next Add pushes out, or -1 while the table has room.
    qint64 IndexPushedOutByNextAdd() const { return m_next - m_first >= m_capacity ? m_first : -1; }

    qint64 Add(Record record) {
        const qint64 index = m_next++;
        const size_t slot = slotOf(index);
        if (slot == m_records.size())
            m_records.push_back(std::move(record));
        else
            m_records[slot] = std::move(record);
        if (m_next - m_first > m_capacity)
            m_first = m_next - m_capacity;
        return index;
    }

    const Record* Find(qint64 index) const {
        if (index < m_first || index >= m_next)
            return nullptr;
        return &m_records[slotOf(index)];
    }

    void Erase() {
        m_records.clear();
        m_records.shrink_to_fit();
        m_base = m_first = m_next;
    }

    qint64 Count() const { return m_next - m_first; }
    qsizetype Capacity() const { return m_capacity; }

private:
    // Slots fill in order from the first index since the table was last
    // empty, then wrap around.
    size_t slotOf(qint64 index) const { return size_t((index - m_base) % m_capacity); }

    qsizetype m_capacity;
    std::vector<Record> m_records;
    qint64 m_base;  // index held by the first slot
    qint64 m_first; // oldest index still held
    qint64 m_next;  // index of the next record
};
