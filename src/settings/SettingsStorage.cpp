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

} // namespace

QByteArray StorePath(const char* sKey) {
    return QByteArrayLiteral("HKEY_LOCAL_MACHINE\\") + sKey;
}

RegistryError SavingError(const RegistryStore& store, const char* sKey,
                          const RegistryStore::Value& value) {
    for (const char* key : {ProductKey, sKey}) {
        if (!store.keyExists(StorePath(key)))
            return clsRegistry::CreateKeyError(key);
    }
    return clsRegistry::SetValueError(clsRegistry::HKEY_LOCAL_MACHINE, sKey, value.name, value.data,
                                      true);
}

void AddSharedFolderSetting(RegistryStore& store, const QByteArray& sPath) {
    const RegistryStore::Value folder{sPath, {}, false};
    if (!store.setValue(StorePath(SharedFoldersKey), folder))
        throw SavingError(store, SharedFoldersKey, folder);
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
