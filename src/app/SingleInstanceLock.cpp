#include "app/SingleInstanceLock.h"

#include <QDir>
#include <QStandardPaths>

namespace {

QString RuntimeFolder() {
    const QString fromEnvironment = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!fromEnvironment.isEmpty() && QDir(fromEnvironment).exists())
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

} // namespace

SingleInstanceLock::SingleInstanceLock()
    : m_path(QDir(RuntimeFolder()).filePath(QStringLiteral("pocketlane.lock")))
    , m_lock(std::make_unique<QLockFile>(m_path)) {
    // A running instance holds its lock for as long as it runs, however
    // old the lock file is; only a lock whose process is gone is stale.
    m_lock->setStaleLockTime(0);
}

bool SingleInstanceLock::TryLock() {
    return m_lock->tryLock(0);
}
