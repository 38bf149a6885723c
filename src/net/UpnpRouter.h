#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <optional>

// One conversation with the home router over UPnP: discovery of its
// Internet Gateway Device when made, then any number of port-mapping calls. Every call
// blocks (discovery for its whole waiting time, a hung router until the UPnP
// library's own time-outs), so it belongs on a worker thread, never on the
// event loop's.
class UpnpRouter {
public:
    enum class Presence {
        // The PC has no UPnP software (asked for by the options): nothing is
        // sent.
        NoUpnpSoftware,
        // Discovery found no router, or none that offers port mappings.
        NoMappingService,
        MappingService,
    };

    struct Mapping {
        quint16 externalPort = 0;
        QString protocol;
        QString internalClient;
        quint16 internalPort = 0;
        QString description;
    };

    // How long discovery waits for routers to answer.
    static constexpr int DefaultDiscoveryMs = 2000;
    // A router that lists mappings without end is not walked further.
    static constexpr int MaxMappingsWalked = 4096;

    // Without `upnpSoftware` the router behaves as on a PC without UPnP
    // software: nothing is sent.
    explicit UpnpRouter(int discoveryMs = DefaultDiscoveryMs, bool upnpSoftware = true);
    ~UpnpRouter();
    UpnpRouter(const UpnpRouter&) = delete;
    UpnpRouter& operator=(const UpnpRouter&) = delete;

    Presence Found() const { return m_presence; }
    // Whether a call got no answer from the router found: it has gone away
    // (or restarted elsewhere), and a new discovery is needed.
    bool StoppedAnswering() const { return m_stoppedAnswering; }

    // The calls below return the UPnP error code (0 on success; negative
    // for a failure before the router answered) and fail when no mapping
    // service was found.
    int AddMapping(const Mapping& mapping);
    int DeleteMapping(quint16 externalPort, const QString& protocol);
    // The mapping of one external port, if the router has one.
    int SpecificMapping(quint16 externalPort, const QString& protocol, Mapping& mapping);
    // Every mapping in the router's own order.
    QList<Mapping> Mappings();
    // The router's own address on its internet side: empty when the router
    // says it has none, no value when it did not answer.
    std::optional<QString> ExternalAddress();

private:
    int noted(int code);

    struct Session;
    std::unique_ptr<Session> m_session;
    Presence m_presence = Presence::NoUpnpSoftware;
    bool m_stoppedAnswering = false;
};
