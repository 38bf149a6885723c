#pragma once

#include "support/ServiceProcess.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

// nginx with one worker on 127.0.0.1 and a free port, serving a document root
// inside its own temporary folder (configuration, pid, logs and temp paths
// live there too). Files under "/chunked/" are sent with chunked transfer
// encoding instead of a Content-Length, the way a generated answer comes.
//
//     NginxServer web;
//     web.addFile("index.wml", deck);
//     QVERIFY2(web.start(), qPrintable(web.errorString()));
//     web.url("/index.wml");   // "http://127.0.0.1:<port>/index.wml"
class NginxServer {
public:
    // One line of the access log: which HTTP connection served the request and
    // how many requests that connection had carried by then.
    struct Request {
        qint64 connection = 0;
        int requestOnConnection = 0;
        QByteArray requestLine;
        int status = 0;
        QByteArray userAgent;
        QByteArray accept;
    };

    NginxServer();
    ~NginxServer();

    static QString programPath();

    // Files to serve; relativePath below the document root, folders are created.
    bool addFile(const QString& relativePath, const QByteArray& contents);
    // Without keep-alive every answer says "Connection: close" and nginx closes.
    void setKeepAlive(bool keepAlive) { m_keepAlive = keepAlive; }

    bool start();
    void stop();
    bool isRunning() { return m_process.isRunning(); }

    quint16 port() const { return m_port; }
    qint64 pid() const { return m_process.pid(); }
    QByteArray url(const QByteArray& path) const;
    QString documentRoot() const;
    QString errorString() const { return m_error; }

    QList<Request> requests() const;
    // Error log and access log tails, for failure messages.
    QString logs() const;

private:
    QString pathOf(const QString& name) const { return m_dir.filePath(name); }
    bool writeConfiguration();
    bool startOnce();

    QTemporaryDir m_dir;
    ServiceProcess m_process;
    quint16 m_port = 0;
    bool m_keepAlive = true;
    QString m_error;
};
