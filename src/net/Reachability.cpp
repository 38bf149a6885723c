#include "net/Reachability.h"

#include "base/StatusLog.h"
#include "net/LanAddress.h"
#include "net/PrimaryAddress.h"
#include "settings/SettingsPaths.h"

#include <algorithm>

namespace {

// The what-is-my-IP page asked by default: it answers a plain HTTP/1.0
// request with "Current IP Address: " and the asker's address.
const char* const DefaultPublicIpPage = "http://checkip.dyndns.org";
const QString Protocol = QStringLiteral("TCP");
const QString Description = QStringLiteral("Pocketlane");

const QString Yes = QStringLiteral("Yes");
const QString No = QStringLiteral("No");
const QString NotRequired = QStringLiteral("Not required");
const QString Locating = QStringLiteral("Locating...");

using Presence = UpnpRouter::Presence;

// Whether any mapping takes external port 80 over TCP to this address and
// port, wherever the router lists it.
bool ForwardsTo(const QList<UpnpRouter::Mapping>& mappings, const UpnpRouter::Mapping& ours) {
    return std::any_of(mappings.begin(), mappings.end(), [&ours](const UpnpRouter::Mapping& m) {
        return m.externalPort == ours.externalPort &&
               m.protocol.compare(ours.protocol, Qt::CaseInsensitive) == 0 &&
               m.internalClient == ours.internalClient && m.internalPort == ours.internalPort;
    });
}

bool UsesPort(const QList<UpnpRouter::Mapping>& mappings, quint16 externalPort) {
    return std::any_of(mappings.begin(), mappings.end(), [externalPort](const auto& mapping) {
        return mapping.externalPort == externalPort;
    });
}

QString NatWarningText(const QString& routerAddress, const QString& publicAddress) {
    QString cause;
    if (routerAddress.isEmpty())
        cause = QStringLiteral("Your router has no public internet address of its own");
    else if (!IsPublicIPv4Address(routerAddress))
        cause = QStringLiteral("Your router's own internet address %1 is not a public one")
                    .arg(routerAddress);
    else
        cause = QStringLiteral("Your router's own internet address %1 is not the public address %2")
                    .arg(routerAddress, publicAddress);
    return cause + QStringLiteral(": the router sits behind another NAT (double NAT or "
                                  "carrier-grade NAT), so phones on the internet cannot reach "
                                  "this PC even with the port forwarded.");
}

} // namespace

