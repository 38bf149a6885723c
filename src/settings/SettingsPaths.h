#pragma once

#include <QString>
#include <QUrl>

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

// The base of the maker's web site, which is also its help web site: the
// help pages the program ships in DataFolder() + "/help". Every link to them
// (the About panel, the module wish list, the setup check's help anchors) is
// made from this one base.
QUrl MakerWebBase();

// The web site's home page.
QUrl MakerWebSite();

// A page of the maker's web site: the base followed by sPath, for example
// "/pocketlane/help.htm#manual_port_forward".
QUrl MakerWebPage(const QString& sPath);

} // namespace SettingsPaths
