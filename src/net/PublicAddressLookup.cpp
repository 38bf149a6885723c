#include "net/PublicAddressLookup.h"

#include "base/SafeText.h"
#include "net/LanAddress.h"

#include <QRegularExpression>

namespace {

const QByteArray Marker = QByteArrayLiteral("displaycopy('");
const QByteArray HeaderEnd = QByteArrayLiteral("\r\n\r\n");

// What the marker is directly followed by, up to the next single quote;
// null while the quote has not come yet.
QByteArray TextAfterMarker(const QByteArray& answer, qsizetype markerAt) {
    const qsizetype start = markerAt + Marker.size();
    const qsizetype quote = answer.indexOf('\'', start);
    if (quote < 0)
        return {};
    return answer.mid(start, quote - start);
}

QByteArray FirstDottedAddress(const QByteArray& body, bool complete) {
    static const QRegularExpression dotted(
        QStringLiteral("(?<![0-9.])[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}(?![0-9])"));
    const QString text = QString::fromLatin1(body);
    const QRegularExpressionMatch match = dotted.match(text);
    if (!match.hasMatch())
        return {};
    // The address may go on in the next block.
    if (!complete && match.capturedEnd() == text.size())
        return {};
    return match.captured().toLatin1();
}

} // namespace

PublicAddressLookup::PublicAddressLookup(const QUrl& pageUrl, QObject* parent)
    : QObject(parent)
    , m_pageUrl(pageUrl) {
    m_timeLimit.setSingleShot(true);
    m_timeLimit.setInterval(DefaultTimeLimitMs);
    connect(&m_timeLimit, &QTimer::timeout, this, &PublicAddressLookup::onTimeLimit);
    connect(&g_SocketForIP, &QTcpSocket::connected, this, &PublicAddressLookup::onConnected);
    connect(&g_SocketForIP, &QTcpSocket::readyRead, this, &PublicAddressLookup::onReadyRead);
    connect(&g_SocketForIP, &QTcpSocket::disconnected, this, &PublicAddressLookup::onAnswerEnded);
    connect(&g_SocketForIP, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::RemoteHostClosedError)
                    onAnswerEnded();
                else
                    fail(g_SocketForIP.errorString());
            });
}

QByteArray PublicAddressLookup::RequestFor(const QUrl& pageUrl) {
    return "GET " + pageUrl.toEncoded() +
           " HTTP/1.0\r\n"
           "Accept: */*\r\n"
           "Accept: text/html\r\n"
           "\r\n"
           "\r\n";
}

QString PublicAddressLookup::AddressIn(const QByteArray& answer, bool complete) {
    const qsizetype markerAt = answer.indexOf(Marker);
    if (markerAt >= 0)
        return QString::fromLatin1(TextAfterMarker(answer, markerAt));
    const qsizetype headerEnd = answer.indexOf(HeaderEnd);
    if (headerEnd < 0)
        return {};
    // A marker may still come in a later block.
    if (!complete)
        return {};
    return QString::fromLatin1(FirstDottedAddress(answer.mid(headerEnd + HeaderEnd.size()), true));
}

void PublicAddressLookup::Start() {
    m_answer.clear();
    m_running = true;
    m_timeLimit.start();
    g_SocketForIP.connectToHost(m_pageUrl.host(), quint16(m_pageUrl.port(80)));
}

void PublicAddressLookup::onConnected() {
    g_SocketForIP.write(RequestFor(m_pageUrl));
}

void PublicAddressLookup::onReadyRead() {
    if (!m_running)
        return;
    m_answer += g_SocketForIP.read(MaxAnswerBytes - m_answer.size());
    const bool full = m_answer.size() >= MaxAnswerBytes;
    const QString address = AddressIn(m_answer, full);
    if (!address.isEmpty() || full)
        finish(address);
}

void PublicAddressLookup::onAnswerEnded() {
    if (!m_running)
        return;
    m_answer += g_SocketForIP.read(MaxAnswerBytes - m_answer.size());
    if (m_answer.isEmpty())
        fail(QString());
    else
        finish(AddressIn(m_answer, true));
}

void PublicAddressLookup::onTimeLimit() {
    if (m_running)
        fail(QStringLiteral("No answer within %1 seconds").arg(m_timeLimit.interval() / 1000.0));
}

void PublicAddressLookup::finish(const QString& address) {
    if (!IsPublicIPv4Address(address)) {
        fail(address.isEmpty() ? QStringLiteral("The answer holds no IPv4 address")
                               : QStringLiteral("Not a public IPv4 address: ") +
                                     QString::fromUtf8(SafeText::ForLog(address.toLatin1(), 40)));
        return;
    }
    endLookup();
    Q_EMIT Found(address);
}

void PublicAddressLookup::fail(const QString& description) {
    if (!m_running)
        return;
    endLookup();
    Q_EMIT Failed(description);
}

void PublicAddressLookup::endLookup() {
    m_running = false;
    m_timeLimit.stop();
    g_SocketForIP.abort();
}
