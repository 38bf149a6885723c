#pragma once

#include <QByteArray>
#include <QTcpSocket>
#include <QTest>

#include <memory>

// A client connection to a server on 127.0.0.1, driven by the test's event
// loop (the server under test may run in the same thread).
class LoopbackClient {
public:
    static constexpr int DefaultTimeoutMs = 20000;

    // from: another loopback address to connect from (127.0.0.2, ...).
    explicit LoopbackClient(quint16 port, const QHostAddress& from = {}) {
        if (!from.isNull())
            m_socket->bind(from);
        QObject::connect(m_socket.get(), &QTcpSocket::readyRead, m_socket.get(),
                         [this] { Received(); });
        QObject::connect(m_socket.get(), &QTcpSocket::disconnected, m_socket.get(), [this] {
            Received();
            m_closed = true;
        });
        QObject::connect(m_socket.get(), &QTcpSocket::errorOccurred, m_socket.get(),
                         [this] { m_closed = true; });
        m_socket->connectToHost(QHostAddress::LocalHost, port);
    }

    bool IsConnected() const { return m_socket->state() == QAbstractSocket::ConnectedState; }
    // Waits until the connection stands; false when it was refused.
    bool WaitConnected(int timeoutMs = DefaultTimeoutMs) {
        return QTest::qWaitFor([&] { return IsConnected() || m_closed; }, timeoutMs) &&
               IsConnected();
    }
    void Send(const QByteArray& bytes) {
        if (WaitConnected()) {
            m_socket->write(bytes);
            m_socket->flush();
        }
    }
    // Everything received up to now (accumulated across calls).
    const QByteArray& Received() {
        if (m_socket->isReadable())
            m_received += m_socket->readAll();
        return m_received;
    }
    // Waits until at least `count` bytes have been received in total.
    bool WaitForBytes(qsizetype count, int timeoutMs = DefaultTimeoutMs) {
        return QTest::qWaitFor([&] { return Received().size() >= count; }, timeoutMs);
    }
    // Waits until the server has closed the connection; everything it sent
    // before is in Received().
    bool WaitClosed(int timeoutMs = DefaultTimeoutMs) {
        return QTest::qWaitFor([&] { return m_closed; }, timeoutMs);
    }
    QTcpSocket& Socket() { return *m_socket; }

    // The request for path with one header line, as phones send it.
    static QByteArray Request(const QByteArray& path, const QByteArray& method = "GET") {
        return method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    }

private:
    std::unique_ptr<QTcpSocket> m_socket = std::make_unique<QTcpSocket>();
    QByteArray m_received;
    bool m_closed = false;
};
