#pragma once

#include "settings/RegistryStore.h"

#include <QByteArray>
#include <QList>

// Where the options and the shared-folder list live in the store, the
// shared-folder operations, and the error a failed write raises. Failed
// writes raise RegistryError.
namespace SettingsStorage {

inline constexpr char ProductKey[] = "SOFTWARE\\Pocketlane";
inline constexpr char OptionsKey[] = "SOFTWARE\\Pocketlane\\Options";
inline constexpr char SharedFoldersKey[] = "SOFTWARE\\Pocketlane\\SharedFolders";

// The key as the store names it: below the machine's root key.
QByteArray StorePath(const char* sKey);

// The error of a write to `sKey` that the store refused, worded after the
// first step of the registry's way that fails: creating the product key,
// creating `sKey`, or setting the value.
RegistryError SavingError(const RegistryStore& store, const char* sKey,
                          const RegistryStore::Value& value);

// Adds a shared folder's value (named by its path, empty data), creating
// the keys when missing.
void AddSharedFolderSetting(RegistryStore& store, const QByteArray& sPath);

// Deletes a shared folder's value when the keys exist.
void RemoveSharedFolderSetting(RegistryStore& store, const QByteArray& sPath);

// The stored shared folders in storage order (empty when there are none).
QList<QByteArray> SharedFolderSettings(RegistryStore& store);

} // namespace SettingsStorage
