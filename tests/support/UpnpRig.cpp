#include "support/UpnpRig.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace {

constexpr int ScriptTimeoutMs = 60000;

QString ScriptPath() {
    return TestSupport::sourceDir() + QStringLiteral("/tests/support/upnp-rig.sh");
}

} // namespace

UpnpRig::UpnpRig(const QString& prefix)
    : m_prefix(prefix) {}

UpnpRig::~UpnpRig() {
    Down();
}

QString UpnpRig::SkipReason() {
    if (::geteuid() != 0)
        return QStringLiteral("the UPnP router rig needs root");
    for (const char* tool : {"ip", "nft", "upnpc"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("missing ") + QString::fromLatin1(tool);
    if (!QFile::exists(QStringLiteral("/usr/sbin/miniupnpd")))
        return QStringLiteral("missing miniupnpd");
    return {};
}

bool UpnpRig::script(const QStringList& arguments, const QByteArray& input) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("RIG_PREFIX"), m_prefix);
    for (auto knob = m_knobs.cbegin(); knob != m_knobs.cend(); ++knob)
        environment.insert(knob.key(), knob.value());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("bash"), QStringList{ScriptPath()} + arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(ScriptTimeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    m_output = process.readAllStandardOutput() + process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool UpnpRig::Up(const QMap<QString, QString>& knobs) {
    m_knobs = knobs;
    m_up = true;
    return script({QStringLiteral("up")});
}

void UpnpRig::Down() {
    if (m_up)
        script({QStringLiteral("down")});
    m_up = false;
}

bool UpnpRig::Command(const QString& command) {
    return script({command});
}

QByteArray UpnpRig::ListMappings() {
    script({QStringLiteral("run"), QStringLiteral("upnpc"), QStringLiteral("-l")});
    return m_output;
}

bool UpnpRig::AddMapping(quint16 externalPort, const QString& internalClient,
                         quint16 internalPort) {
    return script({QStringLiteral("run"), QStringLiteral("upnpc"), QStringLiteral("-a"),
                   internalClient, QString::number(internalPort), QString::number(externalPort),
                   QStringLiteral("TCP")});
}

bool UpnpRig::StallWebService() {
    return script({QStringLiteral("router"), QStringLiteral("nft"), QStringLiteral("-f"),
                   QStringLiteral("-")},
                  "table inet stall {\n"
                  "  chain input { type filter hook input priority 0; policy accept;\n"
                  "    tcp dport 5000 drop; }\n"
                  "}\n");
}

bool UpnpRig::Unstall() {
    return script({QStringLiteral("router"), QStringLiteral("nft"), QStringLiteral("delete"),
                   QStringLiteral("table"), QStringLiteral("inet"), QStringLiteral("stall")});
}

QString UpnpRig::WanPeerAddress() const {
    const QString wan = m_knobs.value(QStringLiteral("RIG_WAN_IP"), QStringLiteral("11.22.33.44"));
    QStringList parts = wan.split(u'.');
    parts.last() = parts.last() == QStringLiteral("1") ? QStringLiteral("2") : QStringLiteral("1");
    return parts.join(u'.');
}

QStringList UpnpRig::InPc(const QString& program, const QStringList& arguments) const {
    return QStringList{QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"),
                       PcNamespace(), program} +
           arguments;
}

bool RunInNamespace(const QString& name, const std::function<void()>& work) {
    bool entered = false;
    std::thread thread([&] {
        const int fd = ::open(("/run/netns/" + name.toLocal8Bit()).constData(), O_RDONLY);
        if (fd < 0)
            return;
        entered = ::setns(fd, CLONE_NEWNET) == 0;
        ::close(fd);
        if (entered)
            work();
    });
    thread.join();
    return entered;
}

qintptr ListenInNamespace(const QString& name, const QHostAddress& address, quint16 port) {
    int listener = -1;
    RunInNamespace(name, [&] {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener < 0)
            return;
        const int on = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in socketAddress{};
        socketAddress.sin_family = AF_INET;
        socketAddress.sin_port = htons(port);
        socketAddress.sin_addr.s_addr = htonl(address.toIPv4Address());
        if (::bind(listener, reinterpret_cast<sockaddr*>(&socketAddress), sizeof socketAddress) !=
                0 ||
            ::listen(listener, 16) != 0) {
            ::close(listener);
            listener = -1;
        }
    });
    return listener;
}
