#include "app/SingleInstanceLock.h"

#include "app/RuntimeFolder.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SingleInstanceLock::SingleInstanceLock(const QString& settingsFile) {
    m_path = RuntimeFolder::FileFor(settingsFile, QStringLiteral("pocketlane-"), &m_refusal);
    if (!m_path.isEmpty())
        m_path += QStringLiteral(".lock");
}

SingleInstanceLock::~SingleInstanceLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

SingleInstanceLock::Outcome SingleInstanceLock::TryLock() {
    if (m_path.isEmpty())
        return Outcome::Refused;
    const QByteArray native = QFile::encodeName(m_path);
    m_fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        m_refusal = QStringLiteral("Pocketlane cannot open its lock file ") + m_path +
                    QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return Outcome::Refused;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return Outcome::HeldByAnother;
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    // The number only names the holder to a second start; without it the
    // lock holds all the same.
    if (::ftruncate(m_fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written =
            ::pwrite(m_fd, pid.constData(), size_t(pid.size()), 0);
    }
    return Outcome::Locked;
}

qint64 SingleInstanceLock::HolderProcess() const {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.read(32).trimmed().toLongLong();
}
