#pragma once

#include "http/Connection.h"
#include "http/EventPoller.h"
#include "http/ListeningSocket.h"

#include <QAbstractSocket>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <queue>
#include <vector>

class RequestHandler;
class StatusLog;

// The server's network front: the listener (element 0 of g_Winsock) and
// the connection elements 1 to m_lHighestSocket. A request travels down
// from here: a ready connection reads its bytes, the framer cuts them into
// requests, CrackHTTPPacket parses each, the request handler answers
// through the packet's response writer, and the writer hands the bytes to
// the connection. The server also closes connections that are idle and
// writes every event to the status log. Runs on the event loop's thread.
class WapServer : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 DefaultPort = 80;
    // Elements are addressed with a 16-bit index.
    static constexpr int MaxConnectionElements = 32767;
    static constexpr int DefaultRequestTimeoutMs = 30 * 1000;
    // Pause before accepting again after the system refused a connection.
    static constexpr int AcceptRetryMs = 250;
    // Files sent at the same time; the site answers further downloads with
    // a deck of its own. Each client holds at most its share of them.
    static constexpr int DefaultMaxDownloads = 1000;
    // When every slot is taken, a download that has sent nothing for this
    // part of the request timeout gives its slot to another client's.
    static constexpr int DownloadStallDivisor = 6;

    enum class ListenResult { Listening, PortInUse, PermissionDenied, OtherFailure };

    WapServer(StatusLog& log, quint16 port, QObject* parent = nullptr);
    ~WapServer() override;

    void SetRequestHandler(RequestHandler* handler) { m_handler = handler; }
    // How long a connection may wait for its next complete request, or for
    // progress in sending, before it is closed.
    void SetRequestTimeout(int milliseconds);
    // Lowers the element limit (for tests of the limit).
    void SetMaxConnectionElements(int count) { m_maxElements = count; }
    void SetMaxDownloads(int count) { m_connections.downloads.SetMax(count); }
    int MaxDownloads() const { return m_connections.downloads.Max(); }
    // Files being sent right now.
    int ActiveDownloads() const { return m_connections.downloads.Active(); }
    // Connections open right now, and the highest element ever used.
    int OpenConnections() const { return m_openConnections; }
    int HighestSocket() const { return m_lHighestSocket; }

    // Start-up: marks the server running and opens the listener, with its
    // log lines. On failure no further line is written and the server is
    // left stopped; ListenFailureMessage() tells the owner why.
    ListenResult OpenListener();
    // The start-up line that follows the listener's opening (after the
    // network set-up that sits between the two).
    void LogListening();
    QString ListenFailureMessage() const { return m_listenFailureMessage; }

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
    quint16 Port() const { return m_servedPort; }
    // The port the next opening of the listener asks for.
    void SetPort(quint16 port);
    // Where to serve instead when the system does not allow this user the
    // port asked for (a port below 1024): the first free port from
    // `firstPort` on. 0: no fallback, the opening fails.
    void SetFallbackPort(quint16 firstPort) { m_fallbackPort = firstPort; }
    // Says why the served port is not the one asked for; empty when it is.
    QString PortNote() const { return m_portNote; }

Q_SIGNALS:
    void Stopped();
    void RunningChanged(bool running);
    // The listener opened, on this port (also at a start with the icon).
    void ListenerOpened(quint16 port);

private:
    void onPollEvent(std::uint64_t key, std::uint32_t events);
    void acceptWaitingConnection();
    void onConnectionRequest(int descriptor);
    int takeClosedElement();
    void onReadable(Connection& connection);
    void serveWaitingRequests(Connection& connection);
    void handleRequest(const std::shared_ptr<Connection>& connection, const QByteArray& text);
    void answerBadRequest(Connection& connection, const QByteArray& request);
    void logSocketFailure(int index, const QString& description);
    void closeIdleConnections();
    bool dropStalledDownload(const QByteArray& client);
    void markBusy(Connection& connection);
    void unlinkOpen(Connection& connection);
    bool openListener();
    bool listenOn(quint16 port);
    bool openFallbackListener(quint16 denied);
    void describeListenFailure(quint16 asked, const QString& reason);
    void setRunning(bool running);
    ListenResult classifyListenFailure(QAbstractSocket::SocketError error) const;

    void takeBack(Connection& connection);

    StatusLog& m_log;
    quint16 m_port;
    quint16 m_servedPort;
    quint16 m_fallbackPort = 0;
    QString m_portNote;
    bool m_bRunning = false;
    RequestHandler* m_handler = nullptr;
    int m_maxElements = MaxConnectionElements;
    int m_requestTimeoutMs = DefaultRequestTimeoutMs;
    ConnectionPool m_connections{DownloadSlots(DefaultMaxDownloads), {}, {}};
    QString m_listenFailureMessage;
    ListenResult m_listenFailure = ListenResult::OtherFailure;
    EventPoller m_poller;
    ListeningSocket m_listener;
    // Element 0 is the listener (no connection); elements stay for reuse.
    std::vector<std::shared_ptr<Connection>> g_Winsock;
    int m_lHighestSocket = 0;
    // Closed elements, the lowest on top.
    std::priority_queue<int, std::vector<int>, std::greater<int>> m_closedElements;
    // Open elements from the longest idle to the latest busy, so that the
    // idle sweep looks only at those that are due.
    int m_oldestOpen = -1;
    int m_newestOpen = -1;
    int m_openConnections = 0;
    QTimer m_idleSweep;
    QTimer m_acceptRetry;
};
