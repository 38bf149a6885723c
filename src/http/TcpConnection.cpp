#include "http/TcpConnection.h"

#include "http/ListeningSocket.h"

#include <QEvent>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Bytes taken from the system per read. A read that comes back shorter has
// emptied what had arrived; anything later makes the descriptor readable
// again, so no further read is needed to see the system run dry.
constexpr qint64 ReadChunkSize = 16 * 1024;

// The other end closing or resetting the connection is no fault.
bool IsRemoteClose(int systemError) {
    return systemError == 0 || systemError == ECONNRESET || systemError == EPIPE;
}

QAbstractSocket::SocketError ConnectionErrorKind(int systemError) {
    switch (systemError) {
    case ETIMEDOUT:
        return QAbstractSocket::SocketTimeoutError;
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTUNREACH:
        return QAbstractSocket::NetworkError;
    case ENOBUFS:
    case ENOMEM:
        return QAbstractSocket::SocketResourceError;
    default:
        return QAbstractSocket::UnknownSocketError;
    }
}

bool IsTransient(int systemError) {
    return systemError == EAGAIN || systemError == EWOULDBLOCK || systemError == EINTR;
}

} // namespace

TcpConnection::TcpConnection(int descriptor, QObject* parent)
    : QObject(parent)
    , m_fd(descriptor)
    , m_readNotifier(new QSocketNotifier(descriptor, QSocketNotifier::Read, this))
    , m_writeNotifier(new QSocketNotifier(descriptor, QSocketNotifier::Write, this)) {
    // The notifiers' events come here, so that the notifiers emit nothing
    // and may be deleted while their event is handled.
    m_readNotifier->installEventFilter(this);
    m_writeNotifier->installEventFilter(this);
    m_writeNotifier->setEnabled(false);
}

TcpConnection::~TcpConnection() {
    closeDescriptor();
}

quint16 TcpConnection::localPort() const {
    return LocalPortOf(m_fd);
}

// Runs action, which may emit signals; a Dispose from one of them deletes
// the connection once the outermost such action has returned.
template <typename Action> void TcpConnection::guarded(Action&& action) {
    ++m_signalDepth;
    action();
    if (--m_signalDepth == 0 && m_disposed)
        delete this;
}

bool TcpConnection::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::SockAct)
        return QObject::eventFilter(watched, event);
    const bool readable = watched == m_readNotifier;
    guarded([&] {
        if (readable)
            readWaitingBytes();
        else
            sendQueuedBytes();
    });
    return true;
}

QByteArray TcpConnection::readAll() {
    QByteArray data = std::move(m_readBuffer);
    m_readBuffer = QByteArray();
    if (m_readNotifier)
        m_readNotifier->setEnabled(true);
    return data;
}

void TcpConnection::readWaitingBytes() {
    bool arrived = false;
    int lostWith = -1;
    char chunk[ReadChunkSize];
    for (;;) {
        const qint64 room =
            m_readBufferSize > 0 ? m_readBufferSize - m_readBuffer.size() : ReadChunkSize;
        if (room <= 0) {
            // The rest waits in the system until readAll makes room.
            m_readNotifier->setEnabled(false);
            break;
        }
        const qint64 wanted = std::min(ReadChunkSize, room);
        const ssize_t received = ::read(m_fd, chunk, size_t(wanted));
        if (received > 0) {
            m_readBuffer.append(chunk, received);
            arrived = true;
            if (received < wanted)
                break;
            continue;
        }
        if (received < 0 && IsTransient(errno)) {
            if (errno == EINTR)
                continue;
            break;
        }
        lostWith = received == 0 ? 0 : errno;
        break;
    }
    if (arrived) {
        Q_EMIT readyRead();
        if (m_disposed || m_fd < 0)
            return;
    }
    if (lostWith >= 0)
        connectionLost(lostWith);
}

qint64 TcpConnection::sendNow(const char* data, qint64 size, int& systemError) {
    for (;;) {
        const ssize_t sent = ::send(m_fd, data, size_t(size), MSG_NOSIGNAL);
        if (sent >= 0)
            return sent;
        if (errno != EINTR) {
            systemError = IsTransient(errno) ? 0 : errno;
            return 0;
        }
    }
}

qint64 TcpConnection::write(const QByteArray& data) {
    if (m_fd < 0)
        return -1;
    qint64 sent = 0;
    if (m_writeQueue.isEmpty() && !data.isEmpty()) {
        // A failure shows again when the queued rest is sent from the event
        // loop; reported there, it does not reach the writer in the middle
        // of its work.
        int systemError = 0;
        sent = sendNow(data.constData(), data.size(), systemError);
    }
    if (sent < data.size()) {
        m_writeQueue.append(sent == 0 ? data : data.sliced(sent));
        m_bytesToWrite += data.size() - sent;
        m_writeNotifier->setEnabled(true);
    }
    return sent;
}

void TcpConnection::sendQueuedBytes() {
    qint64 sentNow = 0;
    int systemError = 0;
    while (!m_writeQueue.isEmpty()) {
        const QByteArray& first = m_writeQueue.constFirst();
        const qint64 size = first.size() - m_sentOfFirst;
        const qint64 sent = sendNow(first.constData() + m_sentOfFirst, size, systemError);
        sentNow += sent;
        m_bytesToWrite -= sent;
        if (sent < size) {
            m_sentOfFirst += sent;
            break;
        }
        m_writeQueue.removeFirst();
        m_sentOfFirst = 0;
    }
    if (systemError != 0) {
        connectionLost(systemError);
        return;
    }
    if (sentNow > 0) {
        Q_EMIT bytesWritten(sentNow);
        if (m_disposed || m_fd < 0)
            return;
    }
    if (!m_writeQueue.isEmpty())
        return;
    m_writeNotifier->setEnabled(false);
    if (m_state == State::Closing)
        closeAndReport();
}

void TcpConnection::connectionLost(int systemError) {
    if (!IsRemoteClose(systemError)) {
        m_errorString = QString::fromLocal8Bit(std::strerror(systemError));
        Q_EMIT errorOccurred(ConnectionErrorKind(systemError));
        if (m_disposed || m_fd < 0)
            return;
    }
    closeAndReport();
}

void TcpConnection::disconnectFromHost() {
    if (m_fd < 0)
        return;
    m_state = State::Closing;
    if (m_bytesToWrite == 0)
        guarded([this] { closeAndReport(); });
}

void TcpConnection::closeAndReport() {
    closeDescriptor();
    Q_EMIT disconnected();
}

void TcpConnection::abort() {
    closeDescriptor();
}

void TcpConnection::Dispose() {
    if (m_signalDepth == 0) {
        delete this;
        return;
    }
    abort();
    m_disposed = true;
}

void TcpConnection::closeDescriptor() {
    // The notifiers may be in the middle of delivering their event here;
    // they emit nothing, so deleting them is safe.
    delete m_readNotifier;
    delete m_writeNotifier;
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_state = State::Unconnected;
    m_writeQueue.clear();
    m_sentOfFirst = 0;
    m_bytesToWrite = 0;
}
