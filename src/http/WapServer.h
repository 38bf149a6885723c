#pragma once

#include "http/ConnectionTable.h"
#include "http/EventPoller.h"
#include "http/RequestDispatch.h"
#include "http/ServedPort.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class StatusLog;

// The server's network front: the listener (element 0) and the connection
// elements of its table. A request travels down
// from here: a ready connection reads its bytes, the framer cuts them into
// requests, CrackHTTPPacket parses each, the request handler answers
// through the packet's response writer, and the writer hands the bytes to
// the connection. The server also closes connections that are idle and
// writes every event to the status log. Runs on the event loop's thread.
class WapServer : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 DefaultPort = 80;
    static constexpr int MaxConnectionElements = ConnectionTable::MaxElements;
    static constexpr int DefaultRequestTimeoutMs = 30 * 1000;
    // Pause before accepting again after the system refused a connection.
    static constexpr int AcceptRetryMs = 250;
    // Connections accepted per wake-up at most.
    static constexpr int AcceptBatch = 8;
    // Files sent at the same time; the site answers further downloads with
    // a deck of its own. Each client holds at most its share of them.
    static constexpr int DefaultMaxDownloads = 1000;
    // When every slot is taken, a download that has sent nothing for this
    // part of the request timeout gives its slot to another client's.
    static constexpr int DownloadStallDivisor = 6;

    using ListenResult = ServedPort::ListenResult;

    WapServer(StatusLog& log, quint16 port, QObject* parent = nullptr);
    ~WapServer() override;

    void SetRequestHandler(RequestHandler* handler) { m_dispatch.SetRequestHandler(handler); }
    // How long a connection may wait for its next complete request, or for
    // progress in sending, before it is closed.
    void SetRequestTimeout(int milliseconds);
    // Lowers the element limit (for tests of the limit).
    void SetMaxConnectionElements(int count) { m_elements.SetMaxElements(count); }
    void SetMaxDownloads(int count) { m_connections.downloads.SetMax(count); }
    int MaxDownloads() const { return m_connections.downloads.Max(); }
    // Files being sent right now.
    int ActiveDownloads() const { return m_connections.downloads.Active(); }
    // Connections open right now, and the highest element ever used.
    int OpenConnections() const { return m_elements.OpenCount(); }
    int HighestSocket() const { return m_elements.HighestIndex(); }

    // Start-up: marks the server running and opens the listener, with its
    // log lines. On failure no further line is written and the server is
    // left stopped; ListenFailureMessage() tells the owner why.
    ListenResult OpenListener();
    // The start-up line that follows the listener's opening (after the
    // network set-up that sits between the two).
    void LogListening();
    QString ListenFailureMessage() const { return m_port.FailureMessage(); }

    // The owner's stop and start. Stop closes every element and emits
    // Stopped (the site then forgets the links it handed out). Start opens
    // the listener again and reuses the elements created before; it
    // returns false (and the server stays stopped) when the port cannot be
    // taken.
    void StopServer();
    bool StartServer();
    bool IsRunning() const { return m_bRunning; }

    // The port actually served (the one asked for, the fallback port, or the
    // one the system chose when 0 was asked for).
    quint16 Port() const { return m_port.Served(); }
    // The port the next opening of the listener asks for.
    void SetPort(quint16 port) { m_port.SetPort(port); }
    // Where to serve instead when the system does not allow this user the
    // port asked for (a port below 1024): the first free port from
    // `firstPort` on. 0: no fallback, the opening fails.
    void SetFallbackPort(quint16 firstPort) { m_port.SetFallbackPort(firstPort); }
    // Says why the served port is not the one asked for; empty when it is.
    QString PortNote() const { return m_port.Note(); }

Q_SIGNALS:
    void Stopped();
    void RunningChanged(bool running);
    // The listener opened, on this port (also at a start with the icon).
    void ListenerOpened(quint16 port);

private:
    void onPollEvent(std::uint64_t key, std::uint32_t events);
    void acceptWaitingConnection();
    void onConnectionRequest(int descriptor, const QByteArray& client);
    void logSocketFailure(int index, const QString& description);
    void closeIdleConnections();
    bool dropStalledDownload(const QByteArray& client);
    void markBusy(const Connection& connection);
    bool openListener();
    void setRunning(bool running);

    StatusLog& m_log;
    bool m_bRunning = false;
    int m_requestTimeoutMs = DefaultRequestTimeoutMs;
    ConnectionPool m_connections{DownloadSlots(DefaultMaxDownloads), {}, {}};
    EventPoller m_poller;
    ServedPort m_port;
    ConnectionTable m_elements;
    RequestDispatch m_dispatch;
    QTimer m_idleSweep;
    QTimer m_acceptRetry;
};
