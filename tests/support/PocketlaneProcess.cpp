#include "support/PocketlaneProcess.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
constexpr int TimeoutMs = 30000;

void startWrapped(QProcess& process, const QStringList& arguments, const QStringList& wrapper) {
    const QStringList command = wrapper + QStringList{TestSupport::programPath()} + arguments;
    process.start(command.first(), command.mid(1));
}

// The exit code, or -1 when the program crashed or did not end in time.
int waitForEnd(QProcess& process) {
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, TimeoutMs)) {
        process.kill();
        process.waitForFinished(TimeoutMs);
        return -1;
    }
    const bool ended =
        process.exitStatus() == QProcess::NormalExit && process.error() != QProcess::FailedToStart;
    return ended ? process.exitCode() : -1;
}

// A loopback address of the program's own (127.x.y.z) for the gateway's UDP
// ports, should a test turn the gateway on: never every address, and never
// one that another test's gateway holds. A later --gateway-address wins.
QString gatewayAddress() {
    return QHostAddress((127u << 24) | (QRandomGenerator::global()->bounded(1u << 24) | 1u))
        .toString();
}
} // namespace

QProcessEnvironment PocketlaneProcess::Environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_RUNTIME_DIR"_s, m_home.path()); // private (0700) as it must be
    environment.insert(u"XDG_CONFIG_HOME"_s, m_home.path());
    environment.insert(u"XDG_DATA_HOME"_s, m_home.path());
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    return environment;
}

QByteArray PocketlaneProcess::StandardError() {
    return m_stderr += m_process.readAllStandardError();
}

QByteArray PocketlaneProcess::StandardOutput() {
    return m_stdout += m_process.readAllStandardOutput();
}

PocketlaneProcess::Run PocketlaneProcess::RunToEnd(const QStringList& arguments,
                                                   const QProcessEnvironment& environment,
                                                   const QStringList& wrapper) {
    QProcess process;
    process.setProcessEnvironment(environment);
    startWrapped(process, arguments, wrapper);
    const int exitCode = waitForEnd(process);
    return {exitCode, process.readAllStandardOutput(), process.readAllStandardError()};
}

void PocketlaneProcess::Launch(const QStringList& arguments, const QStringList& wrapper) {
    m_stderr.clear();
    m_stdout.clear();
    startWrapped(m_process, arguments, wrapper);
}

bool PocketlaneProcess::Start(const QStringList& extraArguments) {
    // A port found free may be taken by a parallel test before the program
    // binds it; then try another.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = FreePort();
        Launch(QStringList{u"--headless"_s, u"--offline"_s, u"--port"_s, QString::number(m_port),
                           u"--gateway-address"_s, gatewayAddress()} +
               extraArguments);
        const bool listening = QTest::qWaitFor(
            [&] { return m_process.state() == QProcess::NotRunning || IsListening(m_port); },
            TimeoutMs);
        if (listening && m_process.state() != QProcess::NotRunning)
            return true;
        m_process.waitForFinished(TimeoutMs);
        if (!StandardError().contains("already in use"))
            return false;
    }
    return false;
}

int PocketlaneProcess::Stop() {
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    m_process.terminate();
    const int exitCode = waitForEnd(m_process);
    StandardError();
    StandardOutput();
    return exitCode;
}
