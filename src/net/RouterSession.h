#pragma once

#include "net/UpnpRouter.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

// What one step of the port-forward sequence learnt from the router.
struct RouterFacts {
    UpnpRouter::Presence presence = UpnpRouter::Presence::NoUpnpSoftware;
    // The UPnP code of the changes asked for (removals or mappings), if any
    // was: the first failure's, else 0.
    std::optional<int> code;
    // Read by the steps that judge the mapping: every mapping in the router's
    // order, and the router's own internet address (see UpnpRouter).
    QList<UpnpRouter::Mapping> mappings;
    std::optional<QString> routerAddress;
};

// The port-forward sequence with the home router, on the worker thread that
// owns this object: every step blocks until the router answered. The router
// found is kept from one step to the next; it is discovered on first use,
// and again only when none was found or it stopped answering (then the step
// is asked once more of the router discovered anew).
class RouterSession : public QObject {
    Q_OBJECT
public:
    // Without `upnpSoftware` the PC behaves as one without UPnP software.
    RouterSession(int discoveryMs, bool upnpSoftware);
    ~RouterSession() override;

    // Removes the mappings of the external ports and protocols of
    // `mappings`, and those of `whenOurs` only where the router takes them
    // to the same machine (another machine's mapping stays).
    RouterFacts RemoveMappings(const QList<UpnpRouter::Mapping>& mappings,
                               const QList<UpnpRouter::Mapping>& whenOurs = {});
    // Adds `mappings`, then reads the router's own address.
    RouterFacts AddMappings(const QList<UpnpRouter::Mapping>& mappings);
    // Adds again each of `mappings` that the router lost or gave to another
    // machine (the code says so), then reads everything.
    RouterFacts KeepMappings(const QList<UpnpRouter::Mapping>& mappings);
    // Reads the mappings and the router's own address.
    RouterFacts Read();

private:
    template <typename Step> RouterFacts ask(Step step);
    UpnpRouter& router();
    static void readInto(UpnpRouter& router, RouterFacts& facts);

    int m_discoveryMs;
    bool m_upnpSoftware;
    std::unique_ptr<UpnpRouter> m_router;
};
