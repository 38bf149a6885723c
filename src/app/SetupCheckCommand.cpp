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
#include <optional>

Reachability::Options ReachabilityOptions(const CommandLineOptions& options) {
    Reachability::Options reachability;
    if (!options.publicIpUrl.isEmpty())
        reachability.publicIpUrl = QUrl(options.publicIpUrl);
    if (options.upnpRecheckSeconds > 0)
        reachability.recheckMs = options.upnpRecheckSeconds * 1000;
    return reachability;
}

namespace {

std::optional<QByteArray> StoredOption(const RegistryStore& store, Settings::Option option) {
    const auto stored = store.value(SettingsStorage::StorePath(SettingsStorage::OptionsKey),
                                    Settings::ValueName(option));
    return stored ? std::optional<QByteArray>(stored->data) : std::nullopt;
}

// Whether the owner's settings turn the built-in gateway on (and Kannel is
// there to run it): the check then also asks about the gateway's ports.
bool GatewayOn(const RegistryStore& store) {
    return StoredOption(store, Settings::EnableGateway) == "Y" &&
           GatewaySupervisor::KannelInstalled();
}

// The port the program serves on: --port, else the owner's Port option.
quint16 PortToCheck(const CommandLineOptions& options, const RegistryStore& store) {
    if (options.portGiven)
        return options.port;
    const std::optional<QByteArray> stored = StoredOption(store, Settings::Port);
    if (!stored || !Settings::RefusalOf(Settings::Port, *stored).isEmpty())
        return Settings::DefaultPort;
    return stored->toUShort();
}

} // namespace

int RunSetupCheck(const CommandLineOptions& options) {
    StatusLog log;
    QObject::connect(&log, &StatusLog::lineAdded, &log, [](const StatusLog::Line& line) {
        std::fputs(qPrintable(StatusLog::formatLine(line) + u'\n'), stderr);
    });
    Reachability reachability(log, ReachabilityOptions(options));
    reachability.ResetSetupAnswers();
    RegistryStore store(SettingsPaths::SettingsFile(options.settingsFile));
    const bool readable = store.load(nullptr);
    reachability.SetGatewayForwarded(readable && GatewayOn(store));
    QObject::connect(&reachability, &Reachability::SetupChecked, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    reachability.LookUpAndCheck(readable ? PortToCheck(options, store) : options.port);
    QCoreApplication::exec();
    const QByteArray text = reachability.Answers().Lines().join(u'\n').toLocal8Bit() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return reachability.Answers().PhonesCanReach() ? 0 : 1;
}
