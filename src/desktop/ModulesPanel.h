#pragma once

#include <QWidget>

class OptionBindings;
class QLabel;
class QToolButton;
class WapServer;

// The Modules panel: the three module switches with their descriptions, the
// server's start/stop icon with its caption (and why it serves on another
// port than the one asked for, when it does), and the module wish-list link.
class ModulesPanel : public QWidget {
    Q_OBJECT
public:
    ModulesPanel(WapServer& server, OptionBindings& bindings, QWidget* parent = nullptr);

    static QString StartStopTooltip(bool running);
    static QString StartStopCaption(bool running);

    // The owner's click on the start/stop icon: stops a running server,
    // starts a stopped one (a port that cannot be taken is logged by the
    // server, which stays stopped).
    void ToggleServer();

private:
    void showRunning(bool running);
    void showPortNote();

    WapServer& m_server;
    QToolButton* m_startStop;
    QLabel* m_caption;
    QLabel* m_portNote;
};
