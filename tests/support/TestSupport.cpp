#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTcpServer>
#include <QtEndian>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace TestSupport {
namespace {
// "0100007F:1F90": the kernel prints each 32-bit word of the address in host
// byte order, then the port.
std::pair<QHostAddress, quint16> endpointFromProcTable(const QByteArray& field) {
    QByteArray bytes = QByteArray::fromHex(field.left(field.indexOf(':')));
    for (qsizetype word = 0; word + 4 <= bytes.size(); word += 4)
        std::reverse(bytes.begin() + word, bytes.begin() + word + 4);
    const quint16 port = quint16(field.mid(field.indexOf(':') + 1).toUInt(nullptr, 16));
    if (bytes.size() == 16)
        return {QHostAddress(reinterpret_cast<const quint8*>(bytes.constData())), port};
    return {bytes.size() == 4 ? QHostAddress(qFromBigEndian<quint32>(bytes.constData()))
                              : QHostAddress(),
            port};
}
} // namespace

QList<SocketEntry> socketsOfProcess(qint64 pid) {
    QSet<QByteArray> inodes; // of the sockets the process holds
    const QDir fds(u"/proc/%1/fd"_s.arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        const QByteArray target = QFile::encodeName(fd.symLinkTarget().section(u'/', -1));
        if (target.startsWith("socket:["))
            inodes.insert(target.mid(8, target.size() - 9));
    }
    QList<SocketEntry> sockets;
    for (const char* protocol : {"tcp", "tcp6", "udp", "udp6"}) {
        QFile table(u"/proc/net/"_s + QString::fromLatin1(protocol));
        if ((pid != 0 && inodes.isEmpty()) || !table.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : table.readAll().split('\n').mid(1)) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 10 || (pid != 0 && !inodes.contains(fields[9])))
                continue;
            const auto [localAddress, localPort] = endpointFromProcTable(fields[1]);
            sockets.append({protocol, localAddress, localPort,
                            endpointFromProcTable(fields[2]).first, fields[3].toInt(nullptr, 16)});
        }
    }
    return sockets;
}

bool listensOn(quint16 port, qint64 pid) {
    return std::ranges::any_of(socketsOfProcess(pid), [port](const SocketEntry& socket) {
        return socket.protocol.startsWith("tcp") && socket.localPort == port &&
               socket.state == 0x0A;
    });
}

quint16 freeLoopbackTcpPort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

QByteArray tailOfFile(const QString& path, int maxLines) {
    QFile file(path);
    const QList<QByteArray> lines =
        file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
    return lines.mid(qMax<qsizetype>(0, lines.size() - maxLines)).join('\n');
}

} // namespace TestSupport
