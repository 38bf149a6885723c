#pragma once

#include "http/ResponseStream.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class TcpConnection;
class ListeningSocket;
class SocketElementArray;

// What an element is doing. Only Closed (0) matters to the connection
// logic: a closed element can take the next connection.
enum class SocketState : int {
    Closed = 0,
    Listening = 2,
    Connected = 7,
    Closing = 8,
    Error = 9,
};

// One element of the socket array: either the listener or one TCP
// connection. Elements are created on demand and reused after Close; their
// events are raised by the array with the element's index, on the thread of
// the event loop.
class SocketElement : public QObject {
    Q_OBJECT
public:
    // Streamed answers: the element pulls the next piece whenever fewer than
    // StreamLowWater bytes wait to be written, so a large download never
    // sits in memory as a whole.
    static constexpr qint64 StreamLowWater = 256 * 1024;
    static constexpr qint64 StreamChunkSize = 256 * 1024;
    // Received bytes that a connection holds before it stops reading from
    // the system (the rest waits in the kernel).
    static constexpr qint64 ReadBufferSize = 64 * 1024;

    SocketElement(int index, SocketElementArray& array);
    ~SocketElement() override;

    int Index() const { return m_index; }
    int State() const { return int(m_state); }
    bool IsClosed() const { return m_state == SocketState::Closed; }

    // Listener role. Listen on LocalPort (0: any free port); on failure the
    // element stays closed and ListenError/ListenErrorString say why.
    void SetLocalPort(quint16 port) { m_localPort = port; }
    quint16 LocalPort() const;
    bool Listen();
    QAbstractSocket::SocketError ListenError() const { return m_listenError; }
    QString ListenErrorString() const { return m_listenErrorString; }
    // Takes up accepting again after the system refused a connection (for
    // example because no descriptor was left).
    void ResumeAccepting();

    // Connection role. Takes over the connection offered by the current
    // ConnectionRequest event; false (and the element stays closed) when
    // requestId is not the offered connection or cannot be taken.
    bool Accept(qintptr requestId);
    qint64 BytesWaiting() const;
    // Every byte that has arrived and was not read yet.
    QByteArray GetData();
    // Queues bytes for sending; they go out in order after the call returns.
    // False when the element is not connected.
    bool SendData(const QByteArray& data);
    // Sends the stream's pieces after everything queued before, as the
    // connection drains. The stream ends at its end, on a failure (raised as
    // an Error event) or when the connection closes.
    bool SendStream(std::unique_ptr<ResponseStream> stream);
    bool IsStreaming() const { return m_stream != nullptr; }
    qint64 PendingWriteBytes() const;
    // The connection's socket, for those who must follow its sending to the
    // end; null while the element holds no connection.
    TcpConnection* Connection() const { return m_socket; }
    // Closes the connection as soon as everything queued has been written.
    void CloseAfterSending();
    // Time (monotonic milliseconds) the connection was accepted or last
    // made progress with sending.
    qint64 LastActivity() const { return m_lastActivity; }
    static qint64 MonotonicNow();

    // Ends the connection or the listening at once; the state becomes Closed.
    void Close();

private:
    void onAcceptError();
    void onReadyRead();
    void onBytesWritten();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void pumpStream();
    void endStream();
    void failStream(const QString& failure);
    void releaseSocket();

    const int m_index;
    SocketElementArray& m_array;
    SocketState m_state = SocketState::Closed;
    quint16 m_localPort = 0;
    ListeningSocket* m_listener = nullptr;
    QAbstractSocket::SocketError m_listenError = QAbstractSocket::UnknownSocketError;
    QString m_listenErrorString;
    TcpConnection* m_socket = nullptr;
    std::unique_ptr<ResponseStream> m_stream;
    bool m_pumping = false;
    bool m_closeWhenSent = false;
    qint64 m_lastActivity = 0;
};

// The array of socket elements, addressed by index from 0. Element 0
// exists from the start; further elements are created on demand and never
// removed. All events of all elements are raised here.
class SocketElementArray : public QObject {
    Q_OBJECT
public:
    explicit SocketElementArray(QObject* parent = nullptr);
    ~SocketElementArray() override;

    SocketElement& operator[](int index) { return *m_elements.at(index); }
    const SocketElement& operator[](int index) const { return *m_elements.at(index); }
    int Count() const { return int(m_elements.size()); }
    bool Exists(int index) const { return index >= 0 && index < m_elements.size(); }
    // Creates element index, which must be the next one (Count()).
    SocketElement& CreateElement(int index);

Q_SIGNALS:
    // A connection waits on a listening element. Accept it with requestId
    // on a closed element from within the handler; a connection that no
    // element accepted is refused when the handler returns.
    void ConnectionRequest(int index, qintptr requestId);
    void DataArrival(int index, qint64 bytesTotal);
    void Error(int index, int number, const QString& description);
    // The other end closed the connection.
    void Close(int index);
    // A streamed answer has queued its last piece (or ended otherwise).
    void StreamFinished(int index);

private:
    friend class SocketElement;
    void raiseConnectionRequest(int index, qintptr descriptor);
    bool takeOfferedConnection(qintptr requestId);

    QList<SocketElement*> m_elements;
    qintptr m_offeredConnection = -1;
};
