#include "server/SocketElement.h"

#include "server/PrimaryAddress.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Connections the system may queue while the program is busy: with a
// small backlog, a burst of phones turns into refused connections and
// second-long retries.
constexpr int ListenBacklog = 1024;

} // namespace

// The listening socket of an element, on the system's socket calls so that
// a failed accept is seen: when no descriptor is left, accepting pauses
// (the element's owner resumes it later) instead of retrying at once in a
// busy loop. Each accepted descriptor goes to the element.
class ListeningServer : public QObject {
public:
    explicit ListeningServer(SocketElement& element)
        : QObject(&element)
        , m_element(element) {}
    ~ListeningServer() override { close(); }

    bool listen(quint16 port);
    void close();
    quint16 port() const;
    void resumeAccepting() {
        if (m_notifier)
            m_notifier->setEnabled(true);
    }
    QAbstractSocket::SocketError error() const { return m_error; }
    QString errorString() const { return m_errorString; }

private:
    bool openSocket();
    bool bindAnyAddress(quint16 port);
    void fail(QAbstractSocket::SocketError error, int systemError);
    void acceptWaitingConnections();

    SocketElement& m_element;
    int m_fd = -1;
    int m_family = AF_INET6;
    QSocketNotifier* m_notifier = nullptr;
    QAbstractSocket::SocketError m_error = QAbstractSocket::UnknownSocketError;
    QString m_errorString;
};

bool ListeningServer::openSocket() {
    // One socket for IPv6 and IPv4 where the system has IPv6.
    m_fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd >= 0) {
        const int off = 0;
        ::setsockopt(m_fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        m_family = AF_INET6;
        return true;
    }
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    m_family = AF_INET;
    return m_fd >= 0;
}

