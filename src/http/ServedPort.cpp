#include "http/ServedPort.h"

#include "http/EventPoller.h"
#include "http/ServerMessages.h"

#include <algorithm>

#include <sys/epoll.h>

ServedPort::ServedPort(EventPoller& poller, std::uint64_t pollKey, quint16 port)
    : m_poller(poller)
    , m_pollKey(pollKey)
    , m_port(port)
    , m_servedPort(port) {}

void ServedPort::SetPort(quint16 port) {
    m_port = port;
    m_servedPort = port;
}

bool ServedPort::Open() {
    // Once served, a port the system chose is taken again after a stop.
    const quint16 asked = m_port != 0 ? m_port : m_servedPort;
    if (listenOn(asked)) {
        m_note.clear();
        return true;
    }
    m_failure = classify(m_listener.Error());
    const QString reason = m_listener.ErrorString();
    if (m_failure == ListenResult::PermissionDenied && openFallback(asked))
        return true;
    describeFailure(asked, reason);
    return false;
}

bool ServedPort::listenOn(quint16 port) {
    if (m_listener.Listen(port) && m_poller.Watch(m_listener.Descriptor(), m_pollKey, EPOLLIN)) {
        m_servedPort = m_listener.Port();
        m_failureMessage.clear();
        return true;
    }
    m_listener.Close();
    return false;
}

// A user who may not take the port asked for still serves: on the first free
// port from the fallback on, which the router's forward of port 80 reaches
// all the same.
bool ServedPort::openFallback(quint16 denied) {
    constexpr int PortsTried = 100;
    if (m_fallbackPort == 0)
        return false;
    const int last = std::min(int(m_fallbackPort) + PortsTried - 1, 65535);
    for (int port = m_fallbackPort; port <= last; ++port) {
        if (listenOn(quint16(port))) {
            m_note = ServerMessages::ServingOnFallbackPort(denied, m_servedPort);
            return true;
        }
        if (classify(m_listener.Error()) != ListenResult::PortInUse)
            return false;
    }
    return false;
}

void ServedPort::describeFailure(quint16 asked, const QString& reason) {
    switch (m_failure) {
    case ListenResult::PortInUse:
        m_failureMessage = ServerMessages::PortInUse(asked);
        break;
    case ListenResult::PermissionDenied:
        m_failureMessage = ServerMessages::PortNotAllowed(asked);
        break;
    default:
        m_failureMessage = ServerMessages::PortNotOpened(asked, reason);
    }
}

ServedPort::ListenResult ServedPort::classify(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return ListenResult::PortInUse;
    case QAbstractSocket::SocketAccessError:
        return ListenResult::PermissionDenied;
    default:
        return ListenResult::OtherFailure;
    }
}
