#pragma once

#include <QString>

// The long names of the administration options of the command line.
namespace AdminOptionNames {

inline const QString SettingsOption = QStringLiteral("settings");
inline const QString SetOption = QStringLiteral("set");
inline const QString ShowOption = QStringLiteral("show-settings");
inline const QString ShareOption = QStringLiteral("share");
inline const QString UnshareOption = QStringLiteral("unshare");
inline const QString ForceOption = QStringLiteral("force");
inline const QString GraffitiOption = QStringLiteral("graffiti");

} // namespace AdminOptionNames
