#pragma once

#include <QByteArray>
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

// The welcome image the program ships, as the first run stores it: a name
// relative to DataFolder(), so that the value stays right when the program
// moves or is upgraded.
QString WelcomeGraphicStoredName();

// A stored path as the program uses it: a relative one inside DataFolder(),
// an absolute one (and an empty one) as it is.
QByteArray InDataFolder(const QByteArray& sPath);

// The base of the maker's web site, which is also its help web site: the
// help pages the installed program ships in share/pocketlane/help, else the
// project's public web site (a constant of the build), never a folder of the
// source tree. Every link to them (the About panel, the module wish list,
// the setup check's help anchors) is made from this one base.
QUrl MakerWebBase();

// The web site's home page.
QUrl MakerWebSite();

// A page of the maker's web site: the base followed by sPath, for example
// "/pocketlane/help.htm#manual_port_forward".
QUrl MakerWebPage(const QString& sPath);

} // namespace SettingsPaths
