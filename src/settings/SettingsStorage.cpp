#include "settings/SettingsStorage.h"

#include "settings/clsRegistry.h"

namespace SettingsStorage {

namespace {

clsRegistry registryAt(RegistryStore& store, const char* sSection) {
    clsRegistry registry(store);
    registry.setClassKey(clsRegistry::HKEY_LOCAL_MACHINE);
    registry.setSectionKey(sSection);
    registry.setValueType(clsRegistry::REG_SZ);
    return registry;
}

void createKeyWhenMissing(RegistryStore& store, const char* sSection) {
    clsRegistry registry = registryAt(store, sSection);
    if (!registry.KeyExists())
        registry.CreateKey();
}

void writeValue(RegistryStore& store, const char* sSection, const QByteArray& sName,
                const QByteArray& sValue, clsRegistry::ERegistryType eType = clsRegistry::REG_SZ) {
    createKeyWhenMissing(store, ProductKey);
    createKeyWhenMissing(store, sSection);
    clsRegistry registry = registryAt(store, sSection);
    registry.setValueKey(sName);
    registry.setValueType(eType);
    registry.setValue(sValue);
}

} // namespace

bool IsPathSetting(QByteArrayView sName) {
    return sName == "ShowWelcomeGraphicFilename";
}

void SaveSetting(RegistryStore& store, const QByteArray& sName, const QByteArray& sValue) {
    const bool expandable = IsPathSetting(sName) && clsRegistry::LooksExpandable(sValue);
    writeValue(store, OptionsKey, sName, sValue,
               expandable ? clsRegistry::REG_EXPAND_SZ : clsRegistry::REG_SZ);
}

QByteArray LoadSetting(RegistryStore& store, const QByteArray& sName) {
    clsRegistry registry = registryAt(store, OptionsKey);
    registry.setValueKey(sName);
    return IsPathSetting(sName) ? registry.Value() : registry.StoredText();
}

void AddSharedFolderSetting(RegistryStore& store, const QByteArray& sPath) {
    writeValue(store, SharedFoldersKey, sPath, QByteArray());
}

void RemoveSharedFolderSetting(RegistryStore& store, const QByteArray& sPath) {
    if (!registryAt(store, ProductKey).KeyExists())
        return;
    clsRegistry registry = registryAt(store, SharedFoldersKey);
    if (!registry.KeyExists())
        return;
    registry.setValueKey(sPath);
    registry.DeleteValue();
}

QList<QByteArray> SharedFolderSettings(RegistryStore& store) {
    QList<QByteArray> paths;
    int count = 0;
    registryAt(store, SharedFoldersKey).EnumerateValues(paths, count);
    return paths;
}

} // namespace SettingsStorage
