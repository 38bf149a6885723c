#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// One helper daemon that a test starts (a web server, a gateway box): it runs
// in a process group of its own, gets SIGTERM when the test process dies, and
// is stopped with SIGTERM (then SIGKILL) however the test ends. Its standard
// output and error go to a file so that a chatty daemon never blocks on a
// full pipe.
class ServiceProcess {
public:
    ServiceProcess() = default;
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Starts the program; false with errorString() when it could not run.
    bool start(const QString& program, const QStringList& arguments, const QString& outputFile,
               const QStringList& extraEnvironment = {});
    // SIGTERM to the whole process group, SIGKILL after gracePeriodMs.
    void stop(int gracePeriodMs = 10000);

    bool isRunning();
    qint64 pid() const { return m_pid; }
    QString errorString() const { return m_error; }
    // How the process ended, for failure messages ("exited with 3", "killed by signal 9").
    QString exitDescription();

private:
    QProcess m_process;
    qint64 m_pid = 0;
    QString m_error;
};

namespace TestSupport {
// One internet socket that a process holds, as the kernel lists it.
struct SocketEntry {
    QByteArray protocol; // "tcp", "tcp6", "udp" or "udp6"
    QHostAddress localAddress;
    quint16 localPort = 0;
    QHostAddress remoteAddress;
    quint16 remotePort = 0;
    int state = 0; // the kernel's TCP state; 0x0A is listening
};
QList<SocketEntry> socketsOfProcess(qint64 pid);

// A TCP port on 127.0.0.1 that was free a moment ago (the kernel picks it).
quint16 freeLoopbackTcpPort();
// The last maxLines lines of a text file ("" when it does not exist).
QByteArray tailOfFile(const QString& path, int maxLines = 60);
// Waits (processing events) until condition holds or timeoutMs passes.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);
// Sends a request to 127.0.0.1:port and returns everything the server sent
// until it closed the connection (or timeoutMs passed).
QByteArray httpExchange(quint16 port, const QByteArray& request, int timeoutMs = 10000);
// Whether something accepts TCP connections on 127.0.0.1:port.
bool acceptsConnections(quint16 port);
} // namespace TestSupport
