#pragma once

#include "settings/RegistryStore.h"

#include <QByteArray>
#include <QList>

// Where the options and the shared-folder list live in the store, and the
// operations that write them. Failed writes raise RegistryError.
namespace SettingsStorage {

inline constexpr char ProductKey[] = "SOFTWARE\\Pocketlane";
inline constexpr char OptionsKey[] = "SOFTWARE\\Pocketlane\\Options";
inline constexpr char SharedFoldersKey[] = "SOFTWARE\\Pocketlane\\SharedFolders";

// Whether the option's value is a path: the only kind of value whose %NAME%
// references name environment variables. Every other value (passwords,
// messages) is kept exactly as given.
bool IsPathSetting(QByteArrayView sName);

// Writes one option value, creating the product and options keys when
// missing; a path that refers to environment variables is written as an
// expandable text.
void SaveSetting(RegistryStore& store, const QByteArray& sName, const QByteArray& sValue);

// Reads one option value: a path with its references expanded, any other
// value exactly as stored. Empty when missing.
QByteArray LoadSetting(RegistryStore& store, const QByteArray& sName);

// Adds a shared folder's value (named by its path, empty data).
void AddSharedFolderSetting(RegistryStore& store, const QByteArray& sPath);

// Deletes a shared folder's value when the keys exist.
void RemoveSharedFolderSetting(RegistryStore& store, const QByteArray& sPath);

// The stored shared folders in storage order (empty when there are none).
QList<QByteArray> SharedFolderSettings(RegistryStore& store);

} // namespace SettingsStorage
