#pragma once

#include "settings/RegistryKeys.h"

#include <QByteArray>
#include <QObject>

#include <array>
#include <optional>

class RegistryStore;
class StatusLog;

// The owner's options, live: every part of the program reads them here at the
// moment of use, and every change is written to the store at once, in one
// write (none when the store holds the value already). optionChanged tells
// of every change, so that the Options panel's controls can follow it.
// Switches are stored as "Y" or "N"; only exactly "Y" reads as on.
class Settings : public QObject {
    Q_OBJECT
public:
    // In load order; the names are the stored value names.
    enum Option {
        ShowWelcomeGraphic,
        ShowWelcomeGraphicFilename,
        WelcomeMessage,
        WelcomeMessageText,
        ExtendedLogging,
        EnablePassword,
        Password,
        EnableMyComputerPassword,
        MyComputerPassword,
        EnableSharedFolders,
        EnableGraffiti,
        EnableMyComputer,
        Force,
        ForceIfHung,
        GraffitiShowDate,
        GraffitiShowTime,
        // The TCP port the server listens on; empty (never written) means 80.
        Port,
        KeepGraffiti,
        // Phones that speak only WSP reach the site through the built-in gateway.
        EnableGateway,
    };
    Q_ENUM(Option)
    static constexpr int OptionCount = EnableGateway + 1;
    static constexpr quint16 DefaultPort = 80;

    static QByteArray ValueName(Option eOption);
    static bool IsSwitch(Option eOption);
    // The option with that value name, compared without regard to case.
    static std::optional<Option> OptionNamed(QByteArrayView sName);
    // The switch that makes a text option editable, if any.
    static std::optional<Option> GoverningSwitch(Option eOption);
    // Why the value cannot be given to the option (a switch takes Y or N, the
    // port a number from 1 to 65535); empty when it can.
    static QString RefusalOf(Option eOption, QByteArrayView sValue);

    Settings(RegistryStore& store, StatusLog& log, QObject* parent = nullptr);

    // Fills the options from the store, or gives them their first-run values
    // and stores them; then logs the start-up notices. Raises RegistryError
    // when the first-run values cannot be stored.
    void LoadSettings();
    // Writes one option value (raises RegistryError on failure); a path
    // that refers to environment variables is written as an expandable text.
    void SaveSetting(const QByteArray& sName, const QByteArray& sValue);
    // Writes the fourteen options a first run stores, in one write.
    void SaveAllSettings();

    // Change an option and write it at once. A failed write is logged at
    // level 1 and reported by false; the option keeps its new value. Module
    // switches log their "has been enabled/disabled" line. A value the option
    // refuses (RefusalOf) leaves it unchanged and is reported by false.
    bool setSwitch(Option eOption, bool on);
    bool setText(Option eOption, const QByteArray& sText);

    bool isOn(Option eOption) const { return m_values[eOption] == "Y"; }
    const QByteArray& text(Option eOption) const { return m_values[eOption]; }
    // The option as it is stored: "Y"/"N" for a switch, the text otherwise.
    const QByteArray& storedForm(Option eOption) const { return m_values[eOption]; }
    // Whether a text option can be edited now (its governing switch is on).
    bool isEditable(Option eOption) const;

    bool showWelcomeGraphic() const { return isOn(ShowWelcomeGraphic); }
    // The welcome image's path; a relative one is inside the data folder.
    QByteArray welcomeGraphicFilename() const;
    bool showWelcomeMessage() const { return isOn(WelcomeMessage); }
    // Safe for a deck: valid UTF-8 without characters XML forbids.
    const QByteArray& welcomeMessageText() const { return text(WelcomeMessageText); }
    bool extendedLogging() const { return isOn(ExtendedLogging); }
    bool enablePassword() const { return isOn(EnablePassword); }
    const QByteArray& password() const { return text(Password); }
    bool enableMyComputerPassword() const { return isOn(EnableMyComputerPassword); }
    const QByteArray& myComputerPassword() const { return text(MyComputerPassword); }
    bool enableSharedFolders() const { return isOn(EnableSharedFolders); }
    bool enableGraffiti() const { return isOn(EnableGraffiti); }
    bool enableMyComputer() const { return isOn(EnableMyComputer); }
    bool force() const { return isOn(Force); }
    bool forceIfHung() const { return isOn(ForceIfHung); }
    bool graffitiShowDate() const { return isOn(GraffitiShowDate); }
    bool graffitiShowTime() const { return isOn(GraffitiShowTime); }
    quint16 port() const;
    // On (also when not stored): the board is kept across restarts.
    bool keepGraffiti() const { return isOn(KeepGraffiti); }
    bool enableGateway() const { return isOn(EnableGateway); }

Q_SIGNALS:
    // Every change, whatever the option.
    void optionChanged(Settings::Option eOption);

    // The options that parts outside the Options panel follow.
    void portChanged(const QByteArray& sText);
    void keepGraffitiChanged(bool on);
    void enableGatewayChanged(bool on);

private:
    // Sets the live value and signals a change; true when it changed.
    bool assign(Option eOption, const QByteArray& sValue);
    void emitChanged(Option eOption);
    bool write(Option eOption);
    void saveValues(const QList<RegistryKeys::Value>& values);
    QByteArray storedText(Option eOption) const;
    void logModuleSwitch(Option eOption);
    void loadStoredValues();
    void applyFirstRun();
    void logStartupNotices();

    RegistryStore& m_store;
    StatusLog& m_log;
    std::array<QByteArray, OptionCount> m_values;
    // The welcome graphic's path and the stored name it was found for:
    // finding the data folder looks at the disk, too slow for every page.
    mutable QByteArray m_welcomeGraphicName;
    mutable QByteArray m_welcomeGraphicPath;
    mutable bool m_welcomeGraphicFound = false;
};
