#pragma once

#include <QWidget>

class OptionBindings;
class OwnerDialogs;
class QVBoxLayout;
class Settings;

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
    static QString GatewayStateText(bool running);

private:
    Settings& m_settings;
    OwnerDialogs& m_dialogs;
    QVBoxLayout* m_layout;
};
