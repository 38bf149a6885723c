#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/InstanceDoorbell.h"
#include "app/ProcessLimits.h"
#include "app/SetupCheckCommand.h"
#include "app/SingleInstanceLock.h"
#include "app/StderrMirror.h"
#include "app/TerminationSignals.h"
#include "base/StatusLog.h"
#include "desktop/OwnerDialogs.h"
#include "desktop/ReachabilityBinding.h"
#include "desktop/frmMain.h"
#include "net/PrimaryAddress.h"
#include "settings/SettingsPaths.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <QTranslator>

#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {

// One write per line: stderr is unbuffered, and a line written in pieces
// costs a system call each.
void PrintTo(FILE* stream, const QString& text) {
    const QByteArray line = text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fflush(stream);
}

// Without a window the site's addresses go to stdout: at start, and again
// when one of them changes (the public one once the lookup found it).
void PrintSiteUrls(Reachability& network) {
    auto printed = std::make_shared<Reachability::SiteAddresses>();
    const auto print = [&network, printed] {
        const Reachability::SiteAddresses urls = network.SiteUrls();
        if (!urls.lan.isEmpty() && urls.lan != printed->lan)
            PrintTo(stdout, QStringLiteral("Site on your network: ") + urls.lan.toString());
        if (!urls.internet.isEmpty() && urls.internet != printed->internet)
            PrintTo(stdout, QStringLiteral("Site from the internet: ") + urls.internet.toString());
        *printed = urls;
    };
    print();
    QObject::connect(&network, &Reachability::siteUrlsChanged, &network, print);
}

int RunWithoutWindow(QCoreApplication& app, const CommandLineOptions& options) {
    RaiseOpenFileLimit();
    Application application(options);
    StderrMirror mirror(application.Log());
    const Application::StartResult started = application.Start();
    mirror.Flush();
    switch (started) {
    case Application::StartResult::SettingsUnreadable:
        PrintTo(stderr, application.SettingsProblem() +
                            QStringLiteral("; Pocketlane does not serve with other settings than "
                                           "the file holds. Mend that line or remove the file."));
        return 1;
    case Application::StartResult::LoadingFailed:
        return 1;
    case Application::StartResult::ListenFailed:
        PrintTo(stderr, application.ListenFailureMessage());
        return 1;
    case Application::StartResult::Started:
        break;
    }
    PrintSiteUrls(application.Network());
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::Requested, &app,
                     [&application](int signalNumber) {
                         application.LogClosing(signalNumber);
                         QCoreApplication::quit();
                     });
    QObject::connect(&application, &Application::QuitRequested, &app, &QCoreApplication::quit);
    return QCoreApplication::exec();
}

// The program with its window over the running server. A settings file that
// cannot be read is told in a message box before anything is served: the
// owner starts afresh or ends the program. A failure to load the owner's
// state is logged on the Status panel and leaves the server stopped with the
// window open; a port that cannot be taken is told in a message box and ends
// the program.
int RunWithWindow(QApplication& app, const CommandLineOptions& options, InstanceDoorbell& door) {
    RaiseOpenFileLimit();
    QApplication::setQuitOnLastWindowClosed(false);
    Application application(options);
    OwnerDialogs dialogs;
    Application::StartResult started = application.Start();
    if (started == Application::StartResult::SettingsUnreadable) {
        if (!dialogs.AskToStartAfresh(nullptr, application.SettingsProblem()))
            return 1;
        started = application.Start(Application::UnreadableSettings::StartAfresh);
    }
    if (started == Application::StartResult::ListenFailed) {
        QMessageBox::critical(nullptr, QStringLiteral("Pocketlane"),
                              application.ListenFailureMessage());
        return 1;
    }
    frmMain window(DesktopModels{application.Log(), application.Options(),
                                 application.SharedFolders(), application.Graffiti(),
                                 application.Server()},
                   dialogs);
    window.SetLocalIP(PrimaryIPv4Address());
    BindReachability(window, application.Network());
    BindGateway(window, application.Gateway());
    QObject::connect(&window, &frmMain::Closed, &app, [] { QCoreApplication::exit(0); });
    QObject::connect(&door, &InstanceDoorbell::Rung, &window, &frmMain::Raise);
    // A phone's "Shutdown Pocketlane", the session's end and SIGTERM end the
    // program without the closing question.
    QObject::connect(&application, &Application::QuitRequested, &window,
                     &frmMain::EndWithoutQuestion);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.EndWithoutQuestion(); });
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::Requested, &window,
                     [&application, &window](int signalNumber) {
                         application.LogClosing(signalNumber);
                         window.EndWithoutQuestion();
                     });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, &frmMain::WritePendingEdits);
    window.ShowAtStart();
    return QApplication::exec();
}

