#include "net/SetupCheck.h"

#include "net/GatewaySupervisor.h"
#include "net/LanAddress.h"
#include "settings/SettingsPaths.h"

#include <algorithm>
#include <array>

namespace {

const QString Yes = QStringLiteral("Yes");
const QString No = QStringLiteral("No");
const QString NotRequired = QStringLiteral("Not required");
const QString YesWith = QStringLiteral("Yes : ");

using Mapping = UpnpRouter::Mapping;

bool ForwardsTo(const QList<Mapping>& mappings, const Mapping& ours) {
    return std::any_of(mappings.begin(), mappings.end(), [&ours](const Mapping& mapping) {
        return mapping.externalPort == ours.externalPort &&
               mapping.protocol.compare(ours.protocol, Qt::CaseInsensitive) == 0 &&
               mapping.internalClient == ours.internalClient &&
               mapping.internalPort == ours.internalPort;
    });
}

constexpr std::array<quint16, 2> GatewayPorts{GatewaySupervisor::ConnectionlessPort,
                                              GatewaySupervisor::ConnectionOrientedPort};

bool UsesPort(const QList<Mapping>& mappings, quint16 externalPort) {
    return std::any_of(mappings.begin(), mappings.end(), [externalPort](const Mapping& mapping) {
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

QUrl SetupCheck::HelpLink(const QString& path) {
    return SettingsPaths::MakerWebPage(path);
}

void SetupCheck::NoteNetwork(const QString& localIP, bool runningOnLan) {
    m_localIP = localIP;
    m_runningOnLan = runningOnLan;
    answerGateway();
}

void SetupCheck::AnswerLocally(const QString& localIP, bool runningOnLan) {
    NoteNetwork(localIP, runningOnLan);
    m_answers.SetCaption(SetupAnswers::LocalAddressAnswer,
                         localIP.isEmpty() ? No : YesWith + localIP);
    if (runningOnLan) {
        m_answers.SetCaption(SetupAnswers::RunningOnLanAnswer, Yes);
        return;
    }
    m_answers.SetCaption(SetupAnswers::RunningOnLanAnswer, No);
    m_answers.SetAnswer(SetupAnswers::PublicAddressAnswer, YesWith + localIP, QUrl());
    m_answers.SetAnswer(SetupAnswers::PortForwardingAnswer, NotRequired, QUrl());
    m_answers.SetAnswer(SetupAnswers::PortForwardedAnswer, NotRequired, QUrl());
}

void SetupCheck::AnswerFromRouter(const RouterFacts& facts, const Mapping& ours) {
    using Presence = UpnpRouter::Presence;
    // Without a router to ask, whether it forwards the gateway's ports is not known.
    m_gatewayForwarded.reset();
    answerGateway();
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
    m_gatewayForwarded =
        std::all_of(GatewayPorts.begin(), GatewayPorts.end(), [&facts, &ours](quint16 port) {
            return ForwardsTo(facts.mappings, {port, QStringLiteral("UDP"), ours.internalClient,
                                               port, ours.description});
        });
    answerGateway();
    if (ForwardsTo(facts.mappings, ours))
        m_answers.SetAnswer(SetupAnswers::PortForwardedAnswer, Yes, QUrl());
    else if (UsesPort(facts.mappings, ours.externalPort))
        m_answers.SetAnswer(
            SetupAnswers::PortForwardedAnswer, QStringLiteral("Incorrect"),
            HelpLink(QStringLiteral("/Pocketlane/help.htm#port_forward_wrong_machine")));
    else
        m_answers.SetAnswer(SetupAnswers::PortForwardedAnswer, No,
                            HelpLink(QStringLiteral("/Pocketlane/help.htm#manual_port_forward")));
    JudgeRouterAddress(facts.routerAddress);
}

void SetupCheck::AnswerLocating() {
    m_answers.SetCaption(SetupAnswers::PublicAddressAnswer, QStringLiteral("Locating..."));
}

void SetupCheck::AnswerPublicAddress(const QString& address) {
    m_publicAddress = address;
    m_answers.SetCaption(SetupAnswers::PublicAddressAnswer, YesWith + address);
    answerGateway();
}

void SetupCheck::SetGatewayOn(bool bOn) {
    m_gatewayOn = bOn;
    answerGateway();
}

// On the internet the gateway is reached directly; behind a router, once the
// router forwards both of its UDP ports here.
void SetupCheck::answerGateway() {
    if (!m_gatewayOn) {
        m_answers.SetGateway({}, {}, {});
        return;
    }
    const bool onLan = m_runningOnLan.value_or(true);
    const QString address = !onLan                      ? m_localIP
                            : m_publicAddress.isEmpty() ? QStringLiteral("your public address")
                                                        : m_publicAddress;
    QString settings = QStringLiteral("In the phone's WAP settings: gateway ") + address;
    if (onLan && !m_localIP.isEmpty())
        settings += QStringLiteral(" (%1 for a phone on your home Wi-Fi)").arg(m_localIP);
    settings += QStringLiteral(", port 9201 (connection-oriented) or 9200 (connectionless), "
                               "home page http://") +
                (m_publicAddress.isEmpty() && onLan ? QStringLiteral("<that address>") : address) +
                u'/';
    if (!m_runningOnLan || (onLan && !m_gatewayForwarded))
        m_answers.SetGateway(QStringLiteral("Unknown"), {}, settings);
    else if (!onLan || *m_gatewayForwarded)
        m_answers.SetGateway(Yes, {}, settings);
    else
        m_answers.SetGateway(
            No, HelpLink(QStringLiteral("/Pocketlane/help.htm#manual_port_forward")), settings);
}

void SetupCheck::AnswerLookupFailed() {
    m_answers.SetAnswer(SetupAnswers::PublicAddressAnswer,
                        QStringLiteral("No : Failed to determine"),
                        HelpLink(QStringLiteral("/pocketlane/help.htm#failed_to_determine_ip")));
}

// A router whose own internet address is not the public one (or that has
// none) sits behind another NAT: no mapping of its own makes the PC reachable.
QString SetupCheck::JudgeRouterAddress(const std::optional<QString>& routerAddress) {
    if (!routerAddress || m_publicAddress.isEmpty())
        return {};
    const bool behindAnotherNat =
        !IsPublicIPv4Address(*routerAddress) || *routerAddress != m_publicAddress;
    const QString warning =
        behindAnotherNat ? NatWarningText(*routerAddress, m_publicAddress) : QString();
    const bool isNew = !warning.isEmpty() && warning != m_answers.NatWarning();
    m_answers.SetNatWarning(warning);
    return isNew ? warning : QString();
}
