#include "http/TextCollection.h"

#include "base/PocketlaneError.h"

void TextCollection::Add(const QByteArray& name, const QByteArray& value) {
    const qsizetype at = find(name);
    if (at < 0) {
        m_indexByLowerName.insert(name.toLower(), m_entries.size());
        m_entries.append(Entry{name, value});
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
    return m_indexByLowerName.value(name.toLower(), -1);
}
