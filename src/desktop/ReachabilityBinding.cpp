#include "desktop/ReachabilityBinding.h"

#include "desktop/InfoPanels.h"
#include "desktop/OptionPanels.h"
#include "desktop/SiteAddressView.h"
#include "desktop/frmMain.h"
#include "net/GatewaySupervisor.h"
#include "net/Reachability.h"
#include "net/SetupAnswers.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

namespace {

// The address field's texts: the address itself, the lookup's progress, or
// after a failed lookup a live link to the what-is-my-IP page.
void ShowAddress(frmMain& window, const Reachability& network) {
    using State = Reachability::AddressState;
    switch (network.AddressShown()) {
    case State::Unknown:
        return;
    case State::Locating:
        window.SetLocalIP(QCoreApplication::translate("frmMain", "Locating..."));
        return;
    case State::Failed:
        window.SetLocalIP(QCoreApplication::translate("frmMain", "Click here to find out"),
                          QStringLiteral("1"), network.LookupPage());
        return;
    case State::Local:
    case State::Found:
        window.SetLocalIP(network.Address());
        return;
    }
}

void ShowAnswers(HelpPanel& help, SetupAnswers& answers) {
    for (int i = 0; i < HelpPanel::AnswerCount && i < answers.rowCount(); ++i) {
        const QModelIndex row = answers.index(i);
        help.SetAnswer(i, row.data().toString(), row.data(SetupAnswers::LinkRole).toUrl());
    }
}

} // namespace

void BindReachability(frmMain& window, Reachability& network) {
    ShowAddress(window, network);
    QObject::connect(&network, &Reachability::addressChanged, &window,
                     [&window, &network] { ShowAddress(window, network); });
    SiteAddressView* site = window.SiteAddresses();
    const auto showSite = [site, &network] {
        const Reachability::SiteAddresses urls = network.SiteUrls();
        site->SetAddresses(urls.lan, urls.internet);
    };
    showSite();
    QObject::connect(&network, &Reachability::siteUrlsChanged, site, showSite);
    HelpPanel& help = *window.Help();
    SetupAnswers& answers = network.Answers();
    ShowAnswers(help, answers);
    QObject::connect(&answers, &QAbstractItemModel::dataChanged, &help,
                     [&help, &answers] { ShowAnswers(help, answers); });
    QObject::connect(&answers, &QAbstractItemModel::modelReset, &help,
                     [&help, &answers] { ShowAnswers(help, answers); });
    const auto showGateway = [&help, &answers] {
        help.SetGateway(answers.GatewayAnswer(), answers.GatewayLink(), answers.PhoneSettings());
    };
    showGateway();
    QObject::connect(&answers, &SetupAnswers::gatewayChanged, &help, showGateway);
    QObject::connect(&help, &HelpPanel::CheckMySetup, &network, &Reachability::CheckSetup);
    QPushButton* check = help.CheckMySetupButton();
    QObject::connect(&network, &Reachability::checkRunningChanged, check,
                     [check](bool running) { check->setEnabled(!running); });
}

void BindGateway(frmMain& window, GatewaySupervisor& gateway) {
    auto* state = window.findChild<QLabel*>(QStringLiteral("lblGatewayState"));
    if (!state)
        return;
    const auto show = [state](bool running) {
        state->setText(OptionsPanel::GatewayStateText(running));
    };
    show(gateway.IsRunning());
    QObject::connect(&gateway, &GatewaySupervisor::RunningChanged, state, show);
}
