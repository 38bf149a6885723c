#include "base/FileAside.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace FileAside {

QString KeepAside(const QString& path) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = path + QStringLiteral(".unreadable-") + stamp;
    QString aside = base;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = base + u'-' + QString::number(n);
    return QFile::rename(path, aside) ? aside : QString();
}

} // namespace FileAside
