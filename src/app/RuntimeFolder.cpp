#include "app/RuntimeFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes the folder for this user alone, or tells why an existing one cannot
// be trusted; empty when it can be used.
QString privateFolderRefusal(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return QString::fromLocal8Bit(std::strerror(errno));
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("it is not a folder");
    if (info.st_uid != ::getuid())
        return QStringLiteral("another user made it");
    if ((info.st_mode & 077) != 0)
        return QStringLiteral("other users may enter it (mode %1)")
            .arg(info.st_mode & 0777, 3, 8, QLatin1Char('0'));
    return QString();
}

bool isOwnFolder(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

} // namespace

QString RuntimeFolder::Path(QString* refusal) {
    QString fromEnvironment = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!fromEnvironment.isEmpty() && QDir(fromEnvironment).exists())
        return fromEnvironment;
    const QString uid = QString::number(::getuid());
    QString perUser = QStringLiteral("/run/user/") + uid;
    if (isOwnFolder(perUser))
        return perUser;
    QString fallback = QDir::temp().filePath(QStringLiteral("runtime-pocketlane-") + uid);
    const QString why = privateFolderRefusal(fallback);
    if (why.isEmpty())
        return fallback;
    if (refusal)
        *refusal = QStringLiteral("Pocketlane cannot use the runtime folder ") + fallback +
                   QStringLiteral(": ") + why +
                   QStringLiteral(". Remove it, or set XDG_RUNTIME_DIR to a folder of your own.");
    return QString();
}

QString RuntimeFolder::FileFor(const QString& settingsFile, const QString& prefix,
                               QString* refusal) {
    const QString folder = Path(refusal);
    if (folder.isEmpty())
        return QString();
    const QFileInfo file(settingsFile);
    const QString canonicalFolder = QFileInfo(file.absolutePath()).canonicalFilePath();
    const QString path = (canonicalFolder.isEmpty() ? file.absolutePath() : canonicalFolder) +
                         u'/' + file.fileName();
    const QByteArray digest =
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QDir(folder).filePath(prefix + QString::fromLatin1(digest));
}
