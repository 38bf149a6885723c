#include "app/Application.h"

#include "app/RuntimeFolder.h"
#include "app/SetupCheckCommand.h"
#include "settings/SettingsPaths.h"

#include <cstring>

namespace {

// How long a start waits for another process to free the settings file.
constexpr std::chrono::milliseconds StartupLockWait{10000};

GatewaySupervisor::Options GatewayOptions(const CommandLineOptions& options) {
    GatewaySupervisor::Options gateway;
    gateway.configFile = RuntimeFolder::FileFor(SettingsPaths::SettingsFile(options.settingsFile),
                                                QStringLiteral("pocketlane-kannel-"));
    if (!options.gatewayAddress.isEmpty())
        gateway.phoneAddress = options.gatewayAddress;
    return gateway;
}

} // namespace

Application::Application(const CommandLineOptions& options, QObject* parent)
    : QObject(parent)
    , m_store(SettingsPaths::SettingsFile(options.settingsFile))
    , m_folders(m_store, m_log)
    , m_settings(m_store, m_log)
    , m_board(m_settings)
    , m_storedBoard(m_board, m_settings, m_log)
    , m_links([this] { return m_settings.enablePassword(); })
    , m_server(m_log, options.port)
    , m_guesses(m_log)
    , m_context(m_log, m_settings, m_links, m_guesses)
    , m_shares(m_folders)
    , m_pictures(m_log)
    , m_site(m_server, m_context, m_shares, m_pictures)
    , m_sharedFolders(m_context, m_shares, m_pictures)
    , m_graffiti(m_context, m_board)
    , m_myComputer(m_context, m_site.Pages(), [this] { Q_EMIT QuitRequested(); })
    , m_admin(m_store.filePath(), m_settings, m_folders, m_board, m_log)
    , m_reachability(m_log, ReachabilityOptions(options))
    , m_gateway(m_log, GatewayOptions(options))
    , m_offline(options.offline)
    , m_portGiven(options.portGiven) {
    m_log.setExtendedLoggingSwitch([this] { return m_settings.extendedLogging(); });
    for (SiteModule* module :
         std::initializer_list<SiteModule*>{&m_sharedFolders, &m_graffiti, &m_myComputer})
        m_site.AddModule(*module);
    m_server.SetRequestHandler(&m_site);
    // The router's forward follows the port served.
    connect(&m_server, &WapServer::ListenerOpened, &m_reachability, &Reachability::SetServedPort);
    connect(&m_server, &WapServer::Stopped, &m_reachability, &Reachability::SiteClosed);
    connect(&m_server, &WapServer::RunningChanged, this, &Application::followGateway);
    connect(&m_server, &WapServer::ListenerOpened, this, &Application::followGateway);
    connect(&m_settings, &Settings::enableGatewayChanged, this, &Application::followGateway);
}

void Application::followGateway() {
    if (m_settings.enableGateway() && m_server.IsRunning())
        m_gateway.Start(m_server.Port());
    else
        m_gateway.Stop();
    m_reachability.SetGatewayForwarded(m_gateway.IsStarted());
}

void Application::askForPort(quint16 port) {
    m_server.SetPort(port);
    m_server.SetFallbackPort(port == Settings::DefaultPort ? FallbackPort : 0);
}

void Application::LogClosing(int signalNumber) {
    m_log.LogStatus(LogNotice, QStringLiteral("Pocketlane is closing (SIG") +
                                   QString::fromLatin1(sigabbrev_np(signalNumber)) +
                                   QStringLiteral(")."));
}

Application::StartResult Application::Start(UnreadableSettings unreadable) {
    m_reachability.ResetSetupAnswers();
    if (const StartResult loaded = loadOwnerState(unreadable); loaded != StartResult::Started)
        return loaded;
    if (!m_portGiven)
        askForPort(m_settings.port());
    // The owner's change of the port is asked for at the listener's next
    // start (the start/stop icon), whatever --port said at start-up.
    connect(&m_settings, &Settings::portChanged, this, [this] { askForPort(m_settings.port()); });
    if (m_server.OpenListener() != WapServer::ListenResult::Listening)
        return StartResult::ListenFailed;
    if (!m_offline)
        m_reachability.StartUp(m_server.Port());
    m_server.LogListening();
    followGateway();
    return StartResult::Started;
}

// The lock is held until the administration socket listens, so that a
// command finds either the program listening or a file it has yet to read.
// A command stopped while it holds the lock delays the start only for a
// while; the file is read without the lock then (it is always replaced
// whole, so it reads either before or after that command's change).
Application::StartResult Application::loadOwnerState(UnreadableSettings unreadable) {
    RegistryStore::ExclusiveAccess access(m_store, StartupLockWait);
    if (!access.isHeld())
        m_log.LogStatus(LogError, QStringLiteral("The settings file ") + m_store.filePath() +
                                      QStringLiteral(" stayed locked by another process; it is "
                                                     "read without waiting any longer."));
    if (!m_store.load(&m_log)) {
        if (unreadable == UnreadableSettings::Refuse)
            return StartResult::SettingsUnreadable;
        m_store.startAfresh();
    }
    try {
        m_folders.ReloadSharedFolders();
        m_settings.LoadSettings();
        m_storedBoard.Start();
        m_admin.Listen();
        return StartResult::Started;
    } catch (const RegistryError& error) {
        m_log.LogStatus(LogError, QStringLiteral("Loading Error: ") + error.Description());
        return StartResult::LoadingFailed;
    }
}
