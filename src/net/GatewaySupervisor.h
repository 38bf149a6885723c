#pragma once

#include "net/GatewayBox.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class StatusLog;

// The built-in WAP gateway: Kannel's bearerbox and wapbox run as child
// processes for phones that speak WSP over UDP (port 9200 connectionless,
// 9201 connection-oriented) and fetch their pages only from this server.
//
// Each start writes a configuration of its own (mode 0600): the
// administration and box ports on loopback with a random password, and
// every page the wapbox fetches sent through this server as its HTTP proxy,
// whatever host and port the phone named, so that the gateway opens nothing
// but this site. A box that ends by itself is started again after a delay
// that grows with each failure in a row (1 s, 2 s, 4 s ... up to a minute).
//
//     GatewaySupervisor gateway(log, {configFile, QStringLiteral("*")});
//     gateway.Start(server.Port());
class GatewaySupervisor : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool running READ IsRunning NOTIFY RunningChanged)
public:
    static constexpr quint16 ConnectionlessPort = 9200;
    static constexpr quint16 ConnectionOrientedPort = 9201;
    static constexpr int FirstRestartDelayMs = 1000;
    static constexpr int LongestRestartDelayMs = 60000;
    // A box that ran this long before it ended starts again after the first delay.
    static constexpr int SteadyRunMs = 60000;

    struct Options {
        // The configuration file that each start writes.
        QString configFile;
        // The address the phones' UDP ports listen on; "*" for every address.
        QString phoneAddress = QStringLiteral("*");
    };

    // The words an owner without Kannel reads.
    static QString InstallAdvice();
    // The path of a Kannel program: in $POCKETLANE_KANNEL_DIR when that is
    // set, else on the PATH or in the system's sbin folders; empty when it
    // is not installed.
    static QString KannelProgram(const QString& name);
    static bool KannelInstalled();

    GatewaySupervisor(StatusLog& log, Options options, QObject* parent = nullptr);
    ~GatewaySupervisor() override;

    // Runs the gateway in front of this server's `serverPort` (nothing
    // happens while it already runs for that port, or without Kannel).
    void Start(quint16 serverPort);
    void Stop();
    // Both boxes run and the wapbox has joined the bearerbox.
    bool IsRunning() const { return m_running; }
    bool IsStarted() const { return m_serverPort != 0; }

Q_SIGNALS:
    void RunningChanged(bool running);

private:
    QByteArray configuration() const;
    bool writeConfiguration();
    void startBearerbox();
    void startWapbox();
    void onLine(const GatewayBox& box, const QByteArray& line);
    void onEnded(GatewayBox& box, bool unasked, const QString& how);
    // Starts `timer` with the next delay for the box; returns the delay.
    int restartLater(const GatewayBox& box, int& failures, QTimer& timer);
    void setRunning(bool running);

    StatusLog& m_log;
    Options m_options;
    std::unique_ptr<GatewayBox> m_bearerbox;
    std::unique_ptr<GatewayBox> m_wapbox;
    QTimer m_bearerboxRestart;
    QTimer m_wapboxRestart;
    int m_bearerboxFailures = 0;
    int m_wapboxFailures = 0;
    quint16 m_serverPort = 0;
    quint16 m_adminPort = 0;
    quint16 m_boxPort = 0;
    QByteArray m_adminPassword;
    bool m_bearerboxReady = false;
    bool m_running = false;
};
