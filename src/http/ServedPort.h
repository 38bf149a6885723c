#pragma once

#include "http/ListeningSocket.h"

#include <QString>

class EventPoller;

// The listener of the server and the choice of its port: the port asked
// for, or, when the system does not allow this user that one, the first
// free port from a fallback on; with the reason in words when neither can
// be opened.
class ServedPort {
public:
    enum class ListenResult { Listening, PortInUse, PermissionDenied, OtherFailure };

    ServedPort(EventPoller& poller, std::uint64_t pollKey, quint16 port);

    // Opens the listener and has the poller watch it. On failure,
    // Failure() and FailureMessage() say why.
    bool Open();
    void Close() { m_listener.Close(); }
    ListeningSocket& Listener() { return m_listener; }

    quint16 Asked() const { return m_port; }
    quint16 Served() const { return m_servedPort; }
    void SetPort(quint16 port);
    // The first port tried when the one asked for is not allowed; 0: none.
    void SetFallbackPort(quint16 firstPort) { m_fallbackPort = firstPort; }
    // Says why the served port is not the one asked for; empty when it is.
    QString Note() const { return m_note; }
    ListenResult Failure() const { return m_failure; }
    QString FailureMessage() const { return m_failureMessage; }

private:
    bool listenOn(quint16 port);
    bool openFallback(quint16 denied);
    void describeFailure(quint16 asked, const QString& reason);
    static ListenResult classify(QAbstractSocket::SocketError error);

    EventPoller& m_poller;
    const std::uint64_t m_pollKey;
    ListeningSocket m_listener;
    quint16 m_port;
    quint16 m_servedPort;
    quint16 m_fallbackPort = 0;
    QString m_note;
    QString m_failureMessage;
    ListenResult m_failure = ListenResult::OtherFailure;
};
