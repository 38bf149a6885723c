#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

// An ordered collection of texts under names, as the request's query
// variables and headers are kept: names are compared without regard to
// letter case, items keep the order in which they were added, and reading a
// name that is absent raises a failure (test with Contains first).
class TextCollection {
public:
    // Adds value under name; a name already present keeps its place and gets
    // the old value, ";" and the new value.
    void Add(const QByteArray& name, const QByteArray& value);

    bool Contains(const QByteArray& name) const { return find(name) >= 0; }
    // The value stored under name; raises PocketlaneError when it is absent.
    QByteArray Item(const QByteArray& name) const;
    // The value stored under name, or fallback when it is absent.
    QByteArray Value(const QByteArray& name, const QByteArray& fallback = {}) const;

    int Count() const { return int(m_entries.size()); }
    const QByteArray& NameAt(int i) const { return m_entries.at(i).name; }
    const QByteArray& ItemAt(int i) const { return m_entries.at(i).value; }

private:
    struct Entry {
        QByteArray name;
        QByteArray value;
    };
    // Names are found by a scan while few are held (a request's usual
    // handful, without a lowercase copy of each); beyond that an index by
    // lowercase name keeps adding many names linear.
    static constexpr qsizetype ScanLimit = 16;

    qsizetype find(const QByteArray& name) const;
    void indexNames();

    QList<Entry> m_entries;
    QHash<QByteArray, qsizetype> m_indexByLowerName; // empty up to ScanLimit names
};
