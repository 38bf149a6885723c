#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

class SiteAddressView;

// The About panel: the program's name and version, the link to the maker's
// web site (`lblURL`) and where the site is reached (`SiteAddressView`).
class AboutPanel : public QWidget {
    Q_OBJECT
public:
    explicit AboutPanel(QWidget* parent = nullptr);

    SiteAddressView* SiteAddresses() const { return m_siteAddresses; }

private:
    SiteAddressView* m_siteAddresses;
};
