#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

#include <optional>

// The keys of a settings store and their values, in file order, with an index
// on each, so that reading a file of n lines costs O(n). Key paths compare
// without regard to ASCII letter case, value names exactly (they may be Linux
// paths). A key path's components are separated by backslashes; the first
// component is the root key, which always exists and is not stored.
class RegistryKeys {
public:
    struct Value {
        QByteArray name;
        QByteArray data;
        bool expandable = false;
        friend bool operator==(const Value&, const Value&) = default;
    };
    struct Key {
        QByteArray path;
        QList<Value> values;
        friend bool operator==(const Key&, const Key&) = default;
    };

    const QList<Key>& keys() const { return m_keys; }

    // The key's index, or -1.
    qsizetype find(QByteArrayView path) const;
    // The key's index, after adding it and each of its missing parents.
    qsizetype ensure(const QByteArray& path);

    std::optional<Value> value(qsizetype key, QByteArrayView name) const;
    // Replaces the value of that name, or appends it.
    void setValue(qsizetype key, const Value& value);
    // False when the key has no value of that name.
    bool removeValue(qsizetype key, QByteArrayView name);

private:
    qsizetype add(const QByteArray& path);
    qsizetype findValue(qsizetype key, QByteArrayView name) const;

    QList<Key> m_keys;
    QHash<QByteArray, qsizetype> m_keyIndex;          // by folded path
    QList<QHash<QByteArray, qsizetype>> m_valueIndex; // per key, by name
};
