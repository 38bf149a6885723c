#pragma once

#include <QUrl>
#include <QWidget>

class LinkLabel;
class QLabel;

// Where the site is reached, on the About panel: its address on this network
// and the one from the internet as links that open the site in the desktop's
// browser, and the network address as a QR code for a phone's camera, under
// the heading given. A row whose address is not known is hidden, and the
// whole view while neither is.
class SiteAddressView : public QWidget {
    Q_OBJECT
public:
    // The side of one module of the QR code, in the window's pixels.
    static constexpr int ModulePixels = 4;

    explicit SiteAddressView(QLabel* heading, QWidget* parent = nullptr);

    void SetAddresses(const QUrl& lan, const QUrl& internet);
    LinkLabel* LanLink() const { return m_lan; }
    LinkLabel* InternetLink() const { return m_internet; }
    QLabel* QrCode() const { return m_qrCode; }

private:
    void showQrCode(const QUrl& lan);

    QLabel* m_lanCaption;
    LinkLabel* m_lan;
    QLabel* m_internetCaption;
    LinkLabel* m_internet;
    QLabel* m_qrCode;
    QLabel* m_qrHint;
};
