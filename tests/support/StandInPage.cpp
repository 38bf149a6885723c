#include "support/StandInPage.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

// Far enough apart that the reader sees each block on its own.
constexpr int BlockGapMs = 50;

} // namespace

StandInPage::StandInPage() {
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

bool StandInPage::ListenOnLoopback() {
    return m_server.listen(QHostAddress::LocalHost, 0);
}

bool StandInPage::ListenOnDescriptor(qintptr descriptor) {
    return m_server.setSocketDescriptor(descriptor);
}

void StandInPage::SetAnswer(const QList<QByteArray>& blocks, bool close) {
    m_blocks = blocks;
    m_close = close;
}

QByteArray StandInPage::HttpPage(const QByteArray& body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + body;
}

void StandInPage::serve(QTcpSocket* socket) {
    socket->setParent(this);
    m_requests.append(QByteArray());
    const qsizetype request = m_requests.size() - 1;
    connect(socket, &QTcpSocket::readyRead, this,
            [this, socket, request] { m_requests[request] += socket->readAll(); });
    int delay = BlockGapMs;
    for (const QByteArray& block : m_blocks) {
        QTimer::singleShot(delay, socket, [socket, block] {
            socket->write(block);
            socket->flush();
        });
        delay += BlockGapMs;
    }
    if (m_close)
        QTimer::singleShot(delay, socket, [socket] { socket->disconnectFromHost(); });
}
