#include "desktop/OptionPanels.h"

#include "desktop/ImageList.h"
#include "desktop/LinkLabel.h"
#include "desktop/NamedWidget.h"
#include "desktop/OptionBindings.h"
#include "desktop/OwnerDialogs.h"
#include "http/WapServer.h"
#include "net/GatewaySupervisor.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"
#include "site/GuessThrottle.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A text field with no caption of its own: its accessible name says what
// it holds.
QLineEdit* NamedField(const char* name, const QString& sAccessibleName, bool bMasked = false) {
    auto* field = NamedWidget<QLineEdit>(name);
    field->setAccessibleName(sAccessibleName);
    if (bMasked)
        field->setEchoMode(QLineEdit::Password);
    return field;
}

QLabel* Description(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setIndent(24);
    return label;
}

// A warning under a password field, shown while its switch is on and the
// password typed could be guessed within a day.
QLabel* WeakPasswordWarning(const char* name, QCheckBox* box, QLineEdit* field) {
    auto* warning = Description(QString::fromLatin1(GuessThrottle::WeakPasswordWarning));
    warning->setObjectName(QString::fromLatin1(name));
    const auto update = [warning, box, field] {
        warning->setHidden(!box->isChecked() || !GuessThrottle::FallsWithinADay(field->text()));
    };
    QObject::connect(box, &QCheckBox::toggled, warning, update);
    QObject::connect(field, &QLineEdit::textChanged, warning, update);
    update();
    return warning;
}

// The switch, the masked field and the warning of a password.
void AddPassword(QVBoxLayout* layout, OptionBindings& bindings, QCheckBox* box,
                 Settings::Option eSwitch, const char* fieldName, Settings::Option eText,
                 OptionBindings::WriteText eWhen, const char* warningName) {
    layout->addWidget(bindings.bindSwitch(box, eSwitch));
    auto* field = bindings.bindText(
        NamedField(fieldName, QCoreApplication::translate("OptionsPanel", "Password"), true), eText,
        eWhen);
    layout->addWidget(field);
    layout->addWidget(WeakPasswordWarning(warningName, box, field));
}

QGroupBox* Group(const QString& title, QLayout* content) {
    auto* group = new QGroupBox(title);
    group->setLayout(content);
    return group;
}

// The gateway's switch, disabled with the words to install Kannel where it
// is missing, and the line that says whether the gateway runs.
QVBoxLayout* GatewayControls(OptionBindings& bindings) {
    auto* gateway = new QVBoxLayout;
    auto* box = NamedWidget<QCheckBox>("chkEnableGateway",
                                       QStringLiteral("Let WAP 1.x phones in (built-in gateway)"));
    gateway->addWidget(bindings.bindSwitch(box, Settings::EnableGateway));
    const bool installed = GatewaySupervisor::KannelInstalled();
    box->setEnabled(installed);
    auto* state = NamedWidget<QLabel>("lblGatewayState", OptionsPanel::GatewayStateText(false));
    state->setVisible(installed);
    gateway->addWidget(state);
    gateway->addWidget(Description(
        installed ? QStringLiteral("Phones that speak only WAP 1.x (WSP over UDP) reach this site, "
                                   "and nothing else, through Kannel's gateway on UDP port 9201 "
                                   "(or 9200) of this PC. The Help panel says what to type into "
                                   "the phone.")
                  : GatewaySupervisor::InstallAdvice() + u'.'));
    return gateway;
}

} // namespace

QString OptionsPanel::GatewayStateText(bool bRunning) {
    return bRunning ? QStringLiteral("The gateway runs.")
                    : QStringLiteral("The gateway does not run.");
}

