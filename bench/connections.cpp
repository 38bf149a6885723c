// Figures of the server's network front, measured on the real program on
// loopback, each compared side by side in one run:
//   1. latency of the main menu (a new connection per request, as a WAP
//      gateway does) with no other connection, then with 10,000 idle
//      connections held open (goal: p99 within 2x);
//   2. the program's resident memory before, during and after a wave of
//      1,000 slow downloads (goal: < 64 MiB during, back within 8 MiB of
//      the start after).
// Usage: bench_connections [--idle N] [--readers N] [--requests N]
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int IntegerArgument(const QStringList& args, const QString& name, int fallback) {
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : fallback;
}

void RaiseDescriptorLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

int Connect(quint16 port, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void SendRequest(int fd, const QByteArray& path) {
    const QByteArray request = "GET " + path + " HTTP/1.1\r\nHost: bench\r\n\r\n";
    [[maybe_unused]] const ssize_t sent = ::send(fd, request.constData(), request.size(), 0);
}

QByteArray ReadToEnd(int fd) {
    QByteArray all;
    char buffer[16384];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        all.append(buffer, got);
    return all;
}

QByteArray Fetch(quint16 port, const QByteArray& path) {
    const int fd = Connect(port);
    if (fd < 0)
        return {};
    SendRequest(fd, path);
    QByteArray answer = ReadToEnd(fd);
    ::close(fd);
    return answer;
}

quint16 FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // Without a free port the program under test would be started on port 0.
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("no free loopback port");
        std::exit(1);
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

// The program under test, with its own settings and runtime folders.
class Program {
public:
    Program(const QTemporaryDir& dir, const QStringList& settings)
        : m_port(FreePort()) {
        QDir(dir.path()).mkdir(QStringLiteral("run"));
        QFile::setPermissions(dir.filePath(QStringLiteral("run")), QFileDevice::ReadOwner |
                                                                       QFileDevice::WriteOwner |
                                                                       QFileDevice::ExeOwner);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("cfg")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("cfg")));
        const QString file = dir.filePath(QStringLiteral("settings.reg"));
        QStringList set{QStringLiteral("--settings"), file};
        for (const QString& setting : settings)
            set << QStringLiteral("--set") << setting;
        QProcess setter;
        setter.setProcessEnvironment(environment);
        setter.start(QStringLiteral(POCKETLANE_BINARY), set);
        setter.waitForFinished();
        m_process.setProcessEnvironment(environment);
        m_process.setStandardErrorFile(dir.filePath(QStringLiteral("program.log")));
        m_process.start(QStringLiteral(POCKETLANE_BINARY),
                        {QStringLiteral("--headless"), QStringLiteral("--port"),
                         QString::number(m_port), QStringLiteral("--settings"), file});
        m_process.waitForStarted();
        for (int i = 0; i < 100 && Fetch(m_port, "/").isEmpty(); ++i)
            QThread::msleep(50);
    }
    ~Program() {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    quint16 Port() const { return m_port; }
    long ResidentKiB() {
        if (m_process.waitForFinished(0) || m_process.state() != QProcess::Running) {
            std::fprintf(stderr, "the program under test ended (exit status %d, %s)\n",
                         m_process.exitCode(), qPrintable(m_process.errorString()));
            std::exit(1);
        }
        QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toLong();
        }
        return 0;
    }

private:
    quint16 m_port;
    QProcess m_process;
};

struct Latency {
    double p50 = 0;
    double p99 = 0;
};

Latency MeasureMainMenu(quint16 port, int requests) {
    std::vector<double> micros;
    for (int i = 0; i < requests; ++i) {
        const auto start = Clock::now();
        Fetch(port, "/");
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[micros.size() * 99 / 100]};
}

void IdleConnections(int idle, int requests) {
    QTemporaryDir dir;
    Program program(dir, {QStringLiteral("ShowWelcomeGraphic=N"),
                          QStringLiteral("WelcomeMessage=N"), QStringLiteral("EnablePassword=N")});
    MeasureMainMenu(program.Port(), requests / 10);
    const Latency alone = MeasureMainMenu(program.Port(), requests);
    std::vector<int> held;
    for (int i = 0; i < idle; ++i) {
        const int fd = Connect(program.Port());
        if (fd >= 0)
            held.push_back(fd);
    }
    QThread::msleep(1000);
    const Latency crowded = MeasureMainMenu(program.Port(), requests);
    std::printf("main menu, %d requests each:      p50 %8.1f us   p99 %8.1f us\n", requests,
                alone.p50, alone.p99);
    std::printf("  with %zu idle connections:    p50 %8.1f us   p99 %8.1f us   p99 ratio %.2f "
                "(goal <= 2)\n",
                held.size(), crowded.p50, crowded.p99, crowded.p99 / alone.p99);
    for (int fd : held)
        ::close(fd);
}

void SlowDownloads(int readers) {
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("big.gif"));
    QFile file(picture);
    file.open(QIODevice::WriteOnly);
    file.resize(64LL * 1024 * 1024);
    file.close();
    Program program(dir, {QStringLiteral("ShowWelcomeGraphic=Y"),
                          QStringLiteral("ShowWelcomeGraphicFilename=") + picture,
                          QStringLiteral("WelcomeMessage=N"), QStringLiteral("EnablePassword=N")});
    const long before = program.ResidentKiB();
    std::vector<int> downloads;
    for (int i = 0; i < readers; ++i) {
        const QByteArray page = Fetch(program.Port(), "/");
        const qsizetype at = page.indexOf("/?F=");
        const int fd = Connect(program.Port(), 4096);
        if (at < 0 || fd < 0)
            continue;
        SendRequest(fd, page.mid(at, page.indexOf('"', at) - at));
        downloads.push_back(fd);
    }
    // Slow readers: a little from each in turn, for a few rounds.
    long during = program.ResidentKiB();
    qint64 received = 0;
    char buffer[4096];
    for (int round = 0; round < 5; ++round) {
        for (int fd : downloads) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            received += std::max<ssize_t>(got, 0);
        }
        QThread::msleep(200);
        during = std::max(during, program.ResidentKiB());
    }
    for (int fd : downloads)
        ::close(fd);
    QThread::msleep(2000);
    const long after = program.ResidentKiB();
    std::printf("%zu slow downloads (%lld KiB read): resident before %ld KiB, during %ld KiB "
                "(goal < 65536), after %ld KiB (%+ld KiB; goal within 8192)\n",
                downloads.size(), received / 1024, before, during, after, after - before);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    RaiseDescriptorLimit();
    const QStringList args = QCoreApplication::arguments();
    IdleConnections(IntegerArgument(args, QStringLiteral("--idle"), 10000),
                    IntegerArgument(args, QStringLiteral("--requests"), 2000));
    SlowDownloads(IntegerArgument(args, QStringLiteral("--readers"), 1000));
    return 0;
}
