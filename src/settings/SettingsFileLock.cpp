#include "settings/SettingsFileLock.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr qint64 PollIntervalMs = 10;

// flock(2), tried again when a signal interrupts it.
int lockFile(int fd, int operation) {
    int result;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

SettingsFileLock::SettingsFileLock(const QString& settingsFile,
                                   std::optional<std::chrono::milliseconds> maxWait) {
    QDir().mkpath(QFileInfo(settingsFile).absolutePath());
    const QByteArray path = QFile::encodeName(LockFilePath(settingsFile));
    m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return;
    if (maxWait ? lockWithin(*maxWait) : lockFile(m_fd, LOCK_EX) == 0)
        return;
    ::close(m_fd);
    m_fd = -1;
}

SettingsFileLock::~SettingsFileLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

// Polls, since flock(2) has no timeout of its own.
bool SettingsFileLock::lockWithin(std::chrono::milliseconds maxWait) {
    const QDeadlineTimer deadline(maxWait);
    while (lockFile(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            return false;
        if (deadline.hasExpired()) {
            m_busy = true;
            return false;
        }
        QThread::msleep(ulong(std::min(PollIntervalMs, deadline.remainingTime())));
    }
    return true;
}

QString SettingsFileLock::LockFilePath(const QString& settingsFile) {
    return settingsFile + QStringLiteral(".lock");
}
