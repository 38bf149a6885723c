#pragma once

#include "settings/RegistryStore.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

// Registry-style access to one settings store: set ClassKey, SectionKey and,
// for values, ValueKey and ValueType, then call an operation. Create one for
// every settings operation. Failed changes raise RegistryError (26001).
class clsRegistry {
public:
    // The predefined root keys, with the handle values that error texts show.
    enum ERegistryRoot : std::int32_t {
        HKEY_CLASSES_ROOT = INT32_MIN,
        HKEY_CURRENT_USER = INT32_MIN + 1,
        HKEY_LOCAL_MACHINE = INT32_MIN + 2,
        HKEY_USERS = INT32_MIN + 3,
    };
    // Value types: a plain text, and a text whose %VARIABLE% references are
    // expanded when read.
    enum ERegistryType { REG_SZ = 1, REG_EXPAND_SZ = 2 };

    explicit clsRegistry(RegistryStore& store);

    ERegistryRoot ClassKey() const { return m_classKey; }
    void setClassKey(ERegistryRoot eRoot) { m_classKey = eRoot; }
    const QByteArray& SectionKey() const { return m_sectionKey; }
    void setSectionKey(const QByteArray& sSection) { m_sectionKey = sSection; }
    const QByteArray& ValueKey() const { return m_valueKey; }
    void setValueKey(const QByteArray& sName) { m_valueKey = sName; }
    ERegistryType ValueType() const { return m_valueType; }
    void setValueType(ERegistryType eType) { m_valueType = eType; }
    // What Value() reads when the key or the value is missing.
    const QByteArray& Default() const { return m_default; }
    void setDefault(const QByteArray& vDefault) { m_default = vDefault; }

    bool KeyExists() const;
    bool CreateKey();
    // The value's text; an expandable one with its references expanded.
    QByteArray Value() const;
    // The value's text as stored, references and all.
    QByteArray StoredText() const;
    // Writes the text, as an expandable one when ValueType() is REG_EXPAND_SZ.
    void setValue(const QByteArray& vValue);
    bool DeleteValue();
    // The key's value names in storage order; false when the key is missing.
    bool EnumerateValues(QList<QByteArray>& sKeyNames, int& iKeyCount) const;

    // The errors that CreateKey() and setValue() raise, for a change that
    // the store was asked for in one step and could not write.
    static RegistryError CreateKeyError(const QByteArray& sSection);
    static RegistryError SetValueError(ERegistryRoot eRoot, const QByteArray& sSection,
                                       const QByteArray& sName, const QByteArray& vValue,
                                       bool bKeyExisted);

    // %NAME% references replaced by the environment's values; references to
    // variables that are not set stay as they are.
    static QByteArray ExpandEnvironmentStrings(const QByteArray& sText);
    // Whether the text holds a "%" and, two or more characters on, another.
    static bool LooksExpandable(const QByteArray& sText);

private:
    QByteArray keyPath() const;

    RegistryStore& m_store;
    ERegistryRoot m_classKey = HKEY_LOCAL_MACHINE;
    QByteArray m_sectionKey;
    QByteArray m_valueKey;
    ERegistryType m_valueType = REG_SZ;
    QByteArray m_default;
};
