#pragma once

#include <QString>
#include <QStringList>

// What the command line asks of the program.
struct CommandLineOptions {
    bool headless = false;
    quint16 port = 80;
    bool portGiven = false; // --port given: no Port option, no fallback port
    bool showHelp = false;
    bool showVersion = false;
    // An administration command (--set, --show-settings, --share,
    // --unshare) runs instead of the server.
    bool administration = false;
    QString settingsFile; // --settings, empty for the default store
    // Reaching the PC from the internet.
    QString publicIpUrl;        // --public-ip-url, empty for the default page
    bool checkSetup = false;    // --check-setup: print the setup check and end
    int upnpRecheckSeconds = 0; // --upnp-recheck, 0 for the default period
    bool offline = false;       // --offline: no lookup, no port forward
    QString gatewayAddress;     // --gateway-address, empty for every address
    // Set when the command line cannot be used; the program prints it and
    // ends with a failure.
    QString error;
};

// The program's options, parsed in one place. `arguments` includes the
// program name first, as QCoreApplication::arguments() gives it.
CommandLineOptions ParseCommandLine(const QStringList& arguments);

// The text --help prints.
QString CommandLineHelp();
// The line --version prints.
QString CommandLineVersion();

// Runs the administration commands of the command line; the exit code.
int RunAdministration(const QStringList& arguments);
