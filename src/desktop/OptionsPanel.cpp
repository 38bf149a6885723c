#include "desktop/OptionsPanel.h"

#include "desktop/NamedWidget.h"
#include "desktop/OptionBindings.h"
#include "desktop/OwnerDialogs.h"
#include "desktop/PanelWidgets.h"
#include "net/GatewaySupervisor.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The gateway's switch, disabled with the words to install Kannel where it
// is missing, and the line that says whether the gateway runs.
QVBoxLayout* GatewayControls(OptionBindings& bindings) {
    auto* gateway = new QVBoxLayout;
    auto* box = NamedWidget<QCheckBox>(
        "chkEnableGateway",
        QCoreApplication::translate("OptionsPanel", "Let WAP 1.x phones in (built-in gateway)"));
    gateway->addWidget(bindings.bindSwitch(box, Settings::EnableGateway));
    const bool installed = GatewaySupervisor::KannelInstalled();
    box->setEnabled(installed);
    auto* state = NamedWidget<QLabel>("lblGatewayState", OptionsPanel::GatewayStateText(false));
    state->setVisible(installed);
    gateway->addWidget(state);
    gateway->addWidget(PanelWidgets::Description(
        installed ? QCoreApplication::translate(
                        "OptionsPanel",
                        "Phones that speak only WAP 1.x (WSP over UDP) reach this site, and "
                        "nothing else, through Kannel's gateway on UDP port 9201 (or 9200) of "
                        "this PC. The Help panel says what to type into the phone.")
                  : GatewaySupervisor::InstallAdvice() + u'.'));
    return gateway;
}

} // namespace

QString OptionsPanel::GatewayStateText(bool running) {
    return running ? tr("The gateway runs.") : tr("The gateway does not run.");
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
    imageRow->addWidget(
        bindings.bindText(PanelWidgets::NamedField("txtWelcomeGraphic", tr("Welcome image file")),
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
    welcome->addWidget(
        bindings.bindText(PanelWidgets::NamedField("txtWelcomeMessage", tr("Welcome message")),
                          Settings::WelcomeMessageText, W::OnFocusLoss));

    auto* password = new QVBoxLayout;
    PanelWidgets::AddPassword(password, bindings,
                              NamedWidget<QCheckBox>("chkEnablePassword", tr("Enable password")),
                              Settings::EnablePassword, "txtPassword", Settings::Password,
                              W::OnFocusLoss, "lblPasswordWarning");

    auto* logging = new QVBoxLayout;
    logging->addWidget(
        bindings.bindSwitch(NamedWidget<QCheckBox>("chkExtendedLogging", tr("Extended logging")),
                            Settings::ExtendedLogging));
    logging->addWidget(PanelWidgets::Description(
        tr("Also log every connection, request and page sent on the Status panel.")));

    auto* port = new QVBoxLayout;
    QLineEdit* portField = PanelWidgets::NamedField("txtPort", tr("Server port"));
    portField->setValidator(new QIntValidator(1, 65535, portField));
    port->addWidget(bindings.bindText(portField, Settings::Port, W::OnFocusLoss));
    port->addWidget(PanelWidgets::Description(
        tr("The TCP port phones reach the server on (80 unless set; the router forwards its port "
           "80 here). A change takes effect when the server starts again with the start/stop "
           "icon on the Modules panel.")));

    m_layout = new QVBoxLayout(this);
    QVBoxLayout* layout = m_layout;
    layout->addWidget(PanelWidgets::Group(tr("Welcome"), welcome));
    layout->addWidget(PanelWidgets::Group(tr("Site password"), password));
    layout->addWidget(PanelWidgets::Group(tr("Logging"), logging));
    layout->addWidget(PanelWidgets::Group(tr("Server port"), port));
    layout->addWidget(PanelWidgets::Group(tr("Old WAP phones"), GatewayControls(bindings)));
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
