#include "support/ServiceProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
// Proxy settings in the environment must never send a helper's traffic
// anywhere but loopback.
QProcessEnvironment helperEnvironment(const QStringList& extraEnvironment) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        environment.remove(QString::fromLatin1(name));
    for (const QString& assignment : extraEnvironment) {
        const qsizetype equals = assignment.indexOf(QLatin1Char('='));
        environment.insert(assignment.left(equals), assignment.mid(equals + 1));
    }
    return environment;
}
} // namespace

ServiceProcess::~ServiceProcess() {
    stop();
}

bool ServiceProcess::start(const QString& program, const QStringList& arguments,
                           const QString& outputFile, const QStringList& extraEnvironment) {
    m_error.clear();
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    m_process.setProcessEnvironment(helperEnvironment(extraEnvironment));
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setStandardOutputFile(outputFile, QIODevice::Append);
    m_process.setStandardErrorFile(outputFile, QIODevice::Append);
    m_process.setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    m_process.start();
    if (!m_process.waitForStarted(30000)) {
        m_error = program + QStringLiteral(" did not start: ") + m_process.errorString();
        return false;
    }
    m_pid = m_process.processId();
    return true;
}

bool ServiceProcess::isRunning() {
    if (m_process.state() == QProcess::NotRunning)
        return false;
    return !m_process.waitForFinished(0);
}

void ServiceProcess::stop(int gracePeriodMs) {
    if (m_pid <= 0)
        return;
    if (isRunning()) {
        ::kill(-static_cast<pid_t>(m_pid), SIGTERM);
        if (!m_process.waitForFinished(gracePeriodMs)) {
            ::kill(-static_cast<pid_t>(m_pid), SIGKILL);
            m_process.waitForFinished(10000);
        }
    }
    m_pid = 0;
}

QString ServiceProcess::exitDescription() {
    if (isRunning())
        return QStringLiteral("still running");
    if (m_process.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("ended by a signal");
    return QStringLiteral("exited with status %1").arg(m_process.exitCode());
}

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
        if (fields.size() < 10 || !inodes.contains(fields[9]))
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
    const QSet<QByteArray> inodes = socketInodesOf(pid);
    QList<SocketEntry> sockets;
    for (const char* protocol : {"tcp", "tcp6", "udp", "udp6"})
        appendSockets(protocol, inodes, sockets);
    return sockets;
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

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(50);
    }
    return true;
}

QByteArray httpExchange(quint16 port, const QByteArray& request, int timeoutMs) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(timeoutMs))
        return {};
    socket.write(request);
    QByteArray answer;
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        answer += socket.readAll();
    }
    return answer + socket.readAll();
}

bool acceptsConnections(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(1000);
}
} // namespace TestSupport
