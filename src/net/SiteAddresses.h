#pragma once

#include <QString>
#include <QUrl>

// Where a browser reaches the site: on this network at the PC's address
// and the port served (known once the listener opened), and from the
// internet at the public address through the router's forward of port 80
// (empty until the lookup found it). Each is empty while unknown.
struct SiteAddresses {
    QUrl lan;
    QUrl internet;
    bool operator==(const SiteAddresses&) const = default;

    // "http://<host>/", with the port unless it is 80.
    static QUrl Url(const QString& host, quint16 port);
};
