#include "net/SiteAddresses.h"

QUrl SiteAddresses::Url(const QString& host, quint16 port) {
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host);
    if (port != 80)
        url.setPort(port);
    url.setPath(QStringLiteral("/"));
    return url;
}
