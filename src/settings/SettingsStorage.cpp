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
                const QByteArray& sValue) {
    createKeyWhenMissing(store, ProductKey);
    createKeyWhenMissing(store, sSection);
    clsRegistry registry = registryAt(store, sSection);
    registry.setValueKey(sName);
    registry.setValue(sValue);
}

} // namespace

void SaveSetting(RegistryStore& store, const QByteArray& sName, const QByteArray& sValue) {
    writeValue(store, OptionsKey, sName, sValue);
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
