#pragma once

#include <QString>

// The user's own runtime folder, where the program keeps what only this user
// may reach: its single-instance locks and local sockets. $XDG_RUNTIME_DIR,
// else /run/user/<uid> when it is the user's, else a folder in the temporary
// folder that this user made for it alone.
namespace RuntimeFolder {

// The folder; empty, with the reason in `refusal`, when the fallback in the
// temporary folder is not safe to use: made by another user (who could then
// take the lock or answer commands in the program's place), open to others,
// or not a folder at all.
QString Path(QString* refusal = nullptr);

// The file of one settings file in the runtime folder: `prefix` followed by
// a digest of the settings file's full path, so that programs on different
// settings files never meet. Empty when the folder is refused.
QString FileFor(const QString& settingsFile, const QString& prefix, QString* refusal = nullptr);

} // namespace RuntimeFolder
