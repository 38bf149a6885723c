#include "app/SetupCheckCommand.h"

#include "app/CommandLine.h"
#include "base/StatusLog.h"
#include "net/GatewaySupervisor.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"
#include "settings/SettingsStorage.h"

#include <QCoreApplication>

#include <cstdio>

Reachability::Options ReachabilityOptions(const CommandLineOptions& options) {
    Reachability::Options reachability;
    if (!options.publicIpUrl.isEmpty())
        reachability.publicIpUrl = QUrl(options.publicIpUrl);
    if (options.upnpRecheckSeconds > 0)
        reachability.recheckMs = options.upnpRecheckSeconds * 1000;
    return reachability;
}

namespace {

// Whether the owner's settings turn the built-in gateway on (and Kannel is
// there to run it): the check then also asks about the gateway's ports.
bool GatewayOn(const CommandLineOptions& options) {
    RegistryStore store(SettingsPaths::SettingsFile(options.settingsFile));
    if (!store.load(nullptr))
        return false;
    const auto stored = store.value(SettingsStorage::StorePath(SettingsStorage::OptionsKey),
                                    Settings::ValueName(Settings::EnableGateway));
    return stored && stored->data == "Y" && GatewaySupervisor::KannelInstalled();
}

} // namespace

int RunSetupCheck(const CommandLineOptions& options) {
    StatusLog log;
    QObject::connect(&log, &StatusLog::lineAdded, &log, [](const StatusLog::Line& line) {
        std::fputs(qPrintable(StatusLog::formatLine(line) + u'\n'), stderr);
    });
    Reachability reachability(log, ReachabilityOptions(options));
    reachability.ResetSetupAnswers();
    reachability.SetGatewayForwarded(GatewayOn(options));
    QObject::connect(&reachability, &Reachability::SetupChecked, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    reachability.LookUpAndCheck(options.port);
    QCoreApplication::exec();
    const QByteArray text = reachability.Answers().Lines().join(u'\n').toLocal8Bit() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return reachability.Answers().PhonesCanReach() ? 0 : 1;
}
