#include "settings/clsRegistry.h"

#include <QCoreApplication>

namespace {

QByteArray rootName(clsRegistry::ERegistryRoot eRoot) {
    switch (eRoot) {
    case clsRegistry::HKEY_CLASSES_ROOT:
        return QByteArrayLiteral("HKEY_CLASSES_ROOT");
    case clsRegistry::HKEY_CURRENT_USER:
        return QByteArrayLiteral("HKEY_CURRENT_USER");
    case clsRegistry::HKEY_USERS:
        return QByteArrayLiteral("HKEY_USERS");
    case clsRegistry::HKEY_LOCAL_MACHINE:
        break;
    }
    return QByteArrayLiteral("HKEY_LOCAL_MACHINE");
}

QString text(const QByteArray& bytes) {
    return QString::fromUtf8(bytes);
}

QString rootText(clsRegistry::ERegistryRoot eRoot) {
    return QString::number(qint32(eRoot));
}

RegistryError registryError(const QString& sDescription) {
    const QString program = QCoreApplication::instance() ? QCoreApplication::applicationName()
                                                         : QStringLiteral("pocketlane");
    return RegistryError(sDescription, program + QStringLiteral(".cRegistry"));
}

} // namespace

clsRegistry::clsRegistry(RegistryStore& store)
    : m_store(store) {}

QByteArray clsRegistry::keyPath() const {
    return rootName(m_classKey) + '\\' + m_sectionKey;
}

RegistryError clsRegistry::CreateKeyError(const QByteArray& sSection) {
    return registryError(QStringLiteral("Failed to create registry Key: '") + text(sSection));
}

RegistryError clsRegistry::SetValueError(ERegistryRoot eRoot, const QByteArray& sSection,
                                         const QByteArray& sName, const QByteArray& vValue,
                                         bool bKeyExisted) {
    const QString what = QStringLiteral("Key: '") + rootText(eRoot) +
                         QStringLiteral("',Section: '") + text(sSection) +
                         QStringLiteral("',Key: '") + text(sName) +
                         QStringLiteral("' to value: '") + text(vValue) + u'\'';
    return registryError((bKeyExisted ? QStringLiteral("Failed to set registry value ")
                                      : QStringLiteral("Failed to set registry Value ")) +
                         what);
}

bool clsRegistry::KeyExists() const {
    return m_store.keyExists(keyPath());
}

bool clsRegistry::CreateKey() {
    if (!m_store.createKey(keyPath()))
        throw CreateKeyError(m_sectionKey);
    return true;
}

QByteArray clsRegistry::Value() const {
    const auto value = m_store.value(keyPath(), m_valueKey);
    if (!value)
        return m_default;
    return value->expandable ? ExpandEnvironmentStrings(value->data) : value->data;
}

QByteArray clsRegistry::StoredText() const {
    const auto value = m_store.value(keyPath(), m_valueKey);
    return value ? value->data : m_default;
}

void clsRegistry::setValue(const QByteArray& vValue) {
    const bool keyExisted = KeyExists();
    const bool expandable = m_valueType == REG_EXPAND_SZ;
    if (!m_store.setValue(keyPath(), {m_valueKey, vValue, expandable}))
        throw SetValueError(m_classKey, m_sectionKey, m_valueKey, vValue, keyExisted);
}

bool clsRegistry::DeleteValue() {
    const QString where = QStringLiteral("'") + rootText(m_classKey) +
                          QStringLiteral("',Section: '") + text(m_sectionKey);
    if (!KeyExists())
        throw registryError(QStringLiteral("Failed to open key ") + where +
                            QStringLiteral("' for delete access"));
    if (!m_store.deleteValue(keyPath(), m_valueKey))
        throw registryError(QStringLiteral("Failed to delete registry Key: ") + where +
                            QStringLiteral("',Key: '") + text(m_valueKey));
    return true;
}

bool clsRegistry::EnumerateValues(QList<QByteArray>& sKeyNames, int& iKeyCount) const {
    const auto values = m_store.values(keyPath());
    if (!values)
        return false;
    sKeyNames.clear();
    for (const RegistryStore::Value& value : *values)
        sKeyNames.append(value.name);
    iKeyCount = int(sKeyNames.size());
    return true;
}

bool clsRegistry::LooksExpandable(const QByteArray& sText) {
    const qsizetype first = sText.indexOf('%');
    return first >= 0 && sText.lastIndexOf('%') - first >= 2;
}

QByteArray clsRegistry::ExpandEnvironmentStrings(const QByteArray& sText) {
    QByteArray expanded;
    qsizetype pos = 0;
    while (pos < sText.size()) {
        const qsizetype open = sText.indexOf('%', pos);
        const qsizetype close = open < 0 ? -1 : sText.indexOf('%', open + 1);
        if (close < 0) {
            expanded.append(sText.sliced(pos));
            break;
        }
        expanded.append(sText.sliced(pos, open - pos));
        const QByteArray name = sText.sliced(open + 1, close - open - 1);
        if (!name.isEmpty() && qEnvironmentVariableIsSet(name.constData())) {
            expanded.append(qgetenv(name.constData()));
            pos = close + 1;
        } else {
            expanded.append('%');
            pos = open + 1;
        }
    }
    return expanded;
}
