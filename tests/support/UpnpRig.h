#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QProcessEnvironment>
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
    static constexpr const char* PcAddress = "192.168.77.20";

    explicit UpnpRig(const QString& prefix);
    ~UpnpRig();
    UpnpRig(const UpnpRig&) = delete;
    UpnpRig& operator=(const UpnpRig&) = delete;

    // Why the rig cannot run here (not root, a tool missing); empty if it can.
    static QString SkipReason();

    // Builds the rig, or changes a running one to the knobs given
    // (RIG_WAN_IP, RIG_ALLOW, ...); false with the reason in Output().
    bool Up(const QMap<QString, QString>& knobs = {});
    void Down();
    // A further command of the rig script: restart-daemon, stop-daemon.
    bool Command(const QString& command);
    QByteArray Output() const { return m_output; }

    // The router's mappings as the UPnP client lists them from the PC.
    QByteArray ListMappings();
    // Adds a mapping from the PC with the UPnP client.
    bool AddMapping(quint16 externalPort, const QString& internalClient, quint16 internalPort);
    // Makes the router's UPnP web service hang: its TCP port drops every
    // packet, while discovery still answers. Undone by Unstall.
    bool StallWebService();
    bool Unstall();

    QString PcNamespace() const { return m_prefix + QStringLiteral("-pc"); }
    QString WanNamespace() const { return m_prefix + QStringLiteral("-wan"); }
    // The WAN namespace's own address ("the internet" seen from the router).
    QString WanPeerAddress() const;

    // Program and arguments that run `program` inside the PC namespace.
    QStringList InPc(const QString& program, const QStringList& arguments) const;

private:
    bool script(const QStringList& arguments, const QByteArray& input = {});

    QString m_prefix;
    QMap<QString, QString> m_knobs;
    QByteArray m_output;
    bool m_up = false;
};

// Runs `work` on a thread of its own that has entered the network namespace
// `name`; sockets made there stay in that namespace wherever they are used.
bool RunInNamespace(const QString& name, const std::function<void()>& work);

// A listening TCP socket inside the namespace (-1 on failure), for
// QTcpServer::setSocketDescriptor.
qintptr ListenInNamespace(const QString& name, const QHostAddress& address, quint16 port);
