#include "net/Reachability.h"

#include "base/StatusLog.h"
#include "net/GatewaySupervisor.h"
#include "net/LanAddress.h"
#include "net/PrimaryAddress.h"

namespace {

// The what-is-my-IP page asked by default: it answers a plain HTTP/1.0
// request with "Current IP Address: " and the asker's address.
const char* const DefaultPublicIpPage = "http://checkip.dyndns.org";
const QString Protocol = QStringLiteral("TCP");
const QString Description = QStringLiteral("Pocketlane");

using Presence = UpnpRouter::Presence;

} // namespace

Reachability::Reachability(StatusLog& log, Options options, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_options(std::move(options))
    , m_lookup(m_options.publicIpUrl)
    , m_router(m_options.discoveryMs, m_options.upnpSoftware) {
    if (!m_options.localIP)
        m_options.localIP = PrimaryIPv4Address;
    m_lookup.SetTimeLimit(m_options.lookupTimeLimitMs);
    connect(&m_lookup, &PublicAddressLookup::Found, this, &Reachability::onLookupFound);
    connect(&m_lookup, &PublicAddressLookup::Failed, this, &Reachability::onLookupFailed);
    m_recheck.setInterval(m_options.recheckMs);
    connect(&m_recheck, &QTimer::timeout, this, &Reachability::recheckMapping);
}

QUrl Reachability::DefaultPublicIpUrl() {
    return QUrl(QString::fromLatin1(DefaultPublicIpPage));
}

QString Reachability::LocalIP() const {
    return m_options.localIP();
}

UpnpRouter::Mapping Reachability::OurMapping() const {
    return {ExternalPort, Protocol, LocalIP(), m_servedPort, Description};
}

QList<UpnpRouter::Mapping> Reachability::GatewayMappings() const {
    QList<UpnpRouter::Mapping> mappings;
    for (const quint16 port :
         {GatewaySupervisor::ConnectionlessPort, GatewaySupervisor::ConnectionOrientedPort})
        mappings.append({port, QStringLiteral("UDP"), LocalIP(), port, Description});
    return mappings;
}

QList<UpnpRouter::Mapping> Reachability::OurMappings() const {
    return m_forwardGateway ? QList{OurMapping()} + GatewayMappings() : QList{OurMapping()};
}

// The gateway's UDP ports follow it: added by the next check once the
// forward is set up, removed at once (where they still lead here).
void Reachability::SetGatewayForwarded(bool on) {
    m_check.SetGatewayOn(on);
    if (std::exchange(m_forwardGateway, on) == on || !m_forwardPort)
        return;
    if (on) {
        if (m_recheck.isActive())
            recheckMapping();
        return;
    }
    m_router.Ask([gateway = GatewayMappings()](
                     RouterSession& router) { return router.RemoveMappings({}, gateway); },
                 [this](const RouterFacts& facts) { noteRouterPresence(facts.presence); });
}

void Reachability::setAddress(AddressState state, const QString& address) {
    if (m_addressState == state && m_address == address)
        return;
    m_addressState = state;
    m_address = address;
    Q_EMIT addressChanged();
    updateSiteUrls();
}

void Reachability::SetServedPort(quint16 servedPort) {
    m_servedPort = servedPort;
    m_siteOpen = true;
    updateSiteUrls();
}

void Reachability::SiteClosed() {
    m_siteOpen = false;
    updateSiteUrls();
}

void Reachability::updateSiteUrls() {
    const QString localIP = LocalIP();
    SiteAddresses urls;
    if (m_siteOpen && !localIP.isEmpty() && m_servedPort != 0)
        urls.lan = SiteAddresses::Url(localIP, m_servedPort);
    if (m_siteOpen && m_addressState == AddressState::Found)
        urls.internet = SiteAddresses::Url(m_address, ExternalPort);
    if (std::exchange(m_siteUrls, urls) != urls)
        Q_EMIT siteUrlsChanged();
}

void Reachability::StartUp(quint16 servedPort) {
    SetServedPort(servedPort);
    const QString localIP = LocalIP();
    m_runningOnLan = IsRunningOnLan(localIP);
    m_check.NoteNetwork(localIP, m_runningOnLan);
    if (!m_runningOnLan) {
        setAddress(AddressState::Local, localIP);
        return;
    }
    m_forwardPort = true;
    RemovePortForward();
    whenRemoveApplied([this] {
        m_log.LogStatus(
            LogNotice,
            QStringLiteral("You are running on a LAN. Attempting to determine public IP."));
    });
    startLookup();
}

void Reachability::LookUpAndCheck(quint16 servedPort) {
    m_servedPort = servedPort;
    m_runningOnLan = IsRunningOnLan(LocalIP());
    if (!m_runningOnLan) {
        CheckSetup();
        return;
    }
    m_checkAfterLookup = true;
    setCheckRunning(true);
    startLookup();
}

// The lookup runs at once, beside the removal of the old mapping; its
// outcome is applied after the removal's.
void Reachability::startLookup() {
    m_check.AnswerLocating();
    setAddress(AddressState::Locating);
    m_lookup.Start();
}

void Reachability::whenRemoveApplied(std::function<void()> step) {
    if (m_removeApplied)
        return step();
    m_afterRemove = [previous = std::move(m_afterRemove), step = std::move(step)] {
        if (previous)
            previous();
        step();
    };
}

void Reachability::onLookupFound(const QString& address) {
    whenRemoveApplied([this, address] {
        setAddress(AddressState::Found, address);
        m_check.AnswerPublicAddress(address);
        m_log.LogStatus(LogNotice, QStringLiteral("Found public IP address:") + address);
        if (m_forwardPort)
            SetupPortForward();
        endLookupCheck();
    });
}

void Reachability::onLookupFailed(const QString& description) {
    whenRemoveApplied([this, description] {
        m_log.LogStatus(LogError,
                        description.isEmpty()
                            ? QStringLiteral("Failed to find public IP address.")
                            : QStringLiteral("Failed to find public IP address:") + description);
        setAddress(AddressState::Failed);
        m_check.AnswerLookupFailed();
        endLookupCheck();
    });
}

// --check-setup runs the check once the lookup is over.
void Reachability::endLookupCheck() {
    if (!m_checkAfterLookup)
        return;
    m_checkAfterLookup = false;
    setCheckRunning(false);
    CheckSetup();
}

void Reachability::RemovePortForward() {
    m_log.LogStatus(LogDetail, QStringLiteral("Removing existing port forwards (if any)..."));
    m_removeApplied = false;
    m_router.Ask([mapping = OurMapping(), gateway = GatewayMappings()](
                     RouterSession& router) { return router.RemoveMappings({mapping}, gateway); },
                 [this](const RouterFacts& facts) { applyRemove(facts); });
}

void Reachability::applyRemove(const RouterFacts& facts) {
    if (facts.presence == Presence::NoUpnpSoftware)
        m_log.LogStatus(
            LogError, QStringLiteral("Failed to remove Port Forwarding. You are missing HNetCfg."));
    else if (facts.presence == Presence::NoMappingService)
        m_log.LogStatus(LogNotice, QStringLiteral("No ports are currently forwarded, or your "
                                                  "router does not support UPnP."));
    else if (facts.code != 0)
        m_log.LogStatus(
            LogError,
            QStringLiteral("Failed to remove Port Forwarding. UPnP not supported/disabled?"));
    else
        m_log.LogStatus(LogDetail, QStringLiteral("Port forward successfully removed."));
    noteRouterPresence(facts.presence);
    m_removeApplied = true;
    if (auto next = std::exchange(m_afterRemove, nullptr))
        next();
}

void Reachability::SetupPortForward() {
    m_log.LogStatus(LogDetail, QStringLiteral("Setting up port forward..."));
    m_router.Ask(
        [mappings = OurMappings()](RouterSession& router) { return router.AddMappings(mappings); },
        [this](const RouterFacts& facts) { applyAdd(facts); });
}

void Reachability::applyAdd(const RouterFacts& facts) {
    noteRouterPresence(facts.presence);
    // A router that is away now may come later: the periodic check asks again.
    if (!m_recheck.isActive())
        m_recheck.start();
    if (facts.presence == Presence::NoUpnpSoftware) {
        m_log.LogStatus(
            LogError, QStringLiteral("Failed to setup Port Forwarding. You are missing HNetCfg."));
    } else if (facts.presence == Presence::NoMappingService || facts.code != 0) {
        m_log.LogStatus(LogError, QStringLiteral("Failed to setup Port Forwarding. UPnP is not "
                                                 "supported or disabled."));
    } else {
        m_log.LogStatus(LogDetail, QStringLiteral("Port forward successfully setup."));
    }
    judgeRouterAddress(facts.routerAddress);
}

// A router that restarted has forgotten the mapping, one that gave the port
// to another machine meanwhile has replaced it, and one that was away has
// never had it; each is put right.
void Reachability::recheckMapping() {
    if (m_recheckInFlight)
        return;
    m_recheckInFlight = true;
    m_router.Ask(
        [mappings = OurMappings()](RouterSession& router) { return router.KeepMappings(mappings); },
        [this](const RouterFacts& facts) { applyRecheck(facts); });
}

void Reachability::applyRecheck(const RouterFacts& facts) {
    m_recheckInFlight = false;
    noteRouterPresence(facts.presence);
    if (facts.code) {
        m_log.LogStatus(LogDetail, QStringLiteral("Setting up port forward..."));
        applyAdd(facts);
    } else {
        judgeRouterAddress(facts.routerAddress);
    }
    m_check.AnswerFromRouter(facts, OurMapping());
}

// The line goes out once when a router that answered stops answering; a
// router away from the start has had its lines already.
void Reachability::noteRouterPresence(Presence presence) {
    const bool answering = presence == Presence::MappingService;
    if (m_routerAnswered && !answering)
        m_log.LogStatus(LogError, QStringLiteral("The router no longer answers UPnP requests; "
                                                 "the port forward is set up again when it does."));
    m_routerAnswered = answering;
}

void Reachability::judgeRouterAddress(const std::optional<QString>& routerAddress) {
    if (const QString warning = m_check.JudgeRouterAddress(routerAddress); !warning.isEmpty())
        m_log.LogStatus(LogError, warning);
}

void Reachability::setCheckRunning(bool running) {
    if (m_checkRunning == running)
        return;
    m_checkRunning = running;
    Q_EMIT checkRunningChanged(running);
}

void Reachability::CheckSetup() {
    if (m_checkRunning)
        return;
    m_check.AnswerLocally(LocalIP(), m_runningOnLan);
    if (!m_runningOnLan) {
        Q_EMIT SetupChecked();
        return;
    }
    setCheckRunning(true);
    m_router.Ask([](RouterSession& router) { return router.Read(); },
                 [this](const RouterFacts& facts) {
                     m_check.AnswerFromRouter(facts, OurMapping());
                     setCheckRunning(false);
                     Q_EMIT SetupChecked();
                 });
}
