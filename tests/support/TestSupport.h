#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

// What the tests share: the source tree, the built program, free ports and
// the kernel's view of the sockets.
namespace TestSupport {
inline QString sourceDir() {
    return QStringLiteral(POCKETLANE_SOURCE_DIR);
}
inline QString programPath() {
    return QStringLiteral(POCKETLANE_BINARY);
}

// One internet socket, as the kernel lists it.
struct SocketEntry {
    QByteArray protocol; // "tcp", "tcp6", "udp" or "udp6"
    QHostAddress localAddress;
    quint16 localPort = 0;
    QHostAddress remoteAddress;
    int state = 0; // the kernel's TCP state; 0x0A is listening
};
// The sockets a process holds; every socket of the machine when pid is 0.
QList<SocketEntry> socketsOfProcess(qint64 pid);
// Whether a socket of the process (of any process when pid is 0) listens on
// the TCP port; the check opens no connection.
bool listensOn(quint16 port, qint64 pid = 0);

// A TCP port on 127.0.0.1 that was free a moment ago (the kernel picks it).
quint16 freeLoopbackTcpPort();
// The last maxLines lines of a text file ("" when it does not exist).
QByteArray tailOfFile(const QString& path, int maxLines = 60);
} // namespace TestSupport
