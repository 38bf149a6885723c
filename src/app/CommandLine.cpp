#include "app/CommandLine.h"

#include "app/AdminCommands.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QHostAddress>
#include <QTextStream>
#include <QUrl>

#include <cstdio>

namespace {

const QString HeadlessOption = QStringLiteral("headless");
const QString PortOption = QStringLiteral("port");
const QString HelpOption = QStringLiteral("help");
const QString VersionOption = QStringLiteral("version");
const QString PublicIpUrlOption = QStringLiteral("public-ip-url");
const QString CheckSetupOption = QStringLiteral("check-setup");
const QString UpnpRecheckOption = QStringLiteral("upnp-recheck");
const QString OfflineOption = QStringLiteral("offline");
const QString GatewayAddressOption = QStringLiteral("gateway-address");

void DescribeOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Pocketlane, a personal WAP server.\n"
                       "With a display it opens its main window. Without one, or with --headless,\n"
                       "it runs the server without a window and writes every status-log line to\n"
                       "stderr (date, level, message). SIGINT and SIGTERM end it cleanly.\n"
                       "One program runs per settings file: a second start on the same file\n"
                       "shows the running one's window, or without a display says where it\n"
                       "runs and ends with a failure."));
    parser.addOption(QCommandLineOption(
        HeadlessOption, QStringLiteral("Run without a window, logging to stderr.")));
    parser.addOption(QCommandLineOption(
        PortOption,
        QStringLiteral("Serve on TCP port <n> instead of the Port option (80 unless set). "
                       "Without --port, a user who may not take port 80 is served on 8080 "
                       "(or the next free port), which the router's port 80 forwards to."),
        QStringLiteral("n"), QStringLiteral("80")));
    parser.addOption(QCommandLineOption(
        PublicIpUrlOption,
        QStringLiteral("On a private network, find the public address on the what-is-my-IP "
                       "page at <url> (plain http://) instead of the default page."),
        QStringLiteral("url")));
    parser.addOption(QCommandLineOption(
        CheckSetupOption,
        QStringLiteral("Check whether phones on the internet can reach this PC: print each "
                       "question of the setup check with its answer, one a line, and end (exit "
                       "code 0 when they can, 1 when they cannot or it is not known).")));
    parser.addOption(QCommandLineOption(
        UpnpRecheckOption,
        QStringLiteral("Check the router's port forward every <seconds> (default 600) and "
                       "add it again when the router lost it."),
        QStringLiteral("seconds")));
    parser.addOption(QCommandLineOption(
        OfflineOption, QStringLiteral("Neither look up the public address nor ask the router "
                                      "to forward the port; only serve.")));
    parser.addOption(QCommandLineOption(
        GatewayAddressOption,
        QStringLiteral("With the EnableGateway option on, the built-in gateway takes the "
                       "phones' UDP ports 9200 and 9201 on <address> only (default: every "
                       "address of this PC)."),
        QStringLiteral("address")));
    parser.addOption(QCommandLineOption({QStringLiteral("h"), HelpOption},
                                        QStringLiteral("Show this help and end.")));
    parser.addOption(QCommandLineOption({QStringLiteral("v"), VersionOption},
                                        QStringLiteral("Show the program's version and end.")));
    addAdminOptions(parser);
}

} // namespace

CommandLineOptions ParseCommandLine(const QStringList& arguments) {
    CommandLineOptions options;
    QCommandLineParser parser;
    DescribeOptions(parser);
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error =
            QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first();
        return options;
    }
    options.showHelp = parser.isSet(HelpOption);
    options.showVersion = parser.isSet(VersionOption);
    options.portGiven = parser.isSet(PortOption);
    options.headless = parser.isSet(HeadlessOption);
    options.administration = wantsAdminCommand(parser);
    options.settingsFile = settingsOptionValue(parser);
    options.checkSetup = parser.isSet(CheckSetupOption);
    options.offline = parser.isSet(OfflineOption);
    if (parser.isSet(PublicIpUrlOption)) {
        options.publicIpUrl = parser.value(PublicIpUrlOption);
        const QUrl url(options.publicIpUrl, QUrl::StrictMode);
        if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty()) {
            options.error = QStringLiteral("--public-ip-url needs an http:// address, not: ") +
                            options.publicIpUrl;
            return options;
        }
    }
    if (parser.isSet(GatewayAddressOption)) {
        options.gatewayAddress = parser.value(GatewayAddressOption);
        if (QHostAddress(options.gatewayAddress).protocol() != QAbstractSocket::IPv4Protocol) {
            options.error = QStringLiteral("--gateway-address needs an IPv4 address, not: ") +
                            options.gatewayAddress;
            return options;
        }
    }
    if (parser.isSet(UpnpRecheckOption)) {
        bool ok = false;
        options.upnpRecheckSeconds = parser.value(UpnpRecheckOption).toInt(&ok);
        if (!ok || options.upnpRecheckSeconds < 1) {
            options.error = QStringLiteral("--upnp-recheck needs a number of seconds, not: ") +
                            parser.value(UpnpRecheckOption);
            return options;
        }
    }
    bool ok = false;
    const uint port = parser.value(PortOption).toUInt(&ok);
    if (!ok || port < 1 || port > 65535)
        options.error = QStringLiteral("--port needs a number from 1 to 65535, not: ") +
                        parser.value(PortOption);
    else
        options.port = quint16(port);
    return options;
}

QString CommandLineHelp() {
    QCommandLineParser parser;
    DescribeOptions(parser);
    // Without an application object the parser cannot know the program's name.
    return parser.helpText().replace(QStringLiteral("<executable_name>"),
                                     QStringLiteral("pocketlane"));
}

QString CommandLineVersion() {
    return QStringLiteral("pocketlane ") + QStringLiteral(POCKETLANE_VERSION);
}

int RunAdministration(const QStringList& arguments) {
    QCommandLineParser parser;
    DescribeOptions(parser);
    parser.process(arguments);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runAdminCommands(parser, out, err);
}
