#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QSocketNotifier;

// One accepted TCP connection on its non-blocking descriptor, with as few
// system calls as a short exchange allows: received bytes are read when the
// descriptor is readable (no size query first), bytes to send go out at once
// and only what the system cannot take yet waits for write readiness.
//
// Its signals may be answered by disposing of the connection (Dispose): the
// object then lives on until its own signal has returned.
class TcpConnection : public QObject {
    Q_OBJECT
public:
    enum class State { Connected, Closing, Unconnected };

    // Takes over descriptor, which must be connected and non-blocking.
    explicit TcpConnection(int descriptor, QObject* parent = nullptr);
    ~TcpConnection() override;

    State state() const { return m_state; }
    bool isOpen() const { return m_fd >= 0; }
    quint16 localPort() const;
    QString errorString() const { return m_errorString; }

    // Received bytes held before reading stops (the rest waits in the
    // system) until readAll takes them; 0: no limit.
    void setReadBufferSize(qint64 size) { m_readBufferSize = size; }
    qint64 bytesAvailable() const { return m_readBuffer.size(); }
    QByteArray readAll();

    // Queues data after everything queued before; returns how many bytes
    // left at once, -1 when the connection is closed.
    qint64 write(const QByteArray& data);
    qint64 bytesToWrite() const { return m_bytesToWrite; }

    // Closes once every queued byte has left; disconnected follows.
    void disconnectFromHost();
    // Closes at once, dropping what waits to be sent; no signal follows.
    void abort();
    // Aborts and deletes the connection, at once or, when called from one of
    // its signals, as soon as that signal has returned.
    void Dispose();

Q_SIGNALS:
    void readyRead();
    void bytesWritten(qint64 bytes);
    // Closed by disconnectFromHost, by the other end or after an error.
    void disconnected();
    // A fault of the connection; the other end closing or resetting it is
    // none (only disconnected follows then).
    void errorOccurred(QAbstractSocket::SocketError error);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <typename Action> void guarded(Action&& action);
    void readWaitingBytes();
    void sendQueuedBytes();
    qint64 sendNow(const char* data, qint64 size, int& systemError);
    void connectionLost(int systemError);
    void closeAndReport();
    void closeDescriptor();

    int m_fd = -1;
    State m_state = State::Connected;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    qint64 m_readBufferSize = 0;
    QByteArray m_readBuffer;
    QList<QByteArray> m_writeQueue;
    qint64 m_sentOfFirst = 0;
    qint64 m_bytesToWrite = 0;
    QString m_errorString;
    int m_signalDepth = 0;
    bool m_disposed = false;
};
