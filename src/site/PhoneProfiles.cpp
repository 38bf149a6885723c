#include "site/PhoneProfiles.h"

#include "http/TextCollection.h"
#include "site/PhoneDisplay.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>

PhoneProfiles::PhoneProfiles(QObject* parent)
    : QObject(parent) {
    // Profiles are fetched directly, never through a proxy of the
    // environment.
    m_network.setProxy(QNetworkProxy::NoProxy);
}

std::optional<QSize> PhoneProfiles::ScreenOf(const TextCollection& headers) {
    const QByteArray profile = headers.Value("x-wap-profile", headers.Value("Profile"));
    return profile.isEmpty() ? std::nullopt : ScreenOfProfile(profile);
}

std::optional<QSize> PhoneProfiles::ScreenOfProfile(const QByteArray& profileHeader) {
    const QUrl url = ProfileUrl(profileHeader);
    if (!url.isValid())
        return std::nullopt;
    const QString key = url.toString();
    if (const std::optional<QSize>* known = m_known.object(key))
        return *known;
    if (!m_fetching.contains(key) && m_fetching.size() < MaxFetching)
        fetch(url);
    return std::nullopt;
}

QUrl PhoneProfiles::ProfileUrl(const QByteArray& profileHeader) {
    // Several profiles arrive separated by commas (or joined with ";" when
    // the header came twice); the first one names the phone.
    QByteArray first = profileHeader;
    for (const char separator : {',', ';'}) {
        if (const qsizetype end = first.indexOf(separator); end >= 0)
            first.truncate(end);
    }
    first = first.trimmed();
    if (first.size() >= 2 && first.startsWith('"') && first.endsWith('"'))
        first = first.mid(1, first.size() - 2).trimmed();
    const QUrl url(QString::fromLatin1(first), QUrl::StrictMode);
    const bool web =
        url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    return web && !url.host().isEmpty() ? url : QUrl();
}

std::optional<QSize> PhoneProfiles::ScreenInProfile(const QByteArray& document) {
    // <prf:ScreenSize>128x160</prf:ScreenSize>, or the same as an attribute.
    static const QRegularExpression screenSize(
        QStringLiteral("ScreenSize\\s*(?:>|=\\s*[\"'])\\s*([0-9]+\\s*[x*]\\s*[0-9]+)"));
    const QRegularExpressionMatch match = screenSize.match(QString::fromLatin1(document));
    return match.hasMatch() ? PhoneDisplay::ParseScreenSize(match.captured(1).toLatin1())
                            : std::nullopt;
}

void PhoneProfiles::fetch(const QUrl& url) {
    QNetworkRequest request(url);
    request.setTransferTimeout(FetchTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = m_network.get(request);
    const QString key = url.toString();
    m_fetching.insert(key);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > MaxDocumentBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, key, url] {
        const QByteArray document =
            reply->error() == QNetworkReply::NoError ? reply->read(MaxDocumentBytes) : QByteArray();
        reply->deleteLater();
        m_fetching.remove(key);
        m_known.insert(key, new std::optional<QSize>(ScreenInProfile(document)));
        Q_EMIT ProfileRead(url);
    });
}
