#include "desktop/AboutPanel.h"

#include "desktop/LinkLabel.h"
#include "desktop/PanelWidgets.h"
#include "desktop/SiteAddressView.h"
#include "settings/SettingsPaths.h"

#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

AboutPanel::AboutPanel(QWidget* parent)
    : QWidget(parent)
    , m_siteAddresses(new SiteAddressView(PanelWidgets::Heading(tr("Your site")))) {
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
    layout->addWidget(
        PanelWidgets::Heading(tr("Pocketlane - the easiest personal WAP server ever!")));
    layout->addWidget(new QLabel(tr("Version 1.0")));
    layout->addLayout(visit);
    layout->addWidget(PanelWidgets::WrappedLabel(
        tr("Please visit our website for latest updates, to submit bug reports and to submit "
           "enhancement requests. Further help is also available on the website.")));
    layout->addWidget(new QLabel(QString()));
    layout->addWidget(m_siteAddresses);
    layout->addStretch();
}
