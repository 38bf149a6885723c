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

QString SettingsFile(const QString& sOptionValue) {
    if (!sOptionValue.isEmpty())
        return QFileInfo(sOptionValue).absoluteFilePath();
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

QByteArray InDataFolder(const QByteArray& sPath) {
    if (sPath.isEmpty() || QFileInfo(QFile::decodeName(sPath)).isAbsolute())
        return sPath;
    return QFile::encodeName(DataFolder()) + '/' + sPath;
}

QUrl MakerWebBase() {
    const QString installed = InstalledDataFolder();
    if (installed.isEmpty())
        return QUrl(QStringLiteral(POCKETLANE_WEB_SITE));
    return QUrl::fromLocalFile(installed + QStringLiteral("/help"));
}

QUrl MakerWebPage(const QString& sPath) {
    return QUrl(MakerWebBase().toString(QUrl::FullyEncoded) + sPath);
}

QUrl MakerWebSite() {
    return MakerWebPage(QStringLiteral("/index.html"));
}

} // namespace SettingsPaths
