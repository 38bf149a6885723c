#include "net/RouterSession.h"

using Presence = UpnpRouter::Presence;

RouterSession::RouterSession(int discoveryMs, bool upnpSoftware)
    : m_discoveryMs(discoveryMs)
    , m_upnpSoftware(upnpSoftware) {}

RouterSession::~RouterSession() = default;

UpnpRouter& RouterSession::router() {
    if (!m_router || m_router->Found() != Presence::MappingService)
        m_router = std::make_unique<UpnpRouter>(m_discoveryMs, m_upnpSoftware);
    return *m_router;
}

// A router that stopped answering may have restarted at another address:
// one new discovery, and the step once more.
template <typename Step> RouterFacts RouterSession::ask(Step step) {
    RouterFacts facts = step(router());
    if (!m_router->StoppedAnswering())
        return facts;
    m_router.reset();
    return step(router());
}

void RouterSession::readInto(UpnpRouter& router, RouterFacts& facts) {
    facts.mappings = router.Mappings();
    facts.routerAddress = router.ExternalAddress();
}

RouterFacts RouterSession::RemoveMapping(const UpnpRouter::Mapping& mapping) {
    return ask([&mapping](UpnpRouter& router) {
        RouterFacts facts;
        facts.presence = router.Found();
        if (facts.presence == Presence::MappingService)
            facts.code = router.DeleteMapping(mapping.externalPort, mapping.protocol);
        return facts;
    });
}

RouterFacts RouterSession::AddMapping(const UpnpRouter::Mapping& mapping) {
    return ask([&mapping](UpnpRouter& router) {
        RouterFacts facts;
        facts.presence = router.Found();
        if (facts.presence == Presence::MappingService) {
            facts.code = router.AddMapping(mapping);
            facts.routerAddress = router.ExternalAddress();
        }
        return facts;
    });
}

RouterFacts RouterSession::KeepMapping(const UpnpRouter::Mapping& mapping) {
    return ask([&mapping](UpnpRouter& router) {
        RouterFacts facts;
        facts.presence = router.Found();
        if (facts.presence != Presence::MappingService)
            return facts;
        UpnpRouter::Mapping present;
        const bool inPlace =
            router.SpecificMapping(mapping.externalPort, mapping.protocol, present) == 0 &&
            present.internalClient == mapping.internalClient &&
            present.internalPort == mapping.internalPort;
        if (!inPlace)
            facts.code = router.AddMapping(mapping);
        readInto(router, facts);
        return facts;
    });
}

RouterFacts RouterSession::Read() {
    return ask([](UpnpRouter& router) {
        RouterFacts facts;
        facts.presence = router.Found();
        readInto(router, facts);
        return facts;
    });
}
