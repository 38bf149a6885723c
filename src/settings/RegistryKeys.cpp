#include "settings/RegistryKeys.h"

namespace {

QByteArray folded(QByteArrayView path) {
    QByteArray lower = path.toByteArray();
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return lower;
}

} // namespace

qsizetype RegistryKeys::find(QByteArrayView path) const {
    return m_keyIndex.value(folded(path), -1);
}

qsizetype RegistryKeys::add(const QByteArray& path) {
    m_keys.append(Key{path, {}});
    m_valueIndex.append(QHash<QByteArray, qsizetype>());
    m_keyIndex.insert(folded(path), m_keys.size() - 1);
    return m_keys.size() - 1;
}

qsizetype RegistryKeys::ensure(const QByteArray& path) {
    qsizetype separator = path.indexOf('\\');
    while (separator >= 0 && (separator = path.indexOf('\\', separator + 1)) > 0) {
        const QByteArray parent = path.left(separator);
        if (find(parent) < 0)
            add(parent);
    }
    const qsizetype index = find(path);
    return index >= 0 ? index : add(path);
}

qsizetype RegistryKeys::findValue(qsizetype key, QByteArrayView name) const {
    return m_valueIndex.at(key).value(name.toByteArray(), -1);
}

std::optional<RegistryKeys::Value> RegistryKeys::value(qsizetype key, QByteArrayView name) const {
    const qsizetype index = findValue(key, name);
    if (index < 0)
        return std::nullopt;
    return m_keys.at(key).values.at(index);
}

void RegistryKeys::setValue(qsizetype key, const Value& value) {
    QList<Value>& values = m_keys[key].values;
    const qsizetype existing = findValue(key, value.name);
    if (existing >= 0) {
        values[existing] = value;
        return;
    }
    values.append(value);
    m_valueIndex[key].insert(value.name, values.size() - 1);
}

bool RegistryKeys::removeValue(qsizetype key, QByteArrayView name) {
    const qsizetype index = findValue(key, name);
    if (index < 0)
        return false;
    QList<Value>& values = m_keys[key].values;
    values.removeAt(index);
    QHash<QByteArray, qsizetype>& byName = m_valueIndex[key];
    byName.remove(name.toByteArray());
    for (qsizetype later = index; later < values.size(); ++later)
        byName[values.at(later).name] = later;
    return true;
}
