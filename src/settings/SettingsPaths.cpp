#include "settings/SettingsPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace SettingsPaths {

namespace {
const QString WelcomeGraphicName = QStringLiteral("/Pocketlane.wbmp");
}

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
    QStringList candidates;
    if (QCoreApplication::instance())
        candidates << QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                      QStringLiteral("/../share/pocketlane"));
    candidates << QStringLiteral(POCKETLANE_DATA_DIR);
    for (const QString& folder : std::as_const(candidates)) {
        if (QFileInfo::exists(folder + WelcomeGraphicName))
            return folder;
    }
    return QStringLiteral(POCKETLANE_BUILD_DATA_DIR);
}

QString WelcomeGraphicFile() {
    return DataFolder() + WelcomeGraphicName;
}

QUrl MakerWebBase() {
    return QUrl::fromLocalFile(DataFolder() + QStringLiteral("/help"));
}

QUrl MakerWebPage(const QString& sPath) {
    return QUrl(MakerWebBase().toString(QUrl::FullyEncoded) + sPath);
}

QUrl MakerWebSite() {
    return MakerWebPage(QStringLiteral("/index.html"));
}

} // namespace SettingsPaths
