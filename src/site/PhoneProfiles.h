#pragma once

#include <QCache>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QString>
#include <QUrl>

#include <optional>

class TextCollection;

// The screen sizes that phones' profile documents (named by their
// x-wap-profile header) give. A profile not read yet is fetched in the
// background, and the phone's request goes on without it; the phones that
// follow find its screen size here. Fetches are few, small, short and never
// follow redirects, and both what is known and what is being fetched are
// bounded, so a stream of made-up profile addresses costs little.
class PhoneProfiles : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxKnown = 256;
    static constexpr int MaxFetching = 4;
    static constexpr qint64 MaxDocumentBytes = 256 * 1024;
    static constexpr int FetchTimeoutMs = 5000;

    explicit PhoneProfiles(QObject* parent = nullptr);

    // The screen size of the profile the request names, when it is known;
    // a profile not known yet is fetched.
    std::optional<QSize> ScreenOf(const TextCollection& headers);
    std::optional<QSize> ScreenOfProfile(const QByteArray& profileHeader);

    // The profile's address in an x-wap-profile value (quoted, maybe one of
    // several); an invalid address unless it is http or https.
    static QUrl ProfileUrl(const QByteArray& profileHeader);
    // The ScreenSize a profile document gives.
    static std::optional<QSize> ScreenInProfile(const QByteArray& document);

Q_SIGNALS:
    // A fetched profile has been read (or found unusable).
    void ProfileRead(const QUrl& url);

private:
    void fetch(const QUrl& url);

    QNetworkAccessManager m_network;
    // Every profile read, with its screen size when it gave one.
    QCache<QString, std::optional<QSize>> m_known{MaxKnown};
    QSet<QString> m_fetching;
};
