#include "app/SingleInstanceLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

// $XDG_RUNTIME_DIR, else the user's own folder in /run/user, else a private
// folder in the temporary folder (where Qt would put its runtime location,
// but without Qt's warning on stderr: a second instance ends silently).
QString UserRuntimeFolder() {
    const QString fromEnvironment = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!fromEnvironment.isEmpty() && QDir(fromEnvironment).exists())
        return fromEnvironment;
    const QString uid = QString::number(::getuid());
    const QString perUser = QStringLiteral("/run/user/") + uid;
    if (QFileInfo(perUser).isWritable())
        return perUser;
    const QString fallback = QDir::temp().filePath(QStringLiteral("runtime-pocketlane-") + uid);
    if (QDir().mkpath(fallback))
        QFile::setPermissions(fallback, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return fallback;
}

SingleInstanceLock::SingleInstanceLock()
    : m_path(QDir(UserRuntimeFolder()).filePath(QStringLiteral("pocketlane.lock")))
    , m_lock(std::make_unique<QLockFile>(m_path)) {
    // A running instance holds its lock for as long as it runs, however
    // old the lock file is; only a lock whose process is gone is stale.
    m_lock->setStaleLockTime(0);
}

bool SingleInstanceLock::TryLock() {
    return m_lock->tryLock(0);
}
