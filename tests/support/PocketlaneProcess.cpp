#include "support/PocketlaneProcess.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {
constexpr int StartTimeoutMs = 30000;
constexpr int StopTimeoutMs = 30000;
} // namespace

PocketlaneProcess::PocketlaneProcess() {
    QDir(m_home.path()).mkpath(QStringLiteral("runtime"));
    QDir(m_home.path()).mkpath(QStringLiteral("config"));
    QFile::setPermissions(RuntimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_process.setProcessEnvironment(Environment());
}

PocketlaneProcess::~PocketlaneProcess() {
    if (m_process.state() != QProcess::NotRunning)
        Stop();
}

QString PocketlaneProcess::RuntimeDir() const {
    return m_home.filePath(QStringLiteral("runtime"));
}

QString PocketlaneProcess::ConfigDir() const {
    return m_home.filePath(QStringLiteral("config"));
}

QProcessEnvironment PocketlaneProcess::Environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), RuntimeDir());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), ConfigDir());
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return environment;
}

QByteArray PocketlaneProcess::StandardError() {
    m_stderr += m_process.readAllStandardError();
    return m_stderr;
}

PocketlaneProcess::Run PocketlaneProcess::RunToEnd(const QStringList& arguments,
                                                   const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(TestSupport::programPath(), arguments);
    Run run;
    if (!process.waitForFinished(StopTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

quint16 PocketlaneProcess::FreePort() {
    return TestSupport::freeLoopbackTcpPort();
}

bool PocketlaneProcess::IsListening(quint16 port) {
    return TestSupport::listensOn(port);
}

bool PocketlaneProcess::Start(const QStringList& extraArguments) {
    // A port found free may be taken by a parallel test before the program
    // binds it; then try another.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = FreePort();
        m_stderr.clear();
        m_process.start(TestSupport::programPath(),
                        QStringList{QStringLiteral("--headless"), QStringLiteral("--offline"),
                                    QStringLiteral("--port"), QString::number(m_port)} +
                            extraArguments);
        if (!m_process.waitForStarted(StartTimeoutMs))
            return false;
        const bool listening = QTest::qWaitFor(
            [&] { return m_process.state() != QProcess::Running || IsListening(m_port); },
            StartTimeoutMs);
        if (listening && m_process.state() == QProcess::Running)
            return true;
        m_process.waitForFinished(StopTimeoutMs);
        if (!StandardError().contains("already in use"))
            return false;
    }
    return false;
}

int PocketlaneProcess::Stop() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(StopTimeoutMs)) {
            m_process.kill();
            m_process.waitForFinished(StopTimeoutMs);
            return -1;
        }
        StandardError();
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}
