#include "support/ServiceProcess.h"

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
