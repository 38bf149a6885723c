#include "app/CommandLine.h"
#include "app/ProcessLimits.h"
#include "app/SingleInstanceLock.h"
#include "app/TerminationSignals.h"
#include "base/StatusLog.h"
#include "http/WapServer.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"
#include "settings/SharedFolderList.h"
#include "site/LinkTables.h"
#include "site/Site.h"
#include "site/graffiti/GraffitiBoard.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// One write per line: stderr is unbuffered, and a line written in pieces
// costs a system call each.
void PrintTo(FILE* stream, const QString& text) {
    const QByteArray line = text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fflush(stream);
}

// Without a window the status log goes to stderr, one line per entry.
void MirrorToStderr(StatusLog& log) {
    QObject::connect(&log, &StatusLog::lineAdded, &log, [](const StatusLog::Line& line) {
        PrintTo(stderr, StatusLog::formatLine(line));
    });
}

// The owner's state: the store, the shared folders and the options, loaded
// in that order. A failure is logged as a loading error and ends the start-up
// early, as the window's start-up does.
struct OwnerState {
    RegistryStore store;
    SharedFolderList folders;
    Settings settings;

    OwnerState(const QString& settingsFile, StatusLog& log)
        : store(SettingsPaths::SettingsFile(settingsFile))
        , folders(store, log)
        , settings(store, log) {}

    bool Load(StatusLog& log) {
        try {
            store.load(&log);
            folders.ReloadSharedFolders();
            settings.LoadSettings();
            return true;
        } catch (const RegistryError& error) {
            log.LogStatus(LogError, QStringLiteral("Loading Error: ") + error.Description());
            return false;
        }
    }
};

int RunWithoutWindow(QCoreApplication& app, const CommandLineOptions& options) {
    RaiseOpenFileLimit();
    StatusLog log;
    MirrorToStderr(log);
    OwnerState owner(options.settingsFile, log);
    log.setExtendedLoggingSwitch([&owner] { return owner.settings.extendedLogging(); });
    if (!owner.Load(log))
        return 1;
    WapServer server(log, options.port);
    GraffitiBoard board(owner.settings);
    SiteLinks links([&owner] { return owner.settings.enablePassword(); });
    Site site(server, log, owner.settings, owner.folders, board, links);
    server.SetRequestHandler(&site);
    if (server.OpenListener() != WapServer::ListenResult::Listening) {
        PrintTo(stderr, server.ListenFailureMessage());
        return 1;
    }
    server.LogListening();
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::Requested, &app, &QCoreApplication::quit);
    return app.exec();
}

// Process settings that make each request cheaper, unless the user set them:
// without TZ the C library looks at /etc/localtime again for every local time
// it converts (once per status-log line), and Qt's own event dispatcher wakes
// up with fewer system calls per connection than the GLib one.
void TuneForServing() {
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}

} // namespace

int main(int argc, char* argv[]) {
    TuneForServing();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pocketlane"));
    const CommandLineOptions options = ParseCommandLine(QCoreApplication::arguments());
    if (!options.error.isEmpty()) {
        PrintTo(stderr, options.error + QStringLiteral("\nTry: pocketlane --help"));
        return 2;
    }
    if (options.showHelp) {
        PrintTo(stdout, CommandLineHelp());
        return 0;
    }
    if (options.administration)
        return RunAdministration(QCoreApplication::arguments());
    SingleInstanceLock lock;
    if (!lock.TryLock())
        return 0;
    // The main window comes with the desktop shell; until then the program
    // always runs without one.
    return RunWithoutWindow(app, options);
}
