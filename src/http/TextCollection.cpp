#include "http/TextCollection.h"

#include "base/PocketlaneError.h"

void TextCollection::Add(const QByteArray& name, const QByteArray& value) {
    const qsizetype at = find(name);
    if (at < 0) {
        m_entries.append(Entry{name, value});
        if (m_entries.size() > ScanLimit)
            indexNames();
        return;
    }
    QByteArray& stored = m_entries[at].value;
    stored.append(';');
    stored.append(value);
}

QByteArray TextCollection::Item(const QByteArray& name) const {
    const qsizetype at = find(name);
    if (at < 0)
        throw PocketlaneError(ErrMissingKey, QStringLiteral("Invalid procedure call or argument"),
                              QStringLiteral("TextCollection.Item(") + QLatin1String(name) + u')');
    return m_entries.at(at).value;
}

QByteArray TextCollection::Value(const QByteArray& name, const QByteArray& fallback) const {
    const qsizetype at = find(name);
    return at < 0 ? fallback : m_entries.at(at).value;
}

qsizetype TextCollection::find(const QByteArray& name) const {
    if (m_entries.size() > ScanLimit)
        return m_indexByLowerName.value(name.toLower(), -1);
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// Indexes the names not indexed yet (all of them when the scan limit has
// just been passed, the newest one after that).
void TextCollection::indexNames() {
    for (qsizetype i = m_indexByLowerName.size(); i < m_entries.size(); ++i)
        m_indexByLowerName.insert(m_entries.at(i).name.toLower(), i);
}
