#include "support/LoopbackClient.h"

#include <QTest>

LoopbackClient::LoopbackClient(quint16 port)
    : m_socket(std::make_unique<QTcpSocket>()) {
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

bool LoopbackClient::IsConnected() const {
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

bool LoopbackClient::WaitConnected(int timeoutMs) {
    return QTest::qWaitFor([&] { return IsConnected() || m_closed; }, timeoutMs) && IsConnected();
}

void LoopbackClient::Send(const QByteArray& bytes) {
    if (WaitConnected()) {
        m_socket->write(bytes);
        m_socket->flush();
    }
}

const QByteArray& LoopbackClient::Received() {
    if (m_socket->isReadable())
        m_received += m_socket->readAll();
    return m_received;
}

bool LoopbackClient::WaitForBytes(qsizetype count, int timeoutMs) {
    return QTest::qWaitFor([&] { return Received().size() >= count; }, timeoutMs);
}

bool LoopbackClient::WaitClosed(int timeoutMs) {
    return QTest::qWaitFor([&] { return m_closed; }, timeoutMs);
}

QByteArray LoopbackClient::Request(const QByteArray& path, const QByteArray& method) {
    return method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}
