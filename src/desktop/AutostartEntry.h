#pragma once

#include <QByteArray>
#include <QString>

// The desktop's autostart entry that starts Pocketlane when the owner logs
// in: $XDG_CONFIG_HOME/autostart/pocketlane.desktop (usually
// ~/.config/autostart).
namespace AutostartEntry {

QString File();

bool IsPresent();

// Writes the entry, starting program, or removes it. False, with the
// reason in error, when the file could not be written or removed.
bool SetPresent(bool present, const QString& program, QString& error);

// The entry's text for program.
QByteArray Contents(const QString& program);

} // namespace AutostartEntry
