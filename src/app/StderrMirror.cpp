#include "app/StderrMirror.h"

#include "base/StatusLog.h"

#include <QAbstractEventDispatcher>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Lines gathered before they are written without waiting for the loop.
constexpr qsizetype FlushBytes = qsizetype(64) * 1024;

// True when stderr is the journal's stream, which systemd announces as
// JOURNAL_STREAM=<device>:<inode> of the stream it gave the service.
bool StderrIsJournal() {
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    struct stat status {};
    if (stream.isEmpty() || fstat(STDERR_FILENO, &status) != 0)
        return false;
    return stream == QByteArray::number(quint64(status.st_dev)) + ':' +
                         QByteArray::number(quint64(status.st_ino));
}

// The journal's priority of a status-log level: error, notice, debug.
QByteArrayView JournalPrefix(int level) {
    return level == LogError ? "<3>" : level == LogNotice ? "<5>" : "<7>";
}

} // namespace

StderrMirror::StderrMirror(StatusLog& log)
    : m_journal(StderrIsJournal()) {
    connect(&log, &StatusLog::lineAdded, this, [this](const StatusLog::Line& line) { add(line); });
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &StderrMirror::Flush);
}

StderrMirror::~StderrMirror() {
    Flush();
}

void StderrMirror::add(const StatusLog::Line& line) {
    if (m_journal)
        m_pending.append(JournalPrefix(line.level));
    StatusLog::appendLineUtf8(m_pending, line);
    m_pending.append('\n');
    if (m_pending.size() >= FlushBytes)
        Flush();
}

void StderrMirror::Flush() {
    qsizetype written = 0;
    while (written < m_pending.size()) {
        const ssize_t result = ::write(STDERR_FILENO, m_pending.constData() + written,
                                       size_t(m_pending.size() - written));
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            break; // stderr is gone: the lines cannot be told anywhere
        written += result;
    }
    // Emptied, its memory kept for the next pass's lines unless a burst of
    // long lines made it large.
    if (m_pending.capacity() <= 2 * FlushBytes)
        m_pending.resize(0);
    else
        m_pending.clear();
}
