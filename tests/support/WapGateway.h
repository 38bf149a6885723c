#pragma once

#include "support/ServiceProcess.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <functional>

// The Kannel WAP gateway (bearerbox and wapbox) on loopback only, configured
// in a temporary folder that also holds its logs.
//
// The WDP bearer listens on UDP 9200 (connectionless WSP) and 9201
// (connection-oriented WSP); Kannel has no setting for those ports, so each
// gateway takes a loopback address of its own (127.x.y.z) where they are
// free, and two gateways can run side by side. The admin and box ports are
// free TCP ports on 127.0.0.1. Bearerbox binds its box port to every
// interface; a preloaded shim narrows that bind to loopback. Outgoing HTTP
// leaves from 127.0.0.1, so the gateway cannot reach anything else.
//
//     WapGateway gateway;
//     QVERIFY2(gateway.start(), qPrintable(gateway.errorString()));
//     WspClient phone(gateway.address());
class WapGateway {
public:
    WapGateway();
    ~WapGateway();

    // The first of the Kannel programs and the bind shim that is not
    // installed/built; empty when all are there.
    static QString missing();
    // A loopback address 127.x.y.z where the bearer's UDP ports 9200 and
    // 9201 are free; null when none was found.
    static QHostAddress freeLoopbackAddress();

    // Writes kannel.conf, starts both boxes and waits until the wapbox has
    // joined the bearerbox; false with errorString() (logs included) if not.
    bool start(int timeoutMs = 60000);

    QHostAddress address() const { return m_address; }
    // Process ids of bearerbox and wapbox (0 when not running).
    QList<qint64> pids() const { return {m_bearerbox.pid(), m_wapbox.pid()}; }
    QString errorString() const { return m_error; }
    // Tails of the boxes' logs, for failure messages.
    QString logs() const;

    // The WML text of a compiled deck, white space kept, decoded by libwbxml2
    // (empty if it cannot be read): "<?xml ...><wml><card id=\"main\" ...".
    static QByteArray decompile(const QByteArray& wmlc);

private:
    // SIGTERM to wapbox and bearerbox, SIGKILL if they linger.
    void stop();
    // The bearerbox status page (WDP counters, connected boxes).
    QByteArray adminStatus() const;
    QString pathOf(const QString& name) const { return m_dir.filePath(name); }
    bool writeConfiguration();
    bool startOnce(int timeoutMs);
    // Starts the box and waits until `ready` or until the box or the
    // bearerbox has ended; false with errorString() if not ready.
    bool startBox(ServiceProcess& box, const QString& program, const QStringList& environment,
                  const std::function<bool()>& ready, int timeoutMs);
    bool fail(const QString& why);

    QTemporaryDir m_dir;
    ServiceProcess m_bearerbox;
    ServiceProcess m_wapbox;
    QHostAddress m_address;
    quint16 m_adminPort = 0;
    quint16 m_boxPort = 0;
    QByteArray m_adminPassword;
    QString m_error;
};
