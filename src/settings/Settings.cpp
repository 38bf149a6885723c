#include "settings/Settings.h"

#include "base/SafeText.h"
#include "base/StatusLog.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsPaths.h"
#include "settings/SettingsStorage.h"
#include "settings/clsRegistry.h"

#include <QFile>

#include <algorithm>

namespace {

constexpr int NotGoverned = -1;

struct OptionInfo {
    const char* valueName;
    bool isSwitch;
    // For the three module switches: the module's name in the log line.
    const char* moduleName;
    int governedBy;
    // The option's own change signal, for the options that have one.
    void (Settings::*switchChanged)(bool);
    void (Settings::*textChanged)(const QByteArray&);
};

// The option table, in load order (the order of Settings::Option).
const OptionInfo Options[Settings::OptionCount] = {
    {"ShowWelcomeGraphic", true, nullptr, NotGoverned, nullptr, nullptr},
    {"ShowWelcomeGraphicFilename", false, nullptr, Settings::ShowWelcomeGraphic, nullptr, nullptr},
    {"WelcomeMessage", true, nullptr, NotGoverned, nullptr, nullptr},
    {"WelcomeMessageText", false, nullptr, Settings::WelcomeMessage, nullptr, nullptr},
    {"ExtendedLogging", true, nullptr, NotGoverned, nullptr, nullptr},
    {"EnablePassword", true, nullptr, NotGoverned, nullptr, nullptr},
    {"Password", false, nullptr, Settings::EnablePassword, nullptr, nullptr},
    {"EnableMyComputerPassword", true, nullptr, NotGoverned, nullptr, nullptr},
    {"MyComputerPassword", false, nullptr, Settings::EnableMyComputerPassword, nullptr, nullptr},
    {"EnableSharedFolders", true, "Shared Folders", NotGoverned, nullptr, nullptr},
    {"EnableGraffiti", true, "Graffiti", NotGoverned, nullptr, nullptr},
    {"EnableMyComputer", true, "My Computer", NotGoverned, nullptr, nullptr},
    {"Force", true, nullptr, NotGoverned, nullptr, nullptr},
    {"ForceIfHung", true, nullptr, NotGoverned, nullptr, nullptr},
    {"GraffitiShowDate", true, nullptr, NotGoverned, nullptr, nullptr},
    {"GraffitiShowTime", true, nullptr, NotGoverned, nullptr, nullptr},
    {"Port", false, nullptr, NotGoverned, nullptr, &Settings::portChanged},
    {"KeepGraffiti", true, nullptr, NotGoverned, &Settings::keepGraffitiChanged, nullptr},
    {"EnableGateway", true, nullptr, NotGoverned, &Settings::enableGatewayChanged, nullptr},
};

// The options a first run gives values to and stores: all but the Graffiti
// switches and the port.
constexpr int FirstRunOptionCount = Settings::ForceIfHung + 1;

QByteArray switchText(bool on) {
    return on ? QByteArrayLiteral("Y") : QByteArrayLiteral("N");
}

// An option's value before anything is loaded, and when it is not stored:
// every switch is off but KeepGraffiti, every text empty.
QByteArray unsetValue(Settings::Option eOption) {
    if (!Settings::IsSwitch(eOption))
        return {};
    return switchText(eOption == Settings::KeepGraffiti);
}

QByteArray firstRunValue(Settings::Option eOption) {
    switch (eOption) {
    case Settings::ShowWelcomeGraphic:
    case Settings::WelcomeMessage:
        return switchText(true);
    case Settings::ShowWelcomeGraphicFilename:
        return QFile::encodeName(SettingsPaths::WelcomeGraphicStoredName());
    case Settings::WelcomeMessageText:
        return QByteArrayLiteral("Welcome to this Pocketlane users site");
    default:
        return Settings::IsSwitch(eOption) ? switchText(false) : QByteArray();
    }
}

QByteArray optionsPath() {
    return SettingsStorage::StorePath(SettingsStorage::OptionsKey);
}

// Whether the option's value is a path: the only kind of value whose %NAME%
// references name environment variables. Every other value (passwords,
// messages) is kept exactly as given.
bool isPath(QByteArrayView sName) {
    return sName == Options[Settings::ShowWelcomeGraphicFilename].valueName;
}

RegistryKeys::Value storedValue(const QByteArray& sName, const QByteArray& sValue) {
    return {sName, sValue, isPath(sName) && clsRegistry::LooksExpandable(sValue)};
}

// A port as the owner writes it: digits only, 1 to 65535.
std::optional<quint16> PortNumber(QByteArrayView sValue) {
    bool ok = false;
    const uint port = sValue.toUInt(&ok);
    const bool digitsOnly =
        !sValue.isEmpty() &&
        std::all_of(sValue.begin(), sValue.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!ok || !digitsOnly || port < 1 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

} // namespace

QByteArray Settings::welcomeGraphicFilename() const {
    const QByteArray& name = text(ShowWelcomeGraphicFilename);
    if (!m_welcomeGraphicFound || name != m_welcomeGraphicName) {
        m_welcomeGraphicPath = SettingsPaths::InDataFolder(name);
        m_welcomeGraphicName = name;
        m_welcomeGraphicFound = true;
    }
    return m_welcomeGraphicPath;
}

QByteArray Settings::ValueName(Option eOption) {
    return QByteArray(Options[eOption].valueName);
}

bool Settings::IsSwitch(Option eOption) {
    return Options[eOption].isSwitch;
}

std::optional<Settings::Option> Settings::OptionNamed(QByteArrayView sName) {
    for (int option = 0; option < OptionCount; ++option) {
        if (sName.compare(QByteArrayView(Options[option].valueName), Qt::CaseInsensitive) == 0)
            return Option(option);
    }
    return std::nullopt;
}

QString Settings::RefusalOf(Option eOption, QByteArrayView sValue) {
    const QString name = QString::fromLatin1(Options[eOption].valueName);
    if (IsSwitch(eOption) && sValue != "Y" && sValue != "N")
        return name + QStringLiteral(" is a switch and takes Y or N, not \"") +
               QString::fromUtf8(sValue) + u'"';
    if (eOption == Port && !PortNumber(sValue))
        return name + QStringLiteral(" takes a number from 1 to 65535, not \"") +
               QString::fromUtf8(sValue) + u'"';
    return QString();
}

quint16 Settings::port() const {
    return PortNumber(text(Port)).value_or(DefaultPort);
}

std::optional<Settings::Option> Settings::GoverningSwitch(Option eOption) {
    const int governor = Options[eOption].governedBy;
    return governor == NotGoverned ? std::nullopt : std::optional<Option>(Option(governor));
}

Settings::Settings(RegistryStore& store, StatusLog& log, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_log(log) {
    for (int option = 0; option < OptionCount; ++option)
        m_values[option] = unsetValue(Option(option));
}

bool Settings::isEditable(Option eOption) const {
    const auto governor = GoverningSwitch(eOption);
    return !governor || isOn(*governor);
}

bool Settings::assign(Option eOption, const QByteArray& sValue) {
    const QByteArray value = eOption == WelcomeMessageText ? SafeText::MakeXmlSafe(sValue) : sValue;
    if (m_values[eOption] == value)
        return false;
    m_values[eOption] = value;
    emitChanged(eOption);
    return true;
}

void Settings::emitChanged(Option eOption) {
    const OptionInfo& info = Options[eOption];
    if (info.switchChanged)
        Q_EMIT(this->*info.switchChanged)(isOn(eOption));
    if (info.textChanged)
        Q_EMIT(this->*info.textChanged)(text(eOption));
    Q_EMIT optionChanged(eOption);
}

void Settings::LoadSettings() {
    if (!m_store.keyExists(SettingsStorage::StorePath(SettingsStorage::ProductKey)))
        applyFirstRun();
    else if (m_store.keyExists(optionsPath()))
        loadStoredValues();
    logStartupNotices();
}

// The stored value: a path with its references expanded, any other value
// exactly as stored. Empty when missing.
QByteArray Settings::storedText(Option eOption) const {
    const auto value = m_store.value(optionsPath(), ValueName(eOption));
    if (!value)
        return {};
    return isPath(ValueName(eOption)) && value->expandable
               ? clsRegistry::ExpandEnvironmentStrings(value->data)
               : value->data;
}

// Loading an option that changes its state counts as an edit of it: the
// module switches log their line, as a click on them would.
void Settings::loadStoredValues() {
    for (int index = 0; index < OptionCount; ++index) {
        const Option option = Option(index);
        QByteArray stored = storedText(option);
        if (stored.isEmpty())
            stored = unsetValue(option);
        const QByteArray value = IsSwitch(option) ? switchText(stored == "Y") : stored;
        if (assign(option, value) && Options[index].moduleName)
            logModuleSwitch(option);
    }
}

void Settings::applyFirstRun() {
    for (int option = 0; option < FirstRunOptionCount; ++option)
        assign(Option(option), firstRunValue(Option(option)));
    SaveAllSettings();
}

void Settings::logStartupNotices() {
    if (!enableSharedFolders())
        m_log.LogStatus(LogDetail, QStringLiteral("File sharing is NOT enabled."));
    if (!enableGraffiti())
        m_log.LogStatus(LogDetail, QStringLiteral("Graffiti is NOT enabled."));
    if (!enableMyComputer())
        m_log.LogStatus(LogDetail, QStringLiteral("My Computer is NOT enabled."));
    else if (!enableMyComputerPassword() || myComputerPassword().isEmpty())
        m_log.LogStatus(LogError, QStringLiteral("WARNING! No password is set/enabled for My "
                                                 "Computer. Anyone could potentially shut down "
                                                 "your PC!"));
}

void Settings::SaveSetting(const QByteArray& sName, const QByteArray& sValue) {
    saveValues({storedValue(sName, sValue)});
}

void Settings::SaveAllSettings() {
    QList<RegistryKeys::Value> values;
    for (int option = 0; option < FirstRunOptionCount; ++option)
        values.append(storedValue(ValueName(Option(option)), storedForm(Option(option))));
    saveValues(values);
}

void Settings::saveValues(const QList<RegistryKeys::Value>& values) {
    if (!m_store.setValues(optionsPath(), values))
        throw SettingsStorage::SavingError(m_store, SettingsStorage::OptionsKey, values.first());
}

bool Settings::write(Option eOption) {
    try {
        SaveSetting(ValueName(eOption), storedForm(eOption));
        return true;
    } catch (const RegistryError& error) {
        m_log.LogStatus(LogError, QStringLiteral("Saving Error: ") + error.Description());
        return false;
    }
}

void Settings::logModuleSwitch(Option eOption) {
    m_log.LogStatus(
        LogDetail, QString::fromLatin1(Options[eOption].moduleName) + QStringLiteral(" has been ") +
                       (isOn(eOption) ? QStringLiteral("enabled") : QStringLiteral("disabled")));
}

bool Settings::setSwitch(Option eOption, bool on) {
    Q_ASSERT(IsSwitch(eOption));
    assign(eOption, switchText(on));
    const bool written = write(eOption);
    if (Options[eOption].moduleName)
        logModuleSwitch(eOption);
    return written;
}

bool Settings::setText(Option eOption, const QByteArray& sText) {
    Q_ASSERT(!IsSwitch(eOption));
    if (!RefusalOf(eOption, sText).isEmpty())
        return false;
    assign(eOption, sText);
    return write(eOption);
}
