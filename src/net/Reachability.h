#pragma once

#include "net/PublicAddressLookup.h"
#include "net/RouterThread.h"
#include "net/SetupCheck.h"
#include "net/SiteAddresses.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>

class StatusLog;

// How phones on the internet reach this PC, and when each step runs: the LAN
// test, the public-address lookup, the router's port forward of external
// port 80 to the port served here, and the setup check (whose answers
// SetupCheck writes).
//
// Every step with the router runs on one worker thread of its own, in one
// router session (RouterSession), one step after the other in the order
// asked; their outcomes come back to the event loop's thread and are applied
// there in the same order, so the server keeps answering while a router
// takes its time.
class Reachability : public QObject {
    Q_OBJECT
    // While the setup check runs it cannot be started again.
    Q_PROPERTY(bool checkRunning READ IsCheckRunning NOTIFY checkRunningChanged)
public:
    static constexpr quint16 ExternalPort = 80;
    static constexpr int DefaultRecheckMs = 10 * 60 * 1000;

    // What the address field of the main window stands for: nothing known
    // yet, the local address (not on a LAN), the lookup running, the public
    // address found, or the lookup failed (the field then opens LookupPage).
    enum class AddressState { Unknown, Local, Locating, Found, Failed };

    using SiteAddresses = ::SiteAddresses;

    struct Options {
        QUrl publicIpUrl = DefaultPublicIpUrl();
        int recheckMs = DefaultRecheckMs;
        int lookupTimeLimitMs = PublicAddressLookup::DefaultTimeLimitMs;
        int discoveryMs = UpnpRouter::DefaultDiscoveryMs;
        // False: behave as a PC without UPnP software.
        bool upnpSoftware = true;
        // This PC's address on its network, read at each moment of use.
        std::function<QString()> localIP;
    };

    Reachability(StatusLog& log, Options options, QObject* parent = nullptr);

    static QUrl DefaultPublicIpUrl();

    SetupAnswers& Answers() { return m_check.Answers(); }
    AddressState AddressShown() const { return m_addressState; }
    // The local address (Local) or the public one (Found).
    QString Address() const { return m_address; }
    QUrl LookupPage() const { return m_lookup.PageUrl(); }
    bool IsCheckRunning() const { return m_checkRunning; }
    // Whether this PC sits on a private network; set once by StartUp or
    // LookUpAndCheck.
    bool RunningOnLan() const { return m_runningOnLan; }
    SiteAddresses SiteUrls() const { return m_siteUrls; }

    void ResetSetupAnswers() { Answers().ResetSetupAnswers(); }

    // The start-up's network step, right after the listener opened: the
    // LAN test and, on a LAN, the removal of the old mapping, the lookup,
    // the new mapping to `servedPort`, and from the first attempt on a check
    // every recheck period: it adds the mapping again when the router lost
    // it (or was away), logs when the router stops answering, and refreshes
    // the answers.
    void StartUp(quint16 servedPort);
    // The listener opened (again, perhaps on another port): the site's
    // address on this network follows, and the forward's periodic check puts
    // the router's mapping right.
    void SetServedPort(quint16 servedPort);
    // The server stopped: the site has no address until it listens again.
    void SiteClosed();
    // While the built-in gateway runs, the router also forwards its UDP
    // ports 9200 and 9201 to this PC (with the same description, removal at
    // start-up and periodic check as the TCP port).
    void SetGatewayForwarded(bool on);
    // The "Check my Setup" button. Emits SetupChecked when done.
    void CheckSetup();
    // A check from scratch without serving: the LAN test, the lookup (no
    // port forward) and then the check.
    void LookUpAndCheck(quint16 servedPort);

Q_SIGNALS:
    void addressChanged();
    void siteUrlsChanged();
    void checkRunningChanged(bool running);
    void SetupChecked();

private:
    QString LocalIP() const;
    UpnpRouter::Mapping OurMapping() const;
    QList<UpnpRouter::Mapping> GatewayMappings() const;
    // The TCP mapping, and the gateway's while it runs.
    QList<UpnpRouter::Mapping> OurMappings() const;
    void setAddress(AddressState state, const QString& address = {});
    void updateSiteUrls();
    void startLookup();
    void onLookupFound(const QString& address);
    void onLookupFailed(const QString& description);
    void whenRemoveApplied(std::function<void()> step);

    void RemovePortForward();
    void applyRemove(const RouterFacts& facts);
    void SetupPortForward();
    void applyAdd(const RouterFacts& facts);
    void recheckMapping();
    void applyRecheck(const RouterFacts& facts);
    void noteRouterPresence(UpnpRouter::Presence presence);
    void judgeRouterAddress(const std::optional<QString>& routerAddress);

    void setCheckRunning(bool running);
    void endLookupCheck();

    StatusLog& m_log;
    Options m_options;
    SetupCheck m_check;
    PublicAddressLookup m_lookup;
    RouterThread m_router;
    QTimer m_recheck;

    AddressState m_addressState = AddressState::Unknown;
    QString m_address;
    SiteAddresses m_siteUrls;
    bool m_runningOnLan = false;
    quint16 m_servedPort = 0;
    bool m_siteOpen = false;
    bool m_forwardPort = false;
    bool m_forwardGateway = false;
    bool m_removeApplied = true;
    std::function<void()> m_afterRemove;
    bool m_recheckInFlight = false;
    bool m_routerAnswered = false;
    bool m_checkRunning = false;
    bool m_checkAfterLookup = false;
};
