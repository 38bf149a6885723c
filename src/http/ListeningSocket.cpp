#include "http/ListeningSocket.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Connections the system may queue while the program is busy: with a
// small backlog, a burst of phones turns into refused connections and
// second-long retries.
constexpr int ListenBacklog = 1024;

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

} // namespace

ListeningSocket::ListeningSocket(std::function<void(qintptr)> onConnection,
                                 std::function<void()> onAcceptFailure, QObject* parent)
    : QObject(parent)
    , m_onConnection(std::move(onConnection))
    , m_onAcceptFailure(std::move(onAcceptFailure)) {}

ListeningSocket::~ListeningSocket() {
    Close();
}

void ListeningSocket::ResumeAccepting() {
    if (m_notifier)
        m_notifier->setEnabled(true);
}

bool ListeningSocket::openSocket() {
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
bool ListeningSocket::bindAnyAddress(quint16 port) {
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

bool ListeningSocket::Listen(quint16 port) {
    if (!openSocket()) {
        fail(QAbstractSocket::SocketResourceError, errno);
        return false;
    }
    const int on = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (!bindAnyAddress(port) || ::listen(m_fd, ListenBacklog) != 0) {
        const int systemError = errno;
        fail(ListenErrorKind(systemError), systemError);
        Close();
        return false;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this,
            &ListeningSocket::acceptWaitingConnection);
    return true;
}

void ListeningSocket::fail(QAbstractSocket::SocketError error, int systemError) {
    m_error = error;
    m_errorString = QString::fromLocal8Bit(std::strerror(systemError));
}

void ListeningSocket::Close() {
    // Close may run inside the notifier's own signal.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
    }
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

quint16 ListeningSocket::Port() const {
    return LocalPortOf(m_fd);
}

quint16 LocalPortOf(int descriptor) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (descriptor < 0 ||
        ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

// One connection per wake-up: a flood of new connections does not hold up
// the ones already served, and no further attempt is wasted on an empty
// queue, as connections still queued make the socket readable again at once.
void ListeningSocket::acceptWaitingConnection() {
    const int descriptor = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (descriptor >= 0) {
        m_onConnection(descriptor);
        return;
    }
    const int systemError = errno;
    if (systemError == EAGAIN || systemError == EWOULDBLOCK || systemError == EINTR ||
        systemError == ECONNABORTED)
        return;
    // Out of descriptors or memory: pause until the owner resumes.
    m_notifier->setEnabled(false);
    fail(QAbstractSocket::SocketResourceError, systemError);
    m_onAcceptFailure();
}
