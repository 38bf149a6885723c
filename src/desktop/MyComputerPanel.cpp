#include "desktop/MyComputerPanel.h"

#include "desktop/NamedWidget.h"
#include "desktop/OptionBindings.h"
#include "desktop/PanelWidgets.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

MyComputerPanel::MyComputerPanel(OptionBindings& bindings, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("picMyComputer"));
    auto* password = new QVBoxLayout;
    PanelWidgets::AddPassword(
        password, bindings,
        NamedWidget<QCheckBox>("chkMyComputerEnablePassword", tr("Enable password")),
        Settings::EnableMyComputerPassword, "txtMyComputerPassword", Settings::MyComputerPassword,
        OptionBindings::WriteText::OnEveryChange, "lblMyComputerPasswordWarning");
    password->addWidget(PanelWidgets::Description(
        tr("With a password, a visitor types it on the phone instead of confirming with Yes.")));

    auto* shutdown = new QVBoxLayout;
    shutdown->addWidget(bindings.bindSwitch(
        NamedWidget<QCheckBox>("chkExitOptionForce", tr("Force")), Settings::Force));
    shutdown->addWidget(PanelWidgets::Description(
        tr("Power off, reboot or shut down even while a program asks the system to wait.")));
    shutdown->addWidget(
        bindings.bindSwitch(NamedWidget<QCheckBox>("chkExitOptionForceIfHung", tr("Force if Hung")),
                            Settings::ForceIfHung));
    shutdown->addWidget(
        PanelWidgets::Description(tr("Do not wait for programs that do not respond.")));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PanelWidgets::Group(tr("My Computer password"), password));
    layout->addWidget(PanelWidgets::Group(tr("Shutdown options"), shutdown));
    layout->addStretch();
}
