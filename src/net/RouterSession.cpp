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

namespace {

// Notes the code of one change: the first failure is kept.
void noteCode(RouterFacts& facts, int code) {
    if (!facts.code || *facts.code == 0)
        facts.code = code;
}

bool sameTarget(UpnpRouter& router, const UpnpRouter::Mapping& mapping) {
    UpnpRouter::Mapping present;
    return router.SpecificMapping(mapping.externalPort, mapping.protocol, present) == 0 &&
           present.internalClient == mapping.internalClient &&
           present.internalPort == mapping.internalPort;
}

} // namespace

RouterFacts RouterSession::RemoveMappings(const QList<UpnpRouter::Mapping>& mappings,
                                          const QList<UpnpRouter::Mapping>& whenOurs) {
    return ask([&](UpnpRouter& router) {
        RouterFacts facts;
        facts.presence = router.Found();
        if (facts.presence != Presence::MappingService)
            return facts;
        for (const UpnpRouter::Mapping& mapping : mappings)
            noteCode(facts, router.DeleteMapping(mapping.externalPort, mapping.protocol));
        for (const UpnpRouter::Mapping& mapping : whenOurs)
            if (sameTarget(router, mapping))
                noteCode(facts, router.DeleteMapping(mapping.externalPort, mapping.protocol));
        return facts;
    });
}

RouterFacts RouterSession::AddMappings(const QList<UpnpRouter::Mapping>& mappings) {
    return ask([&mappings](UpnpRouter& router) {
        RouterFacts facts;
        facts.presence = router.Found();
        if (facts.presence == Presence::MappingService) {
            for (const UpnpRouter::Mapping& mapping : mappings)
                noteCode(facts, router.AddMapping(mapping));
            facts.routerAddress = router.ExternalAddress();
        }
        return facts;
    });
}

RouterFacts RouterSession::KeepMappings(const QList<UpnpRouter::Mapping>& mappings) {
    return ask([&mappings](UpnpRouter& router) {
        RouterFacts facts;
        facts.presence = router.Found();
        if (facts.presence != Presence::MappingService)
            return facts;
        for (const UpnpRouter::Mapping& mapping : mappings)
            if (!sameTarget(router, mapping))
                noteCode(facts, router.AddMapping(mapping));
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
