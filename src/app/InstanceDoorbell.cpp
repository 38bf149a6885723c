#include "app/InstanceDoorbell.h"

#include <QFileInfo>
#include <QLocalSocket>

namespace {
const QByteArray RingMessage = "show\n";
}

InstanceDoorbell::InstanceDoorbell(const QString& path, QObject* parent)
    : QObject(parent)
    , m_path(path) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceDoorbell::onConnection);
}

QString InstanceDoorbell::PathBeside(const QString& lockFilePath) {
    const QFileInfo lock(lockFilePath);
    return lock.absolutePath() + u'/' + lock.completeBaseName() + QStringLiteral(".doorbell");
}

bool InstanceDoorbell::Listen() {
    // Only the holder of the single-instance lock listens, so a socket file
    // still there was left by a program that has gone.
    QLocalServer::removeServer(m_path);
    return m_server.listen(m_path);
}

void InstanceDoorbell::onConnection() {
    while (QLocalSocket* visitor = m_server.nextPendingConnection()) {
        connect(visitor, &QLocalSocket::disconnected, visitor, &QObject::deleteLater);
        connect(visitor, &QLocalSocket::readyRead, this, [this, visitor] {
            // Anything but the one short message is ignored and dropped.
            const QByteArray message = visitor->read(RingMessage.size());
            if (message == RingMessage)
                Q_EMIT Rung();
            visitor->disconnectFromServer();
        });
    }
}

bool InstanceDoorbell::Ring(const QString& path, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(RingMessage);
    return socket.waitForBytesWritten(timeoutMs);
}
