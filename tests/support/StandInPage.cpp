#include "support/StandInPage.h"

#include <QTcpSocket>
#include <QTimer>

StandInPage::StandInPage() {
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            const qsizetype request = m_requests.size();
            m_requests.append(QByteArray());
            connect(socket, &QTcpSocket::readyRead, this,
                    [this, socket, request] { m_requests[request] += socket->readAll(); });
            // Far enough apart that the reader sees each block on its own.
            int delayMs = 50;
            for (const QByteArray& block : std::as_const(m_blocks)) {
                QTimer::singleShot(delayMs, socket, [socket, block] {
                    socket->write(block);
                    socket->flush();
                });
                delayMs += 50;
            }
            if (m_close)
                QTimer::singleShot(delayMs, socket, [socket] { socket->disconnectFromHost(); });
        }
    });
}
