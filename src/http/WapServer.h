#pragma once

#include "http/SocketElement.h"

#include <QAbstractSocket>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class RequestHandler;
class StatusLog;

// The server's network front: the listener on element 0 of g_Winsock and
// the connection elements 1 to m_lHighestSocket. It collects each request
// until its headers are complete, hands it to ProcessRequest and closes
// connections that are done, idle or misbehaving. Runs on the event loop's
// thread and writes every event to the status log.
class WapServer : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 DefaultPort = 80;
    // Elements are addressed with a 16-bit index.
    static constexpr int MaxConnectionElements = 32767;
    // A request whose headers are not complete after this many bytes ends
    // its connection.
    static constexpr qsizetype MaxRequestHeaderBytes = 16 * 1024;
    static constexpr int DefaultRequestTimeoutMs = 30 * 1000;
    // Pause before accepting again after the system refused a connection.
    static constexpr int AcceptRetryMs = 250;

    enum class ListenResult { Listening, PortInUse, PermissionDenied, OtherFailure };

    WapServer(StatusLog& log, quint16 port, QObject* parent = nullptr);
    ~WapServer() override;

    void SetRequestHandler(RequestHandler* handler) { m_handler = handler; }
    // How long a connection may wait for its next complete request, or for
    // progress in sending, before it is closed.
    void SetRequestTimeout(int milliseconds);
    // Lowers the element limit (for tests of the limit).
    void SetMaxConnectionElements(int count) { m_maxElements = count; }

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

    // The port actually served (the one asked for, or the one the system
    // chose when 0 was asked for).
    quint16 Port() const;

    // Parses one complete request text received on element index and hands
    // it to the site; a request that fails to parse, a PUT request and one
    // that the site leaves unanswered are dropped and their connection is
    // closed.
    void ProcessRequest(int index, const QByteArray& text);

    SocketElementArray g_Winsock;
    int m_lHighestSocket = 0;
    bool m_bRunning = false;

Q_SIGNALS:
    void Stopped();
    void RunningChanged(bool running);

private:
    // What a connection has received and not yet handled.
    struct PendingInput {
        QByteArray bytes;
        qint64 bodyBytesToSkip = 0;
        qint64 lastRequestAt = 0;
        // Where the search for the end of the headers goes on.
        qsizetype searchFrom = 0;
    };

    void onConnectionRequest(int index, qintptr requestId);
    void onDataArrival(int index, qint64 bytesTotal);
    void onError(int index, int number, const QString& description);
    void onClose(int index);
    void serveWaitingRequests(int index);
    bool takeCompleteRequest(PendingInput& input, QByteArray& request);
    int closedConnectionElement() const;
    bool acceptOn(int index, qintptr requestId);
    void logSocketFailure(int index, const QString& description);
    void dropConnection(int index);
    void closeIdleConnections();
    bool listen();
    void setRunning(bool running);
    ListenResult classifyListenFailure(QAbstractSocket::SocketError error) const;
    PendingInput& pendingInput(int index);

    StatusLog& m_log;
    quint16 m_port;
    quint16 m_servedPort;
    RequestHandler* m_handler = nullptr;
    int m_maxElements = MaxConnectionElements;
    int m_requestTimeoutMs = DefaultRequestTimeoutMs;
    QString m_listenFailureMessage;
    QList<PendingInput> m_pendingInputs;
    QTimer m_idleSweep;
    QTimer m_acceptRetry;
};
