#include "desktop/InfoPanels.h"

#include "desktop/LinkLabel.h"
#include "desktop/SiteAddressView.h"
#include "net/SetupAnswers.h"
#include "settings/SettingsPaths.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QLabel* WrappedLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

QLabel* Heading(const QString& text) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    label->setFont(font);
    return label;
}

} // namespace

AboutPanel::AboutPanel(QWidget* parent)
    : QWidget(parent)
    , m_siteAddresses(new SiteAddressView(Heading(tr("Your site")))) {
    setObjectName(QStringLiteral("picAbout"));
    const QUrl site = SettingsPaths::MakerWebSite();
    auto* url = new LinkLabel(site.toDisplayString());
    url->setObjectName(QStringLiteral("lblURL"));
    url->setTarget(site);
    url->setAccessibleName(tr("Visit us at"));
    auto* visit = new QHBoxLayout;
    visit->addWidget(new QLabel(tr("Visit us at:")));
    visit->addWidget(url, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Heading(tr("Pocketlane - the easiest personal WAP server ever!")));
    layout->addWidget(new QLabel(tr("Version 1.0")));
    layout->addLayout(visit);
    layout->addWidget(WrappedLabel(
        tr("Please visit our website for latest updates, to submit bug reports and to submit "
           "enhancement requests. Further help is also available on the website.")));
    layout->addWidget(new QLabel(QString()));
    layout->addWidget(m_siteAddresses);
    layout->addStretch();
}

const QStringList& HelpPanel::Questions() {
    static const QStringList questions = {
        tr("Running on a LAN/behind a router?"), tr("Have UPnP NAT software?"),
        tr("Can perform Port Forwarding?"),      tr("Appropriate port is forwarded?"),
        tr("Have retrieved public IP address?"), tr("Have retrieved local IP address?"),
    };
    return questions;
}

HelpPanel::HelpPanel(QWidget* parent)
    : QWidget(parent)
    , m_gatewayQuestion(new QLabel(SetupAnswers::GatewayQuestion()))
    , m_gatewayAnswer(new LinkLabel)
    , m_phoneSettings(new QLabel)
    , m_check(new QPushButton(tr("Check my Setup"))) {
    setObjectName(QStringLiteral("picHelp"));
    auto* rows = new QGridLayout;
    for (int i = 0; i < AnswerCount; ++i) {
        auto* answer = new LinkLabel;
        answer->setObjectName(QStringLiteral("lblHelp_%1").arg(i));
        answer->setAccessibleName(Questions().at(i));
        m_answers << answer;
        rows->addWidget(new QLabel(Questions().at(i)), i, 0);
        rows->addWidget(answer, i, 1);
    }
    m_gatewayAnswer->setObjectName(QStringLiteral("lblHelpGateway"));
    m_gatewayAnswer->setAccessibleName(SetupAnswers::GatewayQuestion());
    m_phoneSettings->setObjectName(QStringLiteral("lblPhoneSettings"));
    m_phoneSettings->setWordWrap(true);
    m_phoneSettings->setTextInteractionFlags(Qt::TextSelectableByMouse);
    rows->addWidget(m_gatewayQuestion, AnswerCount, 0);
    rows->addWidget(m_gatewayAnswer, AnswerCount, 1);
    rows->addWidget(m_phoneSettings, AnswerCount + 1, 0, 1, 2);
    rows->setColumnStretch(1, 1);
    ResetSetupAnswers();
    SetGateway({}, {}, {});

    m_check->setObjectName(QStringLiteral("cmdCheckMySetup"));
    connect(m_check, &QPushButton::clicked, this, &HelpPanel::CheckMySetup);
    auto* more =
        new LinkLabel(tr("Need more help? Visit the website, or click on a problem area above."));
    more->setObjectName(QStringLiteral("lblHelpPortForward"));
    more->setTarget(SettingsPaths::MakerWebPage(QStringLiteral("/pocketlane/help.htm")));

    auto* button = new QHBoxLayout;
    button->addWidget(m_check);
    button->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Heading(tr("Need help setting up?")));
    layout->addLayout(rows);
    layout->addLayout(button);
    layout->addWidget(more);
    layout->addStretch();
}

void HelpPanel::SetAnswer(int iIndex, const QString& sCaption, const QUrl& helpLink) {
    LinkLabel* answer = m_answers.value(iIndex);
    if (!answer)
        return;
    answer->setText(sCaption);
    answer->setTarget(helpLink);
    answer->setLive(!helpLink.isEmpty());
}

void HelpPanel::SetGateway(const QString& sCaption, const QUrl& helpLink,
                           const QString& sPhoneSettings) {
    for (QWidget* widget :
         {static_cast<QWidget*>(m_gatewayQuestion), static_cast<QWidget*>(m_gatewayAnswer),
          static_cast<QWidget*>(m_phoneSettings)})
        widget->setVisible(!sCaption.isEmpty());
    m_gatewayAnswer->setText(sCaption);
    m_gatewayAnswer->setTarget(helpLink);
    m_gatewayAnswer->setLive(!helpLink.isEmpty());
    m_phoneSettings->setText(sPhoneSettings);
}

void HelpPanel::ResetSetupAnswers() {
    for (int i = 0; i < AnswerCount; ++i)
        SetAnswer(i, tr("Unknown"));
}
