#pragma once

#include <QByteArray>
#include <QTcpSocket>

#include <memory>

// A client connection to a server on 127.0.0.1, driven by the test's event
// loop (the server under test may run in the same thread).
class LoopbackClient {
public:
    static constexpr int DefaultTimeoutMs = 20000;

    explicit LoopbackClient(quint16 port);

    bool IsConnected() const;
    // Waits until the connection stands; false when it was refused.
    bool WaitConnected(int timeoutMs = DefaultTimeoutMs);
    void Send(const QByteArray& bytes);
    // Everything received up to now (accumulated across calls).
    const QByteArray& Received();
    // Waits until at least `count` bytes have been received in total.
    bool WaitForBytes(qsizetype count, int timeoutMs = DefaultTimeoutMs);
    // Waits until the server has closed the connection; everything it sent
    // before is in Received().
    bool WaitClosed(int timeoutMs = DefaultTimeoutMs);
    QTcpSocket& Socket() { return *m_socket; }

    // The request for path with one header line, as phones send it.
    static QByteArray Request(const QByteArray& path, const QByteArray& method = "GET");

private:
    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_received;
    bool m_closed = false;
};
