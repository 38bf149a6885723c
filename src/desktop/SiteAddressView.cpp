#include "desktop/SiteAddressView.h"

#include "desktop/LinkLabel.h"
#include "desktop/QrCodeImage.h"

#include <QGridLayout>
#include <QLabel>
#include <QPixmap>

#include <cmath>

namespace {

// A row's link: its text is the address, its target the same address.
void ShowLink(QLabel* caption, LinkLabel* link, const QUrl& address) {
    link->setText(address.toString());
    link->setTarget(address);
    link->setLive(!address.isEmpty());
    caption->setVisible(!address.isEmpty());
    link->setVisible(!address.isEmpty());
}

} // namespace

SiteAddressView::SiteAddressView(QLabel* heading, QWidget* parent)
    : QWidget(parent)
    , m_lanCaption(new QLabel(tr("On your network:")))
    , m_lan(new LinkLabel)
    , m_internetCaption(new QLabel(tr("From the internet:")))
    , m_internet(new LinkLabel)
    , m_qrCode(new QLabel)
    , m_qrHint(new QLabel(tr("Point a phone's camera at the code to open the site."))) {
    setObjectName(QStringLiteral("siteAddresses"));
    m_lan->setObjectName(QStringLiteral("lblSiteLan"));
    m_lan->setAccessibleName(tr("The site on your network"));
    m_internet->setObjectName(QStringLiteral("lblSiteInternet"));
    m_internet->setAccessibleName(tr("The site from the internet"));
    m_qrCode->setObjectName(QStringLiteral("imgSiteQrCode"));
    m_qrCode->setAccessibleName(tr("QR code of the site on your network"));
    m_qrHint->setWordWrap(true);
    auto* rows = new QGridLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->addWidget(heading, 0, 0, 1, 2);
    rows->addWidget(m_lanCaption, 1, 0);
    rows->addWidget(m_lan, 1, 1);
    rows->addWidget(m_internetCaption, 2, 0);
    rows->addWidget(m_internet, 2, 1);
    rows->addWidget(m_qrCode, 3, 0, 1, 2, Qt::AlignLeft);
    rows->addWidget(m_qrHint, 4, 0, 1, 2);
    rows->setColumnStretch(1, 1);
    SetAddresses({}, {});
}

void SiteAddressView::SetAddresses(const QUrl& lan, const QUrl& internet) {
    ShowLink(m_lanCaption, m_lan, lan);
    ShowLink(m_internetCaption, m_internet, internet);
    showQrCode(lan);
    setVisible(!lan.isEmpty() || !internet.isEmpty());
}

// Drawn in whole device pixels per module, so that a scaled desktop shows
// it as sharp as an unscaled one.
void SiteAddressView::showQrCode(const QUrl& lan) {
    const qreal ratio = devicePixelRatioF();
    const int devicePixels = int(std::ceil(ModulePixels * ratio));
    QPixmap code = QPixmap::fromImage(QrCodeImage(lan.toString(), devicePixels));
    code.setDevicePixelRatio(qreal(devicePixels) / ModulePixels);
    m_qrCode->setPixmap(code);
    m_qrCode->setVisible(!code.isNull());
    m_qrHint->setVisible(!code.isNull());
}
