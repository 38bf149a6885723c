#include "http/Connection.h"

#include "http/EventPoller.h"
#include "http/ListeningSocket.h"
#include "http/ServerMessages.h"

#include <cerrno>
#include <cstring>
#include <sys/epoll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Bytes taken from the system per read. A read that comes back shorter has
// emptied what had arrived; anything later makes the descriptor readable
// again, so no further read is needed to see the system run dry.
constexpr qsizetype ReadChunkSize = qsizetype{16} * 1024;
// Bytes handed to sendfile per call: large enough to fill a socket buffer.
constexpr qint64 FileChunkSize = qint64{1024} * 1024;
// Bytes sent per wake-up at most, so that a fast reader of a large file does
// not hold up everyone else; the rest goes on the next wake-up.
constexpr qint64 SendBudget = 4 * FileChunkSize;

constexpr std::uint32_t Readable = EPOLLIN;
constexpr std::uint32_t Writable = EPOLLOUT;

bool IsTransient(int systemError) {
    return systemError == EAGAIN || systemError == EWOULDBLOCK || systemError == EINTR;
}

} // namespace

Connection::Connection(int index, EventPoller& poller, ConnectionPool& pool)
    : m_index(index)
    , m_poller(poller)
    , m_pool(pool) {}

// The pool is going away too: files are closed without telling it.
Connection::~Connection() {
    for (const Piece& piece : m_queue) {
        if (piece.fileFd >= 0)
            ::close(piece.fileFd);
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

quint16 Connection::LocalPort() const {
    return LocalPortOf(m_fd);
}

void Connection::Open(int descriptor, const QByteArray& client) {
    ++m_generation;
    m_fd = descriptor;
    m_polled = false;
    m_closeWhenSent = false;
    m_watchingWrites = false;
    m_readingPaused = false;
    m_holdingRequests = false;
    m_errorString.clear();
    m_framer.Reset();
    m_client = client;
}

bool Connection::WatchReadiness() {
    return m_fd >= 0 && (m_polled || pollFor(watchedEvents()));
}

std::uint32_t Connection::watchedEvents() const {
    return (m_readingPaused ? 0u : Readable) | (m_watchingWrites ? Writable : 0u);
}

// The first call registers the descriptor with the poller, later ones
// change what it waits for. Until then nothing is registered: a request
// answered at once costs no registration, and its close no removal.
bool Connection::pollFor(std::uint32_t events) {
    if (m_polled)
        return m_poller.Change(m_fd, PollKey(), events);
    m_polled = m_poller.Watch(m_fd, PollKey(), events);
    return m_polled;
}

Connection::ReadOutcome Connection::ReadWaiting() {
    ReadOutcome outcome = ReadOutcome::Nothing;
    char chunk[ReadChunkSize];
    while (m_fd >= 0) {
        const qsizetype room = ReadBufferSize - m_framer.Buffered();
        if (room <= 0) {
            // The rest waits in the system until the framer has room again.
            m_readingPaused = true;
            pollFor(watchedEvents());
            break;
        }
        const qsizetype wanted = std::min(ReadChunkSize, room);
        const ssize_t received = ::read(m_fd, chunk, size_t(wanted));
        if (received > 0) {
            m_framer.Append(chunk, received);
            outcome = ReadOutcome::Arrived;
            if (received < wanted)
                break;
            continue;
        }
        if (received < 0 && errno == EINTR)
            continue;
        if (received < 0 && IsTransient(errno))
            break;
        if (received < 0 && errno != ECONNRESET)
            m_errorString = QString::fromLocal8Bit(std::strerror(errno));
        // The bytes that came before the end are still served.
        return outcome == ReadOutcome::Arrived ? outcome
               : m_errorString.isEmpty()       ? ReadOutcome::PeerClosed
                                               : ReadOutcome::Failed;
    }
    return outcome;
}

void Connection::StopReading() {
    if (m_fd < 0 || m_readingPaused)
        return;
    m_readingPaused = true;
    pollFor(watchedEvents());
}

bool Connection::Write(const QByteArray& data, bool moreFollows) {
    if (m_fd < 0)
        return false;
    if (data.isEmpty())
        return true;
    qsizetype sent = 0;
    if (m_queue.empty()) {
        const ssize_t result = ::send(m_fd, data.constData(), size_t(data.size()),
                                      MSG_NOSIGNAL | (moreFollows ? MSG_MORE : 0));
        // A failure shows again when the rest is sent on write readiness;
        // reported there, it does not reach the writer in the middle of its
        // work.
        sent = result > 0 ? result : 0;
    }
    if (sent < data.size()) {
        m_queue.push_back(Piece{data, sent});
        m_bytesToWrite += data.size() - sent;
        watchWrites(true);
    }
    return true;
}

bool Connection::SendFile(int fileFd, qint64 offset, qint64 length) {
    if (m_fd < 0) {
        ::close(fileFd);
        return false;
    }
    m_queue.push_back(Piece{{}, 0, fileFd, offset, length});
    m_bytesToWrite += length;
    m_pool.downloads.Take(m_client);
    ++m_downloading;
    watchWrites(true);
    return true;
}

void Connection::SendQueued() {
    if (!sendPieces())
        return;
    if (!m_queue.empty())
        return;
    watchWrites(false);
    reportDrained();
    if (m_fd >= 0 && m_closeWhenSent)
        Close();
}

bool Connection::sendPieces() {
    const qint64 budgetEnd = m_bytesToWrite - SendBudget;
    while (!m_queue.empty() && m_fd >= 0 && m_bytesToWrite > budgetEnd) {
        Piece& piece = m_queue.front();
        if (!sendPiece(piece))
            return false;
        const bool done =
            piece.fileFd >= 0 ? piece.fileLeft == 0 : piece.sent == piece.bytes.size();
        if (!done)
            return true;
        dropPiece(piece);
        m_queue.pop_front();
    }
    return m_fd >= 0;
}

// Sends as much of the piece as the system takes now; false when the
// connection failed (and is closed).
bool Connection::sendPiece(Piece& piece) {
    for (;;) {
        ssize_t sent;
        if (piece.fileFd >= 0) {
            off_t offset = piece.fileOffset;
            sent = ::sendfile(m_fd, piece.fileFd, &offset,
                              size_t(std::min(piece.fileLeft, FileChunkSize)));
            if (sent == 0) {
                // The file shrank: the announced length can no longer be kept.
                m_errorString = ServerMessages::FileEndedEarly();
                Close();
                return false;
            }
            if (sent > 0) {
                piece.fileOffset += sent;
                piece.fileLeft -= sent;
            }
        } else {
            sent = ::send(m_fd, piece.bytes.constData() + piece.sent,
                          size_t(piece.bytes.size() - piece.sent), MSG_NOSIGNAL);
            if (sent > 0)
                piece.sent += sent;
        }
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            if (IsTransient(errno))
                return true;
            fail(errno);
            return false;
        }
        m_bytesToWrite -= sent;
        const bool pieceDone =
            piece.fileFd >= 0 ? piece.fileLeft == 0 : piece.sent == piece.bytes.size();
        if (pieceDone || piece.fileFd < 0)
            return true;
    }
}

void Connection::dropPiece(Piece& piece) {
    if (piece.fileFd < 0)
        return;
    ::close(piece.fileFd);
    piece.fileFd = -1;
    m_pool.downloads.GiveBack(m_client);
    --m_downloading;
}

bool Connection::DownloadSlotAvailable() {
    const DownloadSlots& slots = m_pool.downloads;
    if (m_fd < 0 || !slots.WithinShare(m_client))
        return false;
    return !slots.Full() || (m_pool.freeSlotFor && m_pool.freeSlotFor(m_client));
}

void Connection::fail(int systemError) {
    if (systemError != ECONNRESET && systemError != EPIPE)
        m_errorString = QString::fromLocal8Bit(std::strerror(systemError));
    Close();
}

void Connection::ReleaseRequests() {
    if (std::exchange(m_holdingRequests, false))
        watchWrites(true);
}

void Connection::CloseAfterSending() {
    if (m_fd < 0)
        return;
    m_closeWhenSent = true;
    if (!m_queue.empty())
        return;
    // The end leaves with the bytes held back (written with moreFollows), in
    // one segment when they fit; sent by the shutdown, they leave even when
    // unread bytes from the other end make the close a reset.
    ::shutdown(m_fd, SHUT_WR);
    Close();
}

void Connection::WhenDrained(std::function<void()> done) {
    m_drainWaiters.push_back(std::move(done));
}

void Connection::reportDrained() {
    for (auto& waiter : std::exchange(m_drainWaiters, {}))
        waiter();
}

void Connection::watchWrites(bool on) {
    if (m_fd < 0 || m_watchingWrites == on)
        return;
    m_watchingWrites = on;
    // Reading resumes with the drain: the framer's bytes are served then.
    if (!on)
        m_readingPaused = false;
    pollFor(watchedEvents());
}

void Connection::Close() {
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    m_bytesToWrite = 0;
    for (Piece& piece : m_queue)
        dropPiece(piece);
    m_queue.clear();
    m_framer.Reset();
    reportDrained();
    m_pool.onClosed(*this);
}