// The window opens when a display is there and --headless is not given.
bool WantsWindow(const CommandLineOptions& options) {
    return !options.headless && (!qEnvironmentVariableIsEmpty("DISPLAY") ||
                                 !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
}

QStringList ArgumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// Tells the user why the program does not serve: on stderr, and with a
// display also in a message box, since a start from the desktop's menu has
// no terminal.
int Refuse(int argc, char* argv[], const CommandLineOptions& options, const QString& text) {
    PrintTo(stderr, text);
    if (WantsWindow(options)) {
        QApplication app(argc, argv);
        QMessageBox::warning(nullptr, QStringLiteral("Pocketlane"), text);
    }
    return 1;
}

QString AlreadyRunningText(const QString& settingsFile, qint64 process) {
    return QStringLiteral("Pocketlane already runs on the settings file ") + settingsFile +
           (process > 0 ? QStringLiteral(" (process %1)").arg(process) : QString()) +
           QStringLiteral(". --set, --share and --unshare reach it; another settings file "
                          "(--settings FILE) starts another Pocketlane.");
}

// One program per settings file. A second start on the same file shows the
// window of the running one when both have a display; otherwise it says where
// the running one is and ends with a failure.
int RunServer(int argc, char* argv[], const CommandLineOptions& options) {
    const QString settingsFile = SettingsPaths::SettingsFile(options.settingsFile);
    SingleInstanceLock lock(settingsFile);
    const QString doorbell = InstanceDoorbell::PathBeside(lock.LockFilePath());
    switch (lock.TryLock()) {
    case SingleInstanceLock::Outcome::Refused:
        return Refuse(argc, argv, options, lock.Refusal());
    case SingleInstanceLock::Outcome::HeldByAnother:
        if (WantsWindow(options) && InstanceDoorbell::Ring(doorbell))
            return 0;
        return Refuse(argc, argv, options, AlreadyRunningText(settingsFile, lock.HolderProcess()));
    case SingleInstanceLock::Outcome::Locked:
        break;
    }
    if (!WantsWindow(options)) {
        QCoreApplication app(argc, argv);
        return RunWithoutWindow(app, options);
    }
    QApplication app(argc, argv);
    // The window's texts in the desktop's language, where a translation is
    // there; the phones' pages stay as they are.
    QTranslator translator;
    if (translator.load(QLocale(), QStringLiteral("pocketlane"), QStringLiteral("_"),
                        QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(&translator);
    InstanceDoorbell door(doorbell);
    door.Listen();
    return RunWithWindow(app, options, door);
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
    QCoreApplication::setApplicationName(QStringLiteral("pocketlane"));
    const CommandLineOptions options = ParseCommandLine(ArgumentsOf(argc, argv));
    if (!options.error.isEmpty()) {
        PrintTo(stderr, options.error + QStringLiteral("\nTry: pocketlane --help"));
        return 2;
    }
    if (options.showHelp) {
        PrintTo(stdout, CommandLineHelp());
        return 0;
    }
    if (options.showVersion) {
        PrintTo(stdout, CommandLineVersion());
        return 0;
    }
    if (options.administration) {
        QCoreApplication app(argc, argv);
        return RunAdministration(QCoreApplication::arguments());
    }
    if (options.checkSetup) {
        QCoreApplication app(argc, argv);
        return RunSetupCheck(options);
    }
    return RunServer(argc, argv, options);
}
