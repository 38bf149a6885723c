#include "desktop/ModulesPanel.h"

#include "desktop/ImageList.h"
#include "desktop/LinkLabel.h"
#include "desktop/NamedWidget.h"
#include "desktop/OptionBindings.h"
#include "desktop/PanelWidgets.h"
#include "http/WapServer.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

ModulesPanel::ModulesPanel(WapServer& server, OptionBindings& bindings, QWidget* parent)
    : QWidget(parent)
    , m_server(server)
    , m_startStop(new QToolButton)
    , m_caption(new QLabel)
    , m_portNote(new QLabel) {
    setObjectName(QStringLiteral("picModules"));
    auto* modules = new QVBoxLayout;
    modules->addWidget(
        bindings.bindSwitch(NamedWidget<QCheckBox>("chkEnableSharedFolders", tr("Shared Folders")),
                            Settings::EnableSharedFolders));
    modules->addWidget(PanelWidgets::Description(
        tr("Visitors browse the folders you share and download pictures and ring tones.")));
    modules->addWidget(bindings.bindSwitch(
        NamedWidget<QCheckBox>("chkEnableGraffiti", tr("Graffiti")), Settings::EnableGraffiti));
    modules->addWidget(PanelWidgets::Description(
        tr("Visitors read and write short public messages on a message board.")));
    modules->addWidget(
        bindings.bindSwitch(NamedWidget<QCheckBox>("chkEnableMyComputer", tr("My Computer")),
                            Settings::EnableMyComputer));
    modules->addWidget(PanelWidgets::Description(
        tr("Visitors log off, power off, reboot or shut down this PC, or close Pocketlane.")));

    m_startStop->setObjectName(QStringLiteral("imgStartStop"));
    m_startStop->setAutoRaise(true);
    m_startStop->setIconSize(QSize(32, 32));
    m_caption->setObjectName(QStringLiteral("lblStartStop"));
    m_caption->setWordWrap(true);
    connect(m_startStop, &QToolButton::clicked, this, &ModulesPanel::ToggleServer);
    connect(&m_server, &WapServer::RunningChanged, this, &ModulesPanel::showRunning);
    // Why the server serves on another port than the one asked for.
    m_portNote->setObjectName(QStringLiteral("lblPortNote"));
    m_portNote->setWordWrap(true);
    connect(&m_server, &WapServer::ListenerOpened, this, &ModulesPanel::showPortNote);
    showRunning(m_server.IsRunning());
    showPortNote();
    auto* serverRow = new QHBoxLayout;
    serverRow->addWidget(m_startStop);
    serverRow->addWidget(m_caption, 1);
    auto* serverGroup = new QVBoxLayout;
    serverGroup->addLayout(serverRow);
    serverGroup->addWidget(m_portNote);

    auto* wishList = new LinkLabel(tr("Do you have a good idea for a module? Let us know!"));
    wishList->setObjectName(QStringLiteral("lblWishList"));
    wishList->setTarget(
        SettingsPaths::MakerWebPage(QStringLiteral("/pocketlane/enhancements.htm")));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PanelWidgets::Group(tr("Modules"), modules));
    layout->addWidget(PanelWidgets::Group(tr("Server"), serverGroup));
    layout->addStretch();
    layout->addWidget(wishList);
}

QString ModulesPanel::StartStopTooltip(bool running) {
    return running ? tr("Click to STOP") : tr("Click to START");
}

QString ModulesPanel::StartStopCaption(bool running) {
    return running ? tr("Pocketlane is currently RUNNING. Click the icon to STOP it.")
                   : tr("Pocketlane is currently STOPPED. Click the icon to START it.");
}

void ModulesPanel::ToggleServer() {
    if (m_server.IsRunning())
        m_server.StopServer();
    else
        m_server.StartServer();
}

void ModulesPanel::showPortNote() {
    m_portNote->setText(m_server.PortNote());
    m_portNote->setVisible(!m_server.PortNote().isEmpty());
}

void ModulesPanel::showRunning(bool running) {
    m_startStop->setIcon(
        ImageList::Picture(running ? QStringLiteral("running") : QStringLiteral("stopped")));
    m_startStop->setToolTip(StartStopTooltip(running));
    m_startStop->setAccessibleName(StartStopTooltip(running));
    m_caption->setText(StartStopCaption(running));
}
