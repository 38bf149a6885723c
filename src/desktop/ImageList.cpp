#include "desktop/ImageList.h"

#include <QHash>
#include <QPainter>

namespace ImageList {

namespace {

// The freedesktop icon names that play the same role as a bundled picture.
QString ThemeNameFor(const QString& sName) {
    static const QHash<QString, QString> names = {
        {QStringLiteral("about"), QStringLiteral("help-about")},
        {QStringLiteral("status"), QStringLiteral("utilities-system-monitor")},
        {QStringLiteral("options"), QStringLiteral("preferences-system")},
        {QStringLiteral("modules"), QStringLiteral("applications-other")},
        {QStringLiteral("folders"), QStringLiteral("folder-remote")},
        {QStringLiteral("graffiti"), QStringLiteral("accessories-text-editor")},
        {QStringLiteral("help"), QStringLiteral("help-browser")},
        {QStringLiteral("minimize"), QStringLiteral("window-minimize")},
        {QStringLiteral("running"), QStringLiteral("media-playback-start")},
        {QStringLiteral("stopped"), QStringLiteral("media-playback-stop")},
        {QStringLiteral("error"), QStringLiteral("dialog-error")},
        {QStringLiteral("notice"), QStringLiteral("dialog-information")},
    };
    return names.value(sName);
}

QIcon Bundled(const QString& sName) {
    return QIcon(QStringLiteral(":/icons/") + sName + QStringLiteral(".svg"));
}

QPixmap Tinted(const QPixmap& source) {
    QPixmap tinted = source;
    QPainter painter(&tinted);
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(tinted.rect(), QColor(255, 255, 255, 90));
    return tinted;
}

} // namespace

QIcon Picture(const QString& sName) {
    return QIcon::fromTheme(ThemeNameFor(sName), Bundled(sName));
}

QIcon SelectedPicture(const QString& sName) {
    const QIcon normal = Picture(sName);
    QIcon selected;
    for (int size : {16, 24, 32})
        selected.addPixmap(Tinted(normal.pixmap(size, size)));
    return selected;
}

QIcon ProgramIcon() {
    return QIcon::fromTheme(QStringLiteral("pocketlane"), Bundled(QStringLiteral("pocketlane")));
}

QIcon Banner() {
    return QIcon(QStringLiteral(":/icons/banner.svg"));
}

QSize BannerSize() {
    return {700, 64};
}

} // namespace ImageList
