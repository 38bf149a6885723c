#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The window's pictures: the desktop theme's icon where the theme has one,
// else the picture the program bundles.
namespace ImageList {

// A picture by its bundled name ("about", "status", "options", "modules",
// "folders", "graffiti", "help", "minimize", "running", "stopped"), with the
// theme's icon of that role where there is one.
QIcon Picture(const QString& sName);

// The same picture as shown while its tree entry is selected: a tinted copy,
// so that each entry has its pair of pictures.
QIcon SelectedPicture(const QString& sName);

// The program's own icon (window, notification area).
QIcon ProgramIcon();

// The banner across the top of the window, drawn at any scale, and its
// size in device-independent pixels.
QIcon Banner();
QSize BannerSize();

} // namespace ImageList
