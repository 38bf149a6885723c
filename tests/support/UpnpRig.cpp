#include "support/UpnpRig.h"

#include "support/TestSupport.h"

#include <QProcess>
#include <QStandardPaths>

#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

using namespace Qt::StringLiterals;

UpnpRig::~UpnpRig() {
    if (m_up)
        Run({u"down"_s});
}

QString UpnpRig::SkipReason() {
    if (::geteuid() != 0)
        return u"the UPnP router rig needs root"_s;
    for (const QString& tool : {u"ip"_s, u"nft"_s, u"upnpc"_s, u"/usr/sbin/miniupnpd"_s})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return u"missing "_s + tool;
    return {};
}

bool UpnpRig::Run(const QStringList& arguments, const QByteArray& input) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"RIG_PREFIX"_s, m_prefix);
    for (auto knob = m_knobs.cbegin(); knob != m_knobs.cend(); ++knob)
        environment.insert(knob.key(), knob.value());
    process.setProcessEnvironment(environment);
    process.start(u"bash"_s,
                  QStringList{TestSupport::sourceDir() + u"/tests/support/upnp-rig.sh"_s} +
                      arguments);
    process.write(input);
    process.closeWriteChannel();
    // One that hangs is killed when `process` goes.
    const bool finished = process.waitForFinished(60000);
    m_output = process.readAllStandardOutput() + process.readAllStandardError();
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool UpnpRig::Up(const QMap<QString, QString>& knobs) {
    m_knobs = knobs;
    m_up = true;
    return Run({u"up"_s});
}

bool RunInNamespace(const QString& name, const std::function<void()>& work) {
    bool entered = false;
    std::thread thread([&] {
        const int fd = ::open(("/run/netns/" + name.toLocal8Bit()).constData(), O_RDONLY);
        entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0)
            ::close(fd);
        if (entered)
            work();
    });
    thread.join();
    return entered;
}

qintptr ListenOnLoopbackIn(const QString& name) {
    // A socket belongs to the namespace it was made in.
    int listener = -1;
    RunInNamespace(name, [&] {
        sockaddr_in loopback{};
        loopback.sin_family = AF_INET;
        loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener >= 0 &&
            (::bind(listener, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) != 0 ||
             ::listen(listener, 16) != 0))
            listener = (::close(listener), -1);
    });
    return listener;
}
