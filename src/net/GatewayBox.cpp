#include "net/GatewayBox.h"

#include "base/SafeText.h"
#include "base/StatusLog.h"

#include <QFileInfo>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr qsizetype LoggedCharacters = 400;

// "2026-12-07 18:30:53 [7091] [0] ERROR: text" without the date and the
// process and thread numbers.
QByteArray withoutStamp(const QByteArray& line) {
    const qsizetype threadEnd = line.indexOf("] ", line.indexOf("] ") + 2);
    return threadEnd < 0 ? line : line.mid(threadEnd + 2);
}

bool isErrorLine(const QByteArray& message) {
    return message.startsWith("ERROR:") || message.startsWith("PANIC:");
}

} // namespace

GatewayBox::GatewayBox(StatusLog& log, QString program, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_program(std::move(program))
    , m_name(QFileInfo(m_program).fileName()) {
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    m_kill.setSingleShot(true);
    m_kill.setInterval(StopGraceMs);
    connect(&m_kill, &QTimer::timeout, &m_process, &QProcess::kill);
    connect(&m_process, &QProcess::readyRead, this, &GatewayBox::readLines);
    connect(&m_process, &QProcess::finished, this, &GatewayBox::onFinished);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            onFinished(-1, QProcess::CrashExit);
    });
}

GatewayBox::~GatewayBox() {
    StopAndWait();
}

void GatewayBox::Start(const QString& configFile) {
    m_stopAsked = false;
    m_started.start();
    // "-v 1": information, warnings and errors on the console, which is read
    // here; no log file of its own.
    m_process.start(m_program, {QStringLiteral("-v"), QStringLiteral("1"), configFile});
}

void GatewayBox::Stop() {
    if (!IsRunning())
        return;
    m_stopAsked = true;
    m_process.terminate();
    m_kill.start();
}

void GatewayBox::StopAndWait() {
    if (!IsRunning())
        return;
    Stop();
    if (!m_process.waitForFinished(StopGraceMs)) {
        m_process.kill();
        m_process.waitForFinished(StopGraceMs);
    }
}

void GatewayBox::readLines() {
    while (m_process.canReadLine() || m_process.bytesAvailable() >= MaxLineBytes) {
        QByteArray line = m_process.readLine(MaxLineBytes + 1);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            logLine(line);
    }
}

void GatewayBox::logLine(const QByteArray& line) {
    const QByteArray message = withoutStamp(line);
    m_log.LogStatus(isErrorLine(message) ? LogError : LogDetail,
                    m_name + QStringLiteral(": ") +
                        QString::fromUtf8(SafeText::ForLog(message, LoggedCharacters)));
    Q_EMIT LineRead(line);
}

void GatewayBox::onFinished(int exitCode, QProcess::ExitStatus status) {
    m_kill.stop();
    readLines();
    const QString how = status == QProcess::CrashExit
                            ? (exitCode < 0 ? QStringLiteral("could not be started")
                                            : QStringLiteral("was ended by a signal"))
                            : QStringLiteral("exited with status %1").arg(exitCode);
    Q_EMIT Ended(!m_stopAsked, how);
}
