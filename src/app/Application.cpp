#include "app/Application.h"

#include "app/SetupCheckCommand.h"
#include "settings/SettingsPaths.h"

Application::Application(const CommandLineOptions& options, QObject* parent)
    : QObject(parent)
    , m_store(SettingsPaths::SettingsFile(options.settingsFile))
    , m_folders(m_store, m_log)
    , m_settings(m_store, m_log)
    , m_board(m_settings)
    , m_storedBoard(m_board, m_settings, m_log)
    , m_links([this] { return m_settings.enablePassword(); })
    , m_server(m_log, options.port)
    , m_pages(m_log, m_settings, m_links)
    , m_shares(m_folders)
    , m_files(m_pages, m_shares, m_pictures)
    , m_sharedFolders(m_pages, m_shares, m_pictures)
    , m_graffiti(m_pages, m_board)
    , m_myComputer(m_pages, [this] { Q_EMIT QuitRequested(); })
    , m_site(m_server, m_pages, m_files)
    , m_admin(m_store.filePath(), m_settings, m_folders, m_board, m_log)
    , m_reachability(m_log, ReachabilityOptions(options))
    , m_offline(options.offline) {
    m_log.setExtendedLoggingSwitch([this] { return m_settings.extendedLogging(); });
    for (SiteModule* module :
         std::initializer_list<SiteModule*>{&m_sharedFolders, &m_graffiti, &m_myComputer})
        m_pages.AddModule(*module);
    m_server.SetRequestHandler(&m_site);
}

Application::StartResult Application::Start() {
    m_reachability.ResetSetupAnswers();
    if (!loadOwnerState())
        return StartResult::LoadingFailed;
    if (m_server.OpenListener() != WapServer::ListenResult::Listening)
        return StartResult::ListenFailed;
    if (!m_offline)
        m_reachability.StartUp(m_server.Port());
    m_server.LogListening();
    return StartResult::Started;
}

// The lock is held until the administration socket listens, so that a
// command finds either the program listening or a file it has yet to read.
bool Application::loadOwnerState() {
    RegistryStore::ExclusiveAccess access(m_store);
    try {
        m_store.load(&m_log);
        m_folders.ReloadSharedFolders();
        m_settings.LoadSettings();
        m_storedBoard.Start();
        m_admin.Listen();
        return true;
    } catch (const RegistryError& error) {
        m_log.LogStatus(LogError, QStringLiteral("Loading Error: ") + error.Description());
        return false;
    }
}
