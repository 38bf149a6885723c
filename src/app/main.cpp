#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/ProcessLimits.h"
#include "app/SetupCheckCommand.h"
#include "app/SingleInstanceLock.h"
#include "app/TerminationSignals.h"
#include "base/StatusLog.h"

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

int RunWithoutWindow(QCoreApplication& app, const CommandLineOptions& options) {
    RaiseOpenFileLimit();
    Application application(options);
    MirrorToStderr(application.Log());
    switch (application.Start()) {
    case Application::StartResult::LoadingFailed:
        return 1;
    case Application::StartResult::ListenFailed:
        PrintTo(stderr, application.ListenFailureMessage());
        return 1;
    case Application::StartResult::Started:
        break;
    }
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::Requested, &app, &QCoreApplication::quit);
    QObject::connect(&application, &Application::QuitRequested, &app, &QCoreApplication::quit);
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
    if (options.checkSetup)
        return RunSetupCheck(options);
    SingleInstanceLock lock;
    if (!lock.TryLock())
        return 0;
    // The main window comes with the desktop shell; until then the program
    // always runs without one.
    return RunWithoutWindow(app, options);
}
