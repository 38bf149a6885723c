#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

// The state a page needs behind one link of the site. A deck carries only
// the record's index (and, with the site password on, its key).
struct LinkState {
    QByteArray D; // folder
    QByteArray U; // the folder D was reached from
    QByteArray F; // file name within D
    qint16 P = 1; // page number
    QByteArray M; // module: "F", "G", "M"; empty for the main menu
    QByteArray A; // action within the module
    QByteArray K; // the link's key while the site password was on
    QByteArray C; // "Y" on a confirmed My Computer link

    // The field named by one capital letter (D, U, F, P, M, A, K, C) as text;
    // empty for any other letter.
    QByteArray Field(char letter) const;
};

// Keeps the most recent records in a ring, addressed by an index that only
// grows, so memory stays flat however long the server runs: a record that
// has been pushed out, or erased by a stop, reads as absent, and its link
// answers as a timed-out one. Numbering goes on after Erase() so that a link
// from before a stop can never lead to another visitor's newer page.
template <typename Record> class BoundedRecordTable {
public:
    explicit BoundedRecordTable(qsizetype capacity)
        : m_capacity(capacity) {}

    qint64 Add(Record record) {
        const qint64 index = m_next++;
        const auto slot = size_t(index % m_capacity);
        if (m_records.size() < size_t(m_capacity))
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
        return &m_records[size_t(index % m_capacity)];
    }

    void Erase() {
        m_records.clear();
        m_records.shrink_to_fit();
        m_first = m_next;
    }

    qint64 Count() const { return m_next - m_first; }
    qsizetype Capacity() const { return m_capacity; }

private:
    qsizetype m_capacity;
    std::vector<Record> m_records; // slot = index % capacity
    qint64 m_first = 0;            // oldest index still held
    qint64 m_next = 0;             // index of the next record
};

struct FileLink {
    QByteArray path;
    QByteArray key; // empty while the site password was off
};

// The two tables of the site: every link a page hands out, and every file
// offered for download.
class SiteLinks {
public:
    static constexpr qsizetype LinkCapacity = 100000;
    static constexpr qsizetype FileLinkCapacity = 10000;

    // passwordOn is asked at the moment a link is built.
    explicit SiteLinks(std::function<bool()> passwordOn);

    // Registers a record and returns the link to it, XML-escaped for a deck
    // ("&" becomes "&amp;"; "$" stays single so that the suffix may carry
    // variable references such as "&P=$(P)").
    QByteArray MakeLink(const QByteArray& U, const QByteArray& D, const QByteArray& F, qint16 P,
                        const QByteArray& M, const QByteArray& A, const QByteArray& C,
                        const QByteArray& suffix);
    // The main-menu link: every field empty and page 1.
    QByteArray MakeMainMenuLink();

    qint64 AddLinkState(const QByteArray& U, const QByteArray& D, const QByteArray& F, qint16 P,
                        const QByteArray& M, const QByteArray& A, const QByteArray& K,
                        const QByteArray& C);
    // The record behind index, or nothing when it is not (or no longer) held.
    const LinkState* FindLinkState(qint64 index) const;
    std::optional<QByteArray> GetLinkField(char letter, qint64 index) const;

    // Registers a file for download and returns its link, XML-escaped. With
    // the site password on the link carries a key of its own.
    QByteArray RegisterFileLink(const QByteArray& path);
    const FileLink* FindFileLink(qint64 index) const;

    // Three characters "A" to "Z" (and now and then "["), drawn from the
    // system's cryptographically secure generator.
    static QByteArray MakeLinkKey();

    // Forgets every record, as when the server is stopped.
    void Erase();

    const BoundedRecordTable<LinkState>& LinkStateTable() const { return m_links; }
    const BoundedRecordTable<FileLink>& FileLinkTable() const { return m_files; }

private:
    std::function<bool()> m_passwordOn;
    BoundedRecordTable<LinkState> m_links{LinkCapacity};
    BoundedRecordTable<FileLink> m_files{FileLinkCapacity};
};
