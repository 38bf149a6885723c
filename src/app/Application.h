#pragma once

#include "app/AdminServer.h"
#include "app/CommandLine.h"
#include "base/StatusLog.h"
#include "http/WapServer.h"
#include "net/GatewaySupervisor.h"
#include "net/Reachability.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/SharedFolderList.h"
#include "site/LinkTables.h"
#include "site/PictureAdapter.h"
#include "site/ShareAccess.h"
#include "site/Site.h"
#include "site/SiteContext.h"
#include "site/graffiti/GraffitiBoard.h"
#include "site/graffiti/GraffitiModule.h"
#include "site/graffiti/GraffitiStore.h"
#include "site/mycomputer/MyComputerModule.h"
#include "site/sharedfolders/SharedFoldersModule.h"

#include <QObject>

// The running program: builds and owns every long-lived part (the status
// log, the settings store and the models over it, the Graffiti board, the
// link tables, the server and the site with its modules) and starts them in
// the owner's order, with the administration socket through which commands
// from the command line reach the running program. The headless program and
// the main window both run over one Application.
class Application : public QObject {
    Q_OBJECT
public:
    enum class StartResult { Started, SettingsUnreadable, LoadingFailed, ListenFailed };
    // What a start does with a settings file that cannot be read: refuse to
    // serve (nothing started, the file untouched, the reason in
    // SettingsProblem()), or, once the owner has agreed, keep the file aside
    // and serve with first-run values.
    enum class UnreadableSettings { Refuse, StartAfresh };

    explicit Application(const CommandLineOptions& options, QObject* parent = nullptr);

    // Resets the setup answers; loads the store, the shared folders, the
    // options and the kept Graffiti, in that order (a failure is logged as a loading error and ends
    // the start-up early), and opens the administration socket, all under the
    // settings file's lock; opens the listener on --port, else on the Port
    // option (a failure leaves the reason in ListenFailureMessage()); then,
    // unless --offline, runs the LAN test and
    // on a LAN removes the old port mapping and starts the public-address
    // lookup, which adds the new mapping. A start refused for an unreadable
    // settings file may be followed by one with StartAfresh.
    StartResult Start(UnreadableSettings eUnreadable = UnreadableSettings::Refuse);
    // The port served when port 80 is not allowed and no port was asked for.
    static constexpr quint16 FallbackPort = 8080;
    // The last line of the status log when the program ends on a signal.
    void LogClosing(int signalNumber);
    QString ListenFailureMessage() const { return m_server.ListenFailureMessage(); }
    // Why the settings file cannot be read: the file and the line.
    QString SettingsProblem() const { return m_store.loadProblem(); }

    StatusLog& Log() { return m_log; }
    RegistryStore& Store() { return m_store; }
    Settings& Options() { return m_settings; }
    SharedFolderList& SharedFolders() { return m_folders; }
    GraffitiBoard& Graffiti() { return m_board; }
    GraffitiStore& StoredGraffiti() { return m_storedBoard; }
    SiteLinks& Links() { return m_links; }
    WapServer& Server() { return m_server; }
    Site& Dispatcher() { return m_site; }
    MyComputerModule& MyComputer() { return m_myComputer; }
    // How phones on the internet reach this PC: the address field, the
    // setup answers and the check (Help panel, `lblLocalIP`).
    Reachability& Network() { return m_reachability; }
    // The built-in WAP gateway, running while EnableGateway is on and the
    // server serves.
    GatewaySupervisor& Gateway() { return m_gateway; }

Q_SIGNALS:
    // The program is asked to end without the window's closing question (a
    // visitor's "Shutdown Pocketlane" once its closing answer has left).
    void QuitRequested();

private:
    StartResult loadOwnerState(UnreadableSettings eUnreadable);
    // The port the next opening of the listener asks for, with the fallback
    // to FallbackPort for the default port.
    void askForPort(quint16 port);
    // Starts or stops the gateway to match the option and the server.
    void followGateway();

    StatusLog m_log;
    RegistryStore m_store;
    SharedFolderList m_folders;
    Settings m_settings;
    GraffitiBoard m_board;
    GraffitiStore m_storedBoard;
    SiteLinks m_links;
    WapServer m_server;
    GuessThrottle m_guesses;
    SiteContext m_context;
    ShareAccess m_shares;
    PictureAdapter m_pictures;
    Site m_site;
    SharedFoldersModule m_sharedFolders;
    GraffitiModule m_graffiti;
    MyComputerModule m_myComputer;
    AdminServer m_admin;
    Reachability m_reachability;
    GatewaySupervisor m_gateway;
    bool m_offline;
    bool m_portGiven;
};
