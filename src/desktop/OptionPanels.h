#pragma once

#include <QWidget>

class LinkLabel;
class OptionBindings;
class OwnerDialogs;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;
class Settings;
class WapServer;

// The Options panel: welcome image and message, site password, extended
// logging, the server's port, the built-in gateway for old WAP phones. The image's browse button
// picks a file and writes its path.
class OptionsPanel : public QWidget {
    Q_OBJECT
public:
    OptionsPanel(Settings& settings, OptionBindings& bindings, OwnerDialogs& dialogs,
                 QWidget* parent = nullptr);

    void BrowseWelcomeGraphic();
    // Adds a group of further options below the others.
    void AddGroup(QWidget* group);
    // The caption of `lblGatewayState`.
    static QString GatewayStateText(bool bRunning);

private:
    Settings& m_settings;
    OwnerDialogs& m_dialogs;
    QVBoxLayout* m_layout;
};

// The Modules panel: the three module switches with their descriptions, the
// server's start/stop icon with its caption (and why it serves on another
// port than the one asked for, when it does), and the module wish-list link.
class ModulesPanel : public QWidget {
    Q_OBJECT
public:
    ModulesPanel(WapServer& server, OptionBindings& bindings, QWidget* parent = nullptr);

    static QString StartStopTooltip(bool bRunning);
    static QString StartStopCaption(bool bRunning);

    // The owner's click on the start/stop icon: stops a running server,
    // starts a stopped one (a port that cannot be taken is logged by the
    // server, which stays stopped).
    void ToggleServer();

private:
    void showRunning(bool bRunning);
    void showPortNote();

    WapServer& m_server;
    QToolButton* m_startStop;
    QLabel* m_caption;
    QLabel* m_portNote;
};

// The My Computer panel: its password and the two force options.
class MyComputerPanel : public QWidget {
    Q_OBJECT
public:
    MyComputerPanel(OptionBindings& bindings, QWidget* parent = nullptr);
};
