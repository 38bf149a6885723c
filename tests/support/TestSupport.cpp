#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTcpServer>
#include <QtEndian>

#include <algorithm>

namespace TestSupport {
namespace {
// The kernel prints each 32-bit word of an address in host byte order.
QHostAddress addressFromProcTable(const QByteArray& hex) {
    QByteArray bytes = QByteArray::fromHex(hex);
    for (qsizetype word = 0; word + 4 <= bytes.size(); word += 4)
        std::reverse(bytes.begin() + word, bytes.begin() + word + 4);
    if (bytes.size() == 4)
        return QHostAddress(qFromBigEndian<quint32>(bytes.constData()));
    if (bytes.size() == 16)
        return QHostAddress(reinterpret_cast<const quint8*>(bytes.constData()));
    return {};
}

// The inodes of the sockets a process holds.
QSet<QByteArray> socketInodesOf(qint64 pid) {
    QSet<QByteArray> inodes;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        const QByteArray target = QFile::encodeName(fd.symLinkTarget().section(u'/', -1));
        if (target.startsWith("socket:["))
            inodes.insert(target.mid(8, target.size() - 9));
    }
    return inodes;
}

void appendSockets(const QByteArray& protocol, const QSet<QByteArray>& inodes,
                   QList<SocketEntry>& sockets) {
    QFile table(QStringLiteral("/proc/net/") + QString::fromLatin1(protocol));
    if (!table.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray& line : lines.mid(1)) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 10 || (!inodes.isEmpty() && !inodes.contains(fields[9])))
            continue;
        const QList<QByteArray> local = fields[1].split(':');
        const QList<QByteArray> remote = fields[2].split(':');
        SocketEntry entry;
        entry.protocol = protocol;
        entry.localAddress = addressFromProcTable(local.value(0));
        entry.localPort = quint16(local.value(1).toUInt(nullptr, 16));
        entry.remoteAddress = addressFromProcTable(remote.value(0));
        entry.remotePort = quint16(remote.value(1).toUInt(nullptr, 16));
        entry.state = fields[3].toInt(nullptr, 16);
        sockets.append(entry);
    }
}
} // namespace

QList<SocketEntry> socketsOfProcess(qint64 pid) {
    const QSet<QByteArray> inodes = pid == 0 ? QSet<QByteArray>() : socketInodesOf(pid);
    QList<SocketEntry> sockets;
    if (pid != 0 && inodes.isEmpty())
        return sockets;
    for (const char* protocol : {"tcp", "tcp6", "udp", "udp6"})
        appendSockets(protocol, inodes, sockets);
    return sockets;
}

bool listensOn(quint16 port, qint64 pid) {
    const QList<SocketEntry> sockets = socketsOfProcess(pid);
    return std::any_of(sockets.begin(), sockets.end(), [port](const SocketEntry& socket) {
        return socket.protocol.startsWith("tcp") && socket.localPort == port &&
               socket.state == 0x0A;
    });
}

quint16 freeLoopbackTcpPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QByteArray tailOfFile(const QString& path, int maxLines) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.readAll().split('\n');
    return lines.mid(qMax<qsizetype>(0, lines.size() - maxLines)).join('\n');
}

} // namespace TestSupport
