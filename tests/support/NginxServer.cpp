#include "support/NginxServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {
constexpr int StartTimeoutMs = 30000;
constexpr int StartAttempts = 3;

// Tab-separated so that the request line keeps its spaces; nginx escapes
// control characters in logged values, so a field never holds a tab.
const char* const accessLogFormat =
    "$connection\\t$connection_requests\\t$status\\t$request\\t$http_user_agent\\t$http_accept";

NginxServer::Request parseAccessLine(const QByteArray& line) {
    const QList<QByteArray> fields = line.split('\t');
    NginxServer::Request request;
    if (fields.size() < 6)
        return request;
    request.connection = fields[0].toLongLong();
    request.requestOnConnection = fields[1].toInt();
    request.status = fields[2].toInt();
    request.requestLine = fields[3];
    request.userAgent = fields[4];
    request.accept = fields[5];
    return request;
}
} // namespace

NginxServer::NginxServer() {
    QDir(m_dir.path()).mkpath(QStringLiteral("www"));
    QDir(m_dir.path()).mkpath(QStringLiteral("tmp"));
}

NginxServer::~NginxServer() {
    stop();
}

QString NginxServer::programPath() {
    return QStringLiteral("/usr/sbin/nginx");
}

bool NginxServer::addFile(const QString& relativePath, const QByteArray& contents) {
    const QString path = QDir(documentRoot()).filePath(relativePath);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

QString NginxServer::documentRoot() const {
    return pathOf(QStringLiteral("www"));
}

QByteArray NginxServer::url(const QByteArray& path) const {
    return "http://127.0.0.1:" + QByteArray::number(m_port) + path;
}

bool NginxServer::writeConfiguration() {
    const QByteArray dir = QFile::encodeName(m_dir.path());
    QByteArray config;
    config += "worker_processes 1;\ndaemon off;\nmaster_process on;\n";
    // As root nginx would hand its worker to "nobody", who cannot read the
    // private temporary folder.
    if (::geteuid() == 0)
        config += "user root;\n";
    config += "pid " + dir + "/nginx.pid;\nerror_log " + dir + "/error.log info;\n";
    config += "events { worker_connections 1024; }\nhttp {\n";
    config += "  types { text/vnd.wap.wml wml; application/vnd.wap.wmlc wmlc;\n"
              "          image/vnd.wap.wbmp wbmp; image/gif gif; image/jpeg jpg jpeg;\n"
              "          image/png png; audio/midi mid midi; text/plain txt; }\n"
              "  default_type application/octet-stream;\n";
    config += "  log_format harness \"" + QByteArray(accessLogFormat) + "\";\n";
    config += "  access_log " + dir + "/access.log harness;\n";
    for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        config += "  " + QByteArray(kind) + "_temp_path " + dir + "/tmp/" + kind + ";\n";
    config += m_keepAlive ? "  keepalive_timeout 65;\n" : "  keepalive_timeout 0;\n";
    config += "  server {\n    listen 127.0.0.1:" + QByteArray::number(m_port) + ";\n";
    config += "    root " + dir + "/www;\n    index index.wml;\n";
    config += "    location /chunked/ { ssi on; ssi_types *; }\n  }\n}\n";
    QFile file(pathOf(QStringLiteral("nginx.conf")));
    return file.open(QIODevice::WriteOnly) && file.write(config) == config.size();
}

bool NginxServer::start() {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_dir.errorString();
        return false;
    }
    // The free port may be taken between the probe and nginx's bind.
    for (int attempt = 0; attempt < StartAttempts; ++attempt) {
        if (startOnce())
            return true;
    }
    return false;
}

bool NginxServer::startOnce() {
    m_port = TestSupport::freeLoopbackTcpPort();
    if (!writeConfiguration()) {
        m_error = QStringLiteral("cannot write nginx.conf in ") + m_dir.path();
        return false;
    }
    const QStringList arguments{QStringLiteral("-p"), m_dir.path(),
                                QStringLiteral("-c"), pathOf(QStringLiteral("nginx.conf")),
                                QStringLiteral("-e"), pathOf(QStringLiteral("error.log"))};
    if (!m_process.start(programPath(), arguments, pathOf(QStringLiteral("nginx.out")))) {
        m_error = m_process.errorString();
        return false;
    }
    const bool ready = TestSupport::waitUntil(
        [this] { return !m_process.isRunning() || TestSupport::acceptsConnections(m_port); },
        StartTimeoutMs);
    if (ready && m_process.isRunning())
        return true;
    m_error = QStringLiteral("nginx did not come up on port %1 (%2)\n%3")
                  .arg(m_port)
                  .arg(m_process.exitDescription(), logs());
    m_process.stop();
    return false;
}

void NginxServer::stop() {
    m_process.stop();
}

QList<NginxServer::Request> NginxServer::requests() const {
    QFile file(pathOf(QStringLiteral("access.log")));
    QList<Request> requests;
    if (!file.open(QIODevice::ReadOnly))
        return requests;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            requests.append(parseAccessLine(line));
    }
    return requests;
}

QString NginxServer::logs() const {
    return QStringLiteral("--- nginx error log:\n") +
           QString::fromLocal8Bit(TestSupport::tailOfFile(pathOf(QStringLiteral("error.log")))) +
           QStringLiteral("\n--- nginx output:\n") +
           QString::fromLocal8Bit(TestSupport::tailOfFile(pathOf(QStringLiteral("nginx.out")))) +
           QStringLiteral("\n--- nginx access log:\n") +
           QString::fromLocal8Bit(TestSupport::tailOfFile(pathOf(QStringLiteral("access.log"))));
}