OptionsPanel::OptionsPanel(Settings& settings, OptionBindings& bindings, OwnerDialogs& dialogs,
                           QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_dialogs(dialogs) {
    setObjectName(QStringLiteral("picOptions"));
    using W = OptionBindings::WriteText;

    auto* browse = new QPushButton(QStringLiteral("..."));
    browse->setObjectName(QStringLiteral("cbBrowseWelcomeGraphic"));
    browse->setToolTip(tr("Browse for the welcome image"));
    browse->setAccessibleName(browse->toolTip());
    connect(browse, &QPushButton::clicked, this, &OptionsPanel::BrowseWelcomeGraphic);
    auto* imageRow = new QHBoxLayout;
    imageRow->addWidget(bindings.bindText(NamedField("txtWelcomeGraphic", tr("Welcome image file")),
                                          Settings::ShowWelcomeGraphicFilename, W::OnFocusLoss));
    imageRow->addWidget(browse);
    bindings.governBy(Settings::ShowWelcomeGraphic, browse);

    auto* welcome = new QVBoxLayout;
    welcome->addWidget(bindings.bindSwitch(
        NamedWidget<QCheckBox>("chkWelcomeGraphic", tr("Show image when logging on")),
        Settings::ShowWelcomeGraphic));
    welcome->addLayout(imageRow);
    welcome->addWidget(bindings.bindSwitch(
        NamedWidget<QCheckBox>("chkWelcomeMessage", tr("Show message when logging on")),
        Settings::WelcomeMessage));
    welcome->addWidget(bindings.bindText(NamedField("txtWelcomeMessage", tr("Welcome message")),
                                         Settings::WelcomeMessageText, W::OnFocusLoss));

    auto* password = new QVBoxLayout;
    AddPassword(password, bindings,
                NamedWidget<QCheckBox>("chkEnablePassword", tr("Enable password")),
                Settings::EnablePassword, "txtPassword", Settings::Password, W::OnFocusLoss,
                "lblPasswordWarning");

    auto* logging = new QVBoxLayout;
    logging->addWidget(
        bindings.bindSwitch(NamedWidget<QCheckBox>("chkExtendedLogging", tr("Extended logging")),
                            Settings::ExtendedLogging));
    logging->addWidget(
        Description(tr("Also log every connection, request and page sent on the Status panel.")));

    auto* port = new QVBoxLayout;
    QLineEdit* portField = NamedField("txtPort", tr("Server port"));
    portField->setValidator(new QIntValidator(1, 65535, portField));
    port->addWidget(bindings.bindText(portField, Settings::Port, W::OnFocusLoss));
    port->addWidget(Description(
        tr("The TCP port phones reach the server on (80 unless set; the router forwards its port "
           "80 here). A change takes effect when the server starts again with the start/stop "
           "icon on the Modules panel.")));

    m_layout = new QVBoxLayout(this);
    QVBoxLayout* layout = m_layout;
    layout->addWidget(Group(tr("Welcome"), welcome));
    layout->addWidget(Group(tr("Site password"), password));
    layout->addWidget(Group(tr("Logging"), logging));
    layout->addWidget(Group(tr("Server port"), port));
    layout->addWidget(Group(tr("Old WAP phones"), GatewayControls(bindings)));
    layout->addStretch();
}

void OptionsPanel::AddGroup(QWidget* group) {
    m_layout->insertWidget(m_layout->count() - 1, group);
}

void OptionsPanel::BrowseWelcomeGraphic() {
    const QString current = QString::fromUtf8(m_settings.welcomeGraphicFilename());
    const QString chosen = m_dialogs.BrowseWelcomeGraphic(this, current);
    if (!chosen.isEmpty())
        m_settings.setText(Settings::ShowWelcomeGraphicFilename, chosen.toUtf8());
}

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
    modules->addWidget(Description(
        tr("Visitors browse the folders you share and download pictures and ring tones.")));
    modules->addWidget(bindings.bindSwitch(
        NamedWidget<QCheckBox>("chkEnableGraffiti", tr("Graffiti")), Settings::EnableGraffiti));
    modules->addWidget(
        Description(tr("Visitors read and write short public messages on a message board.")));
    modules->addWidget(
        bindings.bindSwitch(NamedWidget<QCheckBox>("chkEnableMyComputer", tr("My Computer")),
                            Settings::EnableMyComputer));
    modules->addWidget(Description(
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
    layout->addWidget(Group(tr("Modules"), modules));
    layout->addWidget(Group(tr("Server"), serverGroup));
    layout->addStretch();
    layout->addWidget(wishList);
}

QString ModulesPanel::StartStopTooltip(bool bRunning) {
    return bRunning ? tr("Click to STOP") : tr("Click to START");
}

QString ModulesPanel::StartStopCaption(bool bRunning) {
    return bRunning ? tr("Pocketlane is currently RUNNING. Click the icon to STOP it.")
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

void ModulesPanel::showRunning(bool bRunning) {
    m_startStop->setIcon(
        ImageList::Picture(bRunning ? QStringLiteral("running") : QStringLiteral("stopped")));
    m_startStop->setToolTip(StartStopTooltip(bRunning));
    m_startStop->setAccessibleName(StartStopTooltip(bRunning));
    m_caption->setText(StartStopCaption(bRunning));
}

MyComputerPanel::MyComputerPanel(OptionBindings& bindings, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("picMyComputer"));
    auto* password = new QVBoxLayout;
    AddPassword(password, bindings,
                NamedWidget<QCheckBox>("chkMyComputerEnablePassword", tr("Enable password")),
                Settings::EnableMyComputerPassword, "txtMyComputerPassword",
                Settings::MyComputerPassword, OptionBindings::WriteText::OnEveryChange,
                "lblMyComputerPasswordWarning");
    password->addWidget(Description(
        tr("With a password, a visitor types it on the phone instead of confirming with Yes.")));

    auto* shutdown = new QVBoxLayout;
    shutdown->addWidget(bindings.bindSwitch(
        NamedWidget<QCheckBox>("chkExitOptionForce", tr("Force")), Settings::Force));
    shutdown->addWidget(Description(
        tr("Power off, reboot or shut down even while a program asks the system to wait.")));
    shutdown->addWidget(
        bindings.bindSwitch(NamedWidget<QCheckBox>("chkExitOptionForceIfHung", tr("Force if Hung")),
                            Settings::ForceIfHung));
    shutdown->addWidget(Description(tr("Do not wait for programs that do not respond.")));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Group(tr("My Computer password"), password));
    layout->addWidget(Group(tr("Shutdown options"), shutdown));
    layout->addStretch();
}