Reachability::Reachability(StatusLog& log, Options options, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_options(std::move(options))
    , m_lookup(m_options.publicIpUrl)
    , m_router(new RouterSession(m_options.discoveryMs, m_options.upnpSoftware)) {
    if (!m_options.localIP)
        m_options.localIP = PrimaryIPv4Address;
    m_lookup.SetTimeLimit(m_options.lookupTimeLimitMs);
    connect(&m_lookup, &PublicAddressLookup::Found, this, &Reachability::onLookupFound);
    connect(&m_lookup, &PublicAddressLookup::Failed, this, &Reachability::onLookupFailed);
    m_recheck.setInterval(m_options.recheckMs);
    connect(&m_recheck, &QTimer::timeout, this, &Reachability::recheckMapping);
    m_upnpThread.setObjectName(QStringLiteral("upnp"));
    m_router->moveToThread(&m_upnpThread);
    connect(&m_upnpThread, &QThread::finished, m_router, &QObject::deleteLater);
    m_upnpThread.start();
}

Reachability::~Reachability() {
    // A call in flight ends with the UPnP library's own time-outs.
    m_upnpThread.quit();
    m_upnpThread.wait();
}

QUrl Reachability::DefaultPublicIpUrl() {
    return QUrl(QString::fromLatin1(DefaultPublicIpPage));
}

QUrl Reachability::HelpLink(const QString& path) {
    return SettingsPaths::MakerWebPage(path);
}

// Runs `step` with the router session on the UPnP thread after every step
// asked before it, and then `apply` with its facts on this object's thread,
// after the facts of those steps.
template <typename Step, typename Apply> void Reachability::askRouter(Step step, Apply apply) {
    QMetaObject::invokeMethod(
        m_router,
        [this, router = m_router, step = std::move(step), apply = std::move(apply)]() mutable {
            RouterFacts facts = step(*router);
            QMetaObject::invokeMethod(
                this, [apply = std::move(apply), facts]() mutable { apply(facts); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

QString Reachability::LocalIP() const {
    return m_options.localIP();
}

UpnpRouter::Mapping Reachability::OurMapping() const {
    return {ExternalPort, Protocol, LocalIP(), m_servedPort, Description};
}

void Reachability::setAddress(const QString& text, const QUrl& link) {
    if (m_addressText == text && m_addressLink == link)
        return;
    m_addressText = text;
    m_addressLink = link;
    Q_EMIT addressChanged();
}

void Reachability::StartUp(quint16 servedPort) {
    m_servedPort = servedPort;
    const QString localIP = LocalIP();
    m_runningOnLan = IsRunningOnLan(localIP);
    if (!m_runningOnLan) {
        setAddress(localIP, QUrl());
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
    m_answers.SetCaption(SetupAnswers::PublicAddressAnswer, Locating);
    setAddress(Locating, QUrl());
    m_lookup.Start();
}

void Reachability::whenRemoveApplied(std::function<void()> step) {
    if (m_removeApplied) {
        step();
        return;
    }
    m_afterRemove = [previous = std::move(m_afterRemove), step = std::move(step)] {
        if (previous)
            previous();
        step();
    };
}

void Reachability::onLookupFound(const QString& address) {
    whenRemoveApplied([this, address] {
        m_publicAddress = address;
        setAddress(address, QUrl());
        m_answers.SetCaption(SetupAnswers::PublicAddressAnswer, QStringLiteral("Yes : ") + address);
        m_log.LogStatus(LogNotice, QStringLiteral("Found public IP address:") + address);
        if (m_forwardPort)
            SetupPortForward();
        if (m_checkAfterLookup) {
            m_checkAfterLookup = false;
            setCheckRunning(false);
            CheckSetup();
        }
    });
}

void Reachability::onLookupFailed(const QString& description) {
    whenRemoveApplied([this, description] {
        m_log.LogStatus(LogError,
                        description.isEmpty()
                            ? QStringLiteral("Failed to find public IP address.")
                            : QStringLiteral("Failed to find public IP address:") + description);
        setAddress(QStringLiteral("Click here to find out"), m_lookup.PageUrl());
        m_answers.SetAnswer(
            SetupAnswers::PublicAddressAnswer, QStringLiteral("No : Failed to determine"),
            HelpLink(QStringLiteral("/pocketlane/help.htm#failed_to_determine_ip")));
        if (m_checkAfterLookup) {
            m_checkAfterLookup = false;
            setCheckRunning(false);
            CheckSetup();
        }
    });
}

void Reachability::RemovePortForward() {
    m_log.LogStatus(LogDetail, QStringLiteral("Removing existing port forwards (if any)..."));
    m_removeApplied = false;
    askRouter(
        [mapping = OurMapping()](RouterSession& router) { return router.RemoveMapping(mapping); },
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
    askRouter(
        [mapping = OurMapping()](RouterSession& router) { return router.AddMapping(mapping); },
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
    judgeRouterAddress(facts.routerAddress, true);
}

// A router that restarted has forgotten the mapping, one that gave the port
// to another machine meanwhile has replaced it, and one that was away has
// never had it; each is put right.
void Reachability::recheckMapping() {
    if (m_recheckInFlight)
        return;
    m_recheckInFlight = true;
    askRouter(
        [mapping = OurMapping()](RouterSession& router) { return router.KeepMapping(mapping); },
        [this](const RouterFacts& facts) { applyRecheck(facts); });
}

void Reachability::applyRecheck(const RouterFacts& facts) {
    m_recheckInFlight = false;
    noteRouterPresence(facts.presence);
    if (facts.code) {
        m_log.LogStatus(LogDetail, QStringLiteral("Setting up port forward..."));
        applyAdd(facts);
    } else {
        judgeRouterAddress(facts.routerAddress, true);
    }
    applyCheck(facts);
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

// A router whose own internet address is not the public one (or that has
// none) sits behind another NAT: no mapping of its own makes the PC reachable.
void Reachability::judgeRouterAddress(const std::optional<QString>& routerAddress,
                                      bool writeToLog) {
    if (!routerAddress || m_publicAddress.isEmpty())
        return;
    const bool behindAnotherNat =
        !IsPublicIPv4Address(*routerAddress) || *routerAddress != m_publicAddress;
    const QString warning =
        behindAnotherNat ? NatWarningText(*routerAddress, m_publicAddress) : QString();
    if (writeToLog && !warning.isEmpty() && warning != m_answers.NatWarning())
        m_log.LogStatus(LogError, warning);
    m_answers.SetNatWarning(warning);
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
    const QString localIP = LocalIP();
    m_answers.SetCaption(SetupAnswers::LocalAddressAnswer,
                         localIP.isEmpty() ? No : QStringLiteral("Yes : ") + localIP);
    if (!m_runningOnLan) {
        m_answers.SetCaption(SetupAnswers::RunningOnLanAnswer, No);
        m_answers.SetAnswer(SetupAnswers::PublicAddressAnswer, QStringLiteral("Yes : ") + localIP,
                            QUrl());
        m_answers.SetAnswer(SetupAnswers::PortForwardingAnswer, NotRequired, QUrl());
        m_answers.SetAnswer(SetupAnswers::PortForwardedAnswer, NotRequired, QUrl());
        Q_EMIT SetupChecked();
        return;
    }
    m_answers.SetCaption(SetupAnswers::RunningOnLanAnswer, Yes);
    setCheckRunning(true);
    askRouter([](RouterSession& router) { return router.Read(); },
              [this](const RouterFacts& facts) {
                  applyCheck(facts);
                  setCheckRunning(false);
                  Q_EMIT SetupChecked();
              });
}

void Reachability::applyCheck(const RouterFacts& facts) {
    if (facts.presence == Presence::NoUpnpSoftware) {
        m_answers.SetAnswer(SetupAnswers::UpnpSoftwareAnswer, No,
                            HelpLink(QStringLiteral("/Pocketlane/help.htm#missing_upnp_software")));
        m_answers.SetAnswer(SetupAnswers::PortForwardingAnswer, No,
                            HelpLink(QStringLiteral("/Pocketlane/help.htm#manual_port_forward")));
        return;
    }
    m_answers.SetAnswer(SetupAnswers::UpnpSoftwareAnswer, Yes, QUrl());
    if (facts.presence == Presence::NoMappingService) {
        m_answers.SetAnswer(SetupAnswers::PortForwardingAnswer,
                            QStringLiteral("Disabled/Unsupported"),
                            HelpLink(QStringLiteral("/Pocketlane/help.htm#port_mapping_problems")));
        // Without a router to ask, an earlier "Yes" no longer holds.
        m_answers.SetAnswer(SetupAnswers::PortForwardedAnswer, QStringLiteral("Unknown"), QUrl());
        return;
    }
    m_answers.SetAnswer(SetupAnswers::PortForwardingAnswer, Yes, QUrl());
    // The port served here counts too: a mapping to this PC at another port
    // does not reach the server.
    if (ForwardsTo(facts.mappings, OurMapping()))
        m_answers.SetAnswer(SetupAnswers::PortForwardedAnswer, Yes, QUrl());
    else if (UsesPort(facts.mappings, ExternalPort))
        m_answers.SetAnswer(
            SetupAnswers::PortForwardedAnswer, QStringLiteral("Incorrect"),
            HelpLink(QStringLiteral("/Pocketlane/help.htm#port_forward_wrong_machine")));
    else
        m_answers.SetAnswer(SetupAnswers::PortForwardedAnswer, No,
                            HelpLink(QStringLiteral("/Pocketlane/help.htm#manual_port_forward")));
    judgeRouterAddress(facts.routerAddress, false);
}
