#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

// A home router for tests: Debian's miniupnpd inside network namespaces made
// by tests/support/upnp-rig.sh: a PC namespace (192.168.77.20 behind the
// router), the router's and a WAN namespace standing in for the internet.
// Nothing is connected to the machine's own network. Each rig has its own
// name prefix, so that tests may run side by side; the destructor tears it
// down.
class UpnpRig {
public:
    explicit UpnpRig(const QString& prefix)
        : m_prefix(prefix) {}
    ~UpnpRig();
    UpnpRig(const UpnpRig&) = delete;
    UpnpRig& operator=(const UpnpRig&) = delete;

    // Why the rig cannot run here (not root, a tool missing); empty if it can.
    static QString SkipReason();

    // Builds the rig, or changes a running one to the knobs given
    // (RIG_WAN_IP, RIG_ALLOW, ...).
    bool Up(const QMap<QString, QString>& knobs = {});
    // A command of the rig script (restart-daemon, stop-daemon, run CMD...
    // in the PC, router CMD... in the router) with `input` on its standard
    // input; false when it failed, its output in Output() either way.
    bool Run(const QStringList& arguments, const QByteArray& input = {});
    QByteArray Output() const { return m_output; }

    QString PcNamespace() const { return m_prefix + QStringLiteral("-pc"); }
    // The internet side: it reaches the router's public address only.
    QString WanNamespace() const { return m_prefix + QStringLiteral("-wan"); }
    // What runs a program inside the PC namespace, put before it.
    QStringList InPc() const {
        return QStringLiteral("ip netns exec %1").arg(PcNamespace()).split(u' ');
    }

private:
    QString m_prefix;
    QMap<QString, QString> m_knobs;
    QByteArray m_output;
    bool m_up = false;
};

// Runs `work` on a thread of its own that has entered the network namespace
// `name`; sockets made there stay in that namespace wherever they are used.
bool RunInNamespace(const QString& name, const std::function<void()>& work);

// A TCP socket listening on the namespace's own 127.0.0.1 at a port the
// kernel picks (-1 on failure), for QTcpServer::setSocketDescriptor.
qintptr ListenOnLoopbackIn(const QString& name);
