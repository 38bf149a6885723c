#pragma once

#include <QByteArray>
#include <QString>

// The desktop's autostart entry that starts Pocketlane when the owner logs
// in: $XDG_CONFIG_HOME/autostart/pocketlane.desktop (usually
// ~/.config/autostart).
namespace AutostartEntry {

QString File();

bool IsPresent();

// Writes the entry, starting sProgram, or removes it. False, with the
// reason in sError, when the file could not be written or removed.
bool SetPresent(bool bPresent, const QString& sProgram, QString& sError);

// The entry's text for sProgram.
QByteArray Contents(const QString& sProgram);

} // namespace AutostartEntry
