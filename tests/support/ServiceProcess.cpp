#include "support/ServiceProcess.h"

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

bool ServiceProcess::start(const QString& program, const QStringList& arguments,
                           const QString& outputFile, const QStringList& extraEnvironment) {
    // Proxy settings in the environment must never send a helper's traffic
    // anywhere but loopback.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        environment.remove(QString::fromLatin1(name));
    for (const QString& assignment : extraEnvironment)
        environment.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
    m_process.setProcessEnvironment(environment);
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setStandardOutputFile(outputFile, QIODevice::Append);
    m_process.setStandardErrorFile(outputFile, QIODevice::Append);
    m_process.setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    m_process.start(program, arguments);
    m_error = m_process.waitForStarted(30000)
                  ? QString()
                  : program + u" did not start: "_s + m_process.errorString();
    m_pid = m_error.isEmpty() ? m_process.processId() : 0;
    return m_error.isEmpty();
}

bool ServiceProcess::isRunning() {
    return m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(0);
}

void ServiceProcess::stop(int gracePeriodMs) {
    if (m_pid > 0 && isRunning()) {
        ::kill(-static_cast<pid_t>(m_pid), SIGTERM);
        if (!m_process.waitForFinished(gracePeriodMs)) {
            ::kill(-static_cast<pid_t>(m_pid), SIGKILL);
            m_process.waitForFinished(10000);
        }
    }
    m_pid = 0;
}

QString ServiceProcess::exitDescription() {
    return isRunning() ? u"still running"_s
           : m_process.exitStatus() == QProcess::CrashExit
               ? u"ended by a signal"_s
               : u"exited with status %1"_s.arg(m_process.exitCode());
}
