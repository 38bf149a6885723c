#pragma once

#include <QString>

// Where the program keeps its settings and finds its data.
namespace SettingsPaths {

// The environment variable that moves the settings file (for tests and for
// running several instances).
inline constexpr char SettingsVariable[] = "POCKETLANE_SETTINGS";

// The settings file: the --settings option's value when given, else the
// POCKETLANE_SETTINGS variable when set, else settings.reg in the user's
// configuration folder ($XDG_CONFIG_HOME/pocketlane).
QString SettingsFile(const QString& sOptionValue = {});

// The program's data folder: the installed share/pocketlane beside the
// program or under the install prefix when it holds the welcome image, else
// the source tree's data folder, so that a freshly built program runs in
// place.
QString DataFolder();

// The welcome image the program ships: DataFolder() + "/Pocketlane.wbmp".
QString WelcomeGraphicFile();

} // namespace SettingsPaths
