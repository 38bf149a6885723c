#include "settings/SettingsPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace SettingsPaths {

namespace {
const QString WelcomeGraphicName = QStringLiteral("/Pocketlane.wbmp");

// The installed share/pocketlane (beside the program, else under the install
// prefix), or an empty text when the program runs from its build tree.
QString InstalledDataFolder() {
    QStringList candidates;
    if (QCoreApplication::instance())
        candidates << QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                      QStringLiteral("/../share/pocketlane"));
    candidates << QStringLiteral(POCKETLANE_DATA_DIR);
    for (const QString& folder : std::as_const(candidates)) {
        if (QFileInfo::exists(folder + WelcomeGraphicName))
            return folder;
    }
    return {};
}

} // namespace

QString SettingsFile(const QString& optionValue) {
    if (!optionValue.isEmpty())
        return QFileInfo(optionValue).absoluteFilePath();
    const QString fromEnvironment = qEnvironmentVariable(SettingsVariable);
    if (!fromEnvironment.isEmpty())
        return QFileInfo(fromEnvironment).absoluteFilePath();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/pocketlane/settings.reg");
}

QString DataFolder() {
    const QString installed = InstalledDataFolder();
    return installed.isEmpty() ? QStringLiteral(POCKETLANE_BUILD_DATA_DIR) : installed;
}

QString WelcomeGraphicStoredName() {
    return WelcomeGraphicName.mid(1);
}

QByteArray InDataFolder(const QByteArray& path) {
    if (path.isEmpty() || QFileInfo(QFile::decodeName(path)).isAbsolute())
        return path;
    return QFile::encodeName(DataFolder()) + '/' + path;
}

QUrl MakerWebBase() {
    const QString installed = InstalledDataFolder();
    if (installed.isEmpty())
        return QUrl(QStringLiteral(POCKETLANE_WEB_SITE));
    return QUrl::fromLocalFile(installed + QStringLiteral("/help"));
}

QUrl MakerWebPage(const QString& path) {
    return QUrl(MakerWebBase().toString(QUrl::FullyEncoded) + path);
}

QUrl MakerWebSite() {
    return MakerWebPage(QStringLiteral("/index.html"));
}

} // namespace SettingsPaths