// Binds the socket to every address of the PC at the port.
bool ListeningServer::bindAnyAddress(quint16 port) {
    if (m_family == AF_INET6) {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_any;
        address.sin6_port = htons(port);
        return ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    return ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

QAbstractSocket::SocketError ListenErrorKind(int systemError) {
    switch (systemError) {
    case EADDRINUSE:
        return QAbstractSocket::AddressInUseError;
    case EACCES:
    case EPERM:
        return QAbstractSocket::SocketAccessError;
    default:
        return QAbstractSocket::UnknownSocketError;
    }
}

bool ListeningServer::listen(quint16 port) {
    if (!openSocket()) {
        fail(QAbstractSocket::SocketResourceError, errno);
        return false;
    }
    const int on = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (!bindAnyAddress(port) || ::listen(m_fd, ListenBacklog) != 0) {
        const int systemError = errno;
        fail(ListenErrorKind(systemError), systemError);
        close();
        return false;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this,
            &ListeningServer::acceptWaitingConnections);
    return true;
}

void ListeningServer::fail(QAbstractSocket::SocketError error, int systemError) {
    m_error = error;
    m_errorString = QString::fromLocal8Bit(std::strerror(systemError));
}

void ListeningServer::close() {
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

quint16 ListeningServer::port() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

void ListeningServer::acceptWaitingConnections() {
    QPointer<ListeningServer> alive(this);
    while (alive && m_fd >= 0) {
        const int descriptor = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (descriptor >= 0) {
            m_element.offerConnection(descriptor);
            continue;
        }
        const int systemError = errno;
        if (systemError == EAGAIN || systemError == EWOULDBLOCK || systemError == EINTR ||
            systemError == ECONNABORTED)
            return;
        // Out of descriptors or memory: pause until the owner resumes.
        m_notifier->setEnabled(false);
        fail(QAbstractSocket::SocketResourceError, systemError);
        m_element.onAcceptError();
        return;
    }
}

qint64 SocketElement::MonotonicNow() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

SocketElement::SocketElement(int index, SocketElementArray& array)
    : QObject(&array)
    , m_index(index)
    , m_array(array) {}

SocketElement::~SocketElement() {
    releaseSocket();
}

quint16 SocketElement::LocalPort() const {
    if (m_listener)
        return m_listener->port();
    if (m_socket)
        return m_socket->localPort();
    return m_localPort;
}

bool SocketElement::Listen() {
    Close();
    m_listener = new ListeningServer(*this);
    if (!m_listener->listen(m_localPort)) {
        m_listenError = m_listener->error();
        m_listenErrorString = m_listener->errorString();
        delete m_listener;
        m_listener = nullptr;
        return false;
    }
    m_state = SocketState::Listening;
    return true;
}

void SocketElement::ResumeAccepting() {
    if (m_listener)
        m_listener->resumeAccepting();
}

void SocketElement::offerConnection(qintptr descriptor) {
    m_array.raiseConnectionRequest(m_index, descriptor);
}

void SocketElement::onAcceptError() {
    Q_EMIT m_array.Error(m_index, int(m_listener->error()), m_listener->errorString());
}

bool SocketElement::Accept(qintptr requestId) {
    if (m_state != SocketState::Closed || !m_array.takeOfferedConnection(requestId))
        return false;
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(requestId)) {
        ::close(int(requestId));
        delete socket;
        return false;
    }
    socket->setReadBufferSize(ReadBufferSize);
    connect(socket, &QTcpSocket::readyRead, this, &SocketElement::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &SocketElement::onBytesWritten);
    connect(socket, &QTcpSocket::errorOccurred, this, &SocketElement::onSocketError);
    connect(socket, &QTcpSocket::disconnected, this, &SocketElement::onDisconnected);
    m_socket = socket;
    m_state = SocketState::Connected;
    m_closeWhenSent = false;
    m_lastActivity = MonotonicNow();
    return true;
}

qint64 SocketElement::BytesWaiting() const {
    return m_socket ? m_socket->bytesAvailable() : 0;
}

QByteArray SocketElement::GetData() {
    return m_socket ? m_socket->readAll() : QByteArray();
}

bool SocketElement::SendData(const QByteArray& data) {
    if (m_state != SocketState::Connected || !m_socket)
        return false;
    m_socket->write(data);
    return true;
}

bool SocketElement::SendStream(std::unique_ptr<ResponseStream> stream) {
    if (m_state != SocketState::Connected || !m_socket || m_stream)
        return false;
    m_stream = std::move(stream);
    pumpStream();
    return true;
}

qint64 SocketElement::PendingWriteBytes() const {
    return m_socket ? m_socket->bytesToWrite() : 0;
}

void SocketElement::CloseAfterSending() {
    if (m_state != SocketState::Connected || !m_socket)
        return;
    m_closeWhenSent = true;
    m_state = SocketState::Closing;
    if (!m_stream)
        m_socket->disconnectFromHost();
}

void SocketElement::Close() {
    releaseSocket();
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
    }
    m_state = SocketState::Closed;
}

QString SocketElement::LocalIP() const {
    return PrimaryIPv4Address();
}

void SocketElement::onReadyRead() {
    if (m_state == SocketState::Connected)
        Q_EMIT m_array.DataArrival(m_index, m_socket->bytesAvailable());
}

void SocketElement::onBytesWritten() {
    m_lastActivity = MonotonicNow();
    pumpStream();
}

void SocketElement::onSocketError(QAbstractSocket::SocketError error) {
    // The other end closing is no fault: the disconnect that follows once
    // the queued bytes are written raises the Close event.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    m_stream.reset();
    m_state = SocketState::Error;
    Q_EMIT m_array.Error(m_index, int(error), m_socket ? m_socket->errorString() : QString());
}

void SocketElement::onDisconnected() {
    m_stream.reset();
    if (m_closeWhenSent) {
        Close();
        return;
    }
    m_state = SocketState::Closing;
    Q_EMIT m_array.Close(m_index);
}

void SocketElement::pumpStream() {
    if (m_pumping)
        return;
    m_pumping = true;
    while (m_stream && m_socket && m_socket->bytesToWrite() < StreamLowWater) {
        if (m_stream->AtEnd()) {
            endStream();
            break;
        }
        QByteArray chunk;
        QString failure;
        try {
            chunk = m_stream->ReadChunk(StreamChunkSize);
        } catch (const std::exception& error) {
            failure = QString::fromLocal8Bit(error.what());
        }
        if (!failure.isEmpty() || (chunk.isEmpty() && !m_stream->AtEnd())) {
            failStream(failure);
            break;
        }
        m_socket->write(chunk);
    }
    m_pumping = false;
}

void SocketElement::endStream() {
    m_stream.reset();
    if (m_closeWhenSent && m_socket)
        m_socket->disconnectFromHost();
    QMetaObject::invokeMethod(
        &m_array, [array = &m_array, index = m_index] { Q_EMIT array->StreamFinished(index); },
        Qt::QueuedConnection);
}

void SocketElement::failStream(const QString& failure) {
    const QString reason = failure.isEmpty() ? m_stream->ErrorString() : failure;
    m_stream.reset();
    m_state = SocketState::Error;
    Q_EMIT m_array.Error(m_index, int(QAbstractSocket::UnknownSocketError),
                         reason.isEmpty() ? QStringLiteral("The streamed answer failed") : reason);
}

void SocketElement::releaseSocket() {
    m_stream.reset();
    if (!m_socket)
        return;
    QTcpSocket* socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

SocketElementArray::SocketElementArray(QObject* parent)
    : QObject(parent) {
    CreateElement(0);
}

SocketElementArray::~SocketElementArray() = default;

SocketElement& SocketElementArray::CreateElement(int index) {
    Q_ASSERT(index == m_elements.size());
    m_elements.append(new SocketElement(index, *this));
    return *m_elements.constLast();
}

void SocketElementArray::raiseConnectionRequest(int index, qintptr descriptor) {
    m_offeredConnection = descriptor;
    Q_EMIT ConnectionRequest(index, descriptor);
    if (m_offeredConnection == descriptor)
        ::close(int(descriptor));
    m_offeredConnection = -1;
}

bool SocketElementArray::takeOfferedConnection(qintptr requestId) {
    if (requestId < 0 || requestId != m_offeredConnection)
        return false;
    m_offeredConnection = -1;
    return true;
}
