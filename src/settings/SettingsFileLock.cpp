#include "settings/SettingsFileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SettingsFileLock::SettingsFileLock(const QString& settingsFile) {
    QDir().mkpath(QFileInfo(settingsFile).absolutePath());
    const QByteArray path = QFile::encodeName(LockFilePath(settingsFile));
    m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return;
    int result;
    do {
        result = ::flock(m_fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

SettingsFileLock::~SettingsFileLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

QString SettingsFileLock::LockFilePath(const QString& settingsFile) {
    return settingsFile + QStringLiteral(".lock");
}
