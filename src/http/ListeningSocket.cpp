#include "http/ListeningSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Connections the system may queue while the program is busy: with a
// small backlog, a burst of phones turns into refused connections and
// second-long retries.
constexpr int ListenBacklog = 1024;
// How long the system holds a connection that has sent nothing yet.
constexpr int DeferAcceptSeconds = 1;

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

ListeningSocket::~ListeningSocket() {
    Close();
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
    // A connection is handed over once its request has arrived: answered
    // within one wake-up, it never needs to wait with the poller. One that
    // sends nothing is handed over after a second all the same.
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &DeferAcceptSeconds,
                 sizeof DeferAcceptSeconds);
    if (!bindAnyAddress(port) || ::listen(m_fd, ListenBacklog) != 0) {
        const int systemError = errno;
        fail(ListenErrorKind(systemError), systemError);
        Close();
        return false;
    }
    return true;
}

void ListeningSocket::fail(QAbstractSocket::SocketError error, int systemError) {
    m_error = error;
    m_errorString = QString::fromLocal8Bit(std::strerror(systemError));
}

void ListeningSocket::Close() {
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

namespace {

QByteArray ClientAddressFrom(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        const auto& ipv4 = reinterpret_cast<const sockaddr_in*>(&address)->sin_addr;
        return QByteArray(reinterpret_cast<const char*>(&ipv4), 4);
    }
    if (address.ss_family != AF_INET6)
        return {};
    const auto& ipv6 = reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr;
    const char* bytes = reinterpret_cast<const char*>(ipv6.s6_addr);
    return IN6_IS_ADDR_V4MAPPED(&ipv6) ? QByteArray(bytes + 12, 4) : QByteArray(bytes, 8);
}

} // namespace

ListeningSocket::Accepted ListeningSocket::Accept() {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int descriptor = ::accept4(m_fd, reinterpret_cast<sockaddr*>(&address), &length,
                                     SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (descriptor >= 0)
        return {AcceptOutcome::Accepted, descriptor, ClientAddressFrom(address)};
    const int systemError = errno;
    if (systemError == EAGAIN || systemError == EWOULDBLOCK || systemError == EINTR ||
        systemError == ECONNABORTED)
        return {};
    // Out of descriptors or memory.
    fail(QAbstractSocket::SocketResourceError, systemError);
    return {AcceptOutcome::Failed, -1, {}};
}
