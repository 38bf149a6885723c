#include "net/GatewaySupervisor.h"

#include "base/StatusLog.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>

namespace {

const QStringList SystemProgramFolders{QStringLiteral("/usr/local/sbin"),
                                       QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")};
const QString BearerboxName = QStringLiteral("bearerbox");
const QString WapboxName = QStringLiteral("wapbox");

// The console lines that tell a box is ready.
constexpr char BearerboxReady[] = "Start-up done";
constexpr char WapboxReady[] = "Connected to bearerbox";

// A TCP port on loopback that is free now. The box that takes it later may
// find it taken meanwhile; it then ends and its next start gets another.
quint16 freeLoopbackPort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

QByteArray randomPassword() {
    QByteArray bytes(18, Qt::Uninitialized);
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray quoted(const QByteArray& value) {
    return '"' + value + '"';
}

} // namespace

QString GatewaySupervisor::InstallAdvice() {
    return QStringLiteral("The built-in gateway needs Kannel: apt install kannel");
}

QString GatewaySupervisor::KannelProgram(const QString& name) {
    const QString folder = qEnvironmentVariable("POCKETLANE_KANNEL_DIR");
    if (!folder.isEmpty())
        return QStandardPaths::findExecutable(name, {folder});
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty() ? QStandardPaths::findExecutable(name, SystemProgramFolders) : onPath;
}

bool GatewaySupervisor::KannelInstalled() {
    return !KannelProgram(BearerboxName).isEmpty() && !KannelProgram(WapboxName).isEmpty();
}

GatewaySupervisor::GatewaySupervisor(StatusLog& log, Options options, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_options(std::move(options)) {
    for (QTimer* timer : {&m_bearerboxRestart, &m_wapboxRestart})
        timer->setSingleShot(true);
    connect(&m_bearerboxRestart, &QTimer::timeout, this, &GatewaySupervisor::startBearerbox);
    connect(&m_wapboxRestart, &QTimer::timeout, this, [this] {
        if (m_bearerboxReady)
            startWapbox();
    });
}

GatewaySupervisor::~GatewaySupervisor() {
    if (m_wapbox)
        m_wapbox->StopAndWait();
    if (m_bearerbox)
        m_bearerbox->StopAndWait();
}

void GatewaySupervisor::Start(quint16 serverPort) {
    if (serverPort == 0 || serverPort == m_serverPort)
        return;
    if (!KannelInstalled() || m_options.configFile.isEmpty()) {
        m_log.LogStatus(LogError, m_options.configFile.isEmpty()
                                      ? QStringLiteral("The WAP gateway has no private runtime "
                                                       "folder for its configuration.")
                                      : InstallAdvice());
        return;
    }
    Stop();
    m_serverPort = serverPort;
    m_bearerbox = std::make_unique<GatewayBox>(m_log, KannelProgram(BearerboxName));
    m_wapbox = std::make_unique<GatewayBox>(m_log, KannelProgram(WapboxName));
    for (GatewayBox* box : {m_bearerbox.get(), m_wapbox.get()}) {
        connect(box, &GatewayBox::LineRead, this,
                [this, box](const QByteArray& line) { onLine(*box, line); });
        connect(box, &GatewayBox::Ended, this,
                [this, box](bool unasked, const QString& how) { onEnded(*box, unasked, how); });
    }
    m_bearerboxFailures = m_wapboxFailures = 0;
    m_log.LogStatus(LogNotice, QStringLiteral("Starting the WAP gateway (UDP ports %1 and %2).")
                                   .arg(ConnectionlessPort)
                                   .arg(ConnectionOrientedPort));
    startBearerbox();
}

void GatewaySupervisor::Stop() {
    if (!IsStarted())
        return;
    m_serverPort = 0;
    m_bearerboxRestart.stop();
    m_wapboxRestart.stop();
    m_wapbox->Stop();
    m_bearerbox->Stop();
    setRunning(false);
    m_log.LogStatus(LogNotice, QStringLiteral("The WAP gateway is stopping."));
}

QByteArray GatewaySupervisor::configuration() const {
    const QByteArray loopback = quoted("127.0.0.1");
    QByteArray text = "group = core\n"
                      "admin-interface = " +
                      loopback + "\nadmin-port = " + QByteArray::number(m_adminPort) +
                      "\nadmin-password = " + quoted(m_adminPassword) +
                      "\nadmin-allow-ip = " + loopback + "\nadmin-deny-ip = \"*.*.*.*\"" +
                      "\nwapbox-port = " + QByteArray::number(m_boxPort) +
                      "\nbox-allow-ip = " + loopback + "\nbox-deny-ip = \"*.*.*.*\"" +
                      "\nwdp-interface-name = " + quoted(m_options.phoneAddress.toLatin1()) +
                      // Every fetch goes to this server, which answers a
                      // request for any URL with its own page of that path.
                      "\nhttp-proxy-host = " + loopback +
                      "\nhttp-proxy-port = " + QByteArray::number(m_serverPort) + "\n";
    text += "\ngroup = wapbox\n"
            "bearerbox-host = " +
            loopback + "\nhttp-interface-name = " + loopback + "\nsyslog-level = none\n";
    return text;
}

// Written anew for each start of the bearerbox, readable by this user only:
// it holds the administration password.
bool GatewaySupervisor::writeConfiguration() {
    m_adminPort = freeLoopbackPort();
    m_boxPort = freeLoopbackPort();
    m_adminPassword = randomPassword();
    QFile::remove(m_options.configFile);
    QFile file(m_options.configFile);
    const QByteArray text = configuration();
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
        file.write(text) == text.size() && file.flush())
        return true;
    m_log.LogStatus(LogError, QStringLiteral("The WAP gateway cannot write its configuration ") +
                                  m_options.configFile + QStringLiteral(": ") + file.errorString());
    return false;
}

void GatewaySupervisor::startBearerbox() {
    if (!IsStarted())
        return;
    m_bearerboxReady = false;
    if (!writeConfiguration()) {
        restartLater(*m_bearerbox, m_bearerboxFailures, m_bearerboxRestart);
        return;
    }
    m_bearerbox->Start(m_options.configFile);
}

void GatewaySupervisor::startWapbox() {
    if (IsStarted() && !m_wapbox->IsRunning())
        m_wapbox->Start(m_options.configFile);
}

void GatewaySupervisor::onLine(const GatewayBox& box, const QByteArray& line) {
    if (&box == m_bearerbox.get() && !m_bearerboxReady && line.contains(BearerboxReady)) {
        m_bearerboxReady = true;
        startWapbox();
    } else if (&box == m_wapbox.get() && line.contains(WapboxReady)) {
        setRunning(true);
    }
}

void GatewaySupervisor::onEnded(GatewayBox& box, bool unasked, const QString& how) {
    if (&box == m_bearerbox.get())
        m_bearerboxReady = false;
    if (!unasked || !IsStarted()) {
        if (!m_bearerbox->IsRunning() && !m_wapbox->IsRunning())
            m_log.LogStatus(LogNotice, QStringLiteral("The WAP gateway has stopped."));
        return;
    }
    setRunning(false);
    int delayMs = 0;
    if (&box == m_bearerbox.get()) {
        // The wapbox cannot work without it; both start again in order.
        m_wapbox->Stop();
        delayMs = restartLater(box, m_bearerboxFailures, m_bearerboxRestart);
    } else {
        delayMs = restartLater(box, m_wapboxFailures, m_wapboxRestart);
    }
    m_log.LogStatus(
        LogError,
        box.Name() + u' ' + how +
            QStringLiteral("; the WAP gateway starts it again in %1 s.").arg(delayMs / 1000));
}

int GatewaySupervisor::restartLater(const GatewayBox& box, int& failures, QTimer& timer) {
    if (box.RunningMs() >= SteadyRunMs)
        failures = 0;
    timer.setInterval(
        std::min(FirstRestartDelayMs << std::min(failures, 6), LongestRestartDelayMs));
    ++failures;
    timer.start();
    return timer.interval();
}

void GatewaySupervisor::setRunning(bool running) {
    if (running == m_running)
        return;
    m_running = running;
    if (running)
        m_log.LogStatus(LogNotice, QStringLiteral("The WAP gateway runs."));
    Q_EMIT RunningChanged(running);
}
