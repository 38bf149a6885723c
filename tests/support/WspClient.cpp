#include "support/WspClient.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QTest>

#include <utility>

namespace {
// The well-known WSP content types that the tests send or receive, by their
// assigned numbers; other types travel as text.
constexpr std::pair<int, const char*> WellKnownContentTypes[] = {
    {0x03, "text/plain"},
    {0x08, "text/vnd.wap.wml"},
    {0x14, "application/vnd.wap.wmlc"},
    {0x15, "application/vnd.wap.wmlscriptc"},
    {0x1D, "image/gif"},
    {0x1E, "image/jpeg"},
    {0x20, "image/png"},
    {0x21, "image/vnd.wap.wbmp"},
};

// WSP PDU types and the header field codes this client sends.
constexpr char PduReply = 0x04;
constexpr char PduGet = 0x40;
constexpr char FieldAccept = char(0x80);
constexpr char FieldUserAgent = char(0xA9);

quint8 octet(const QByteArray& data, qsizetype pos) {
    return static_cast<quint8>(data[pos]);
}

QByteArray uintvar(quint32 value) {
    QByteArray bytes(1, char(value & 0x7F));
    while (value >>= 7)
        bytes.prepend(char(0x80 | (value & 0x7F)));
    return bytes;
}

// Reads a uintvar at pos and advances pos; false when it runs off the end.
bool readUintvar(const QByteArray& data, qsizetype& pos, quint32& value) {
    value = 0;
    for (int octets = 0; octets < 5 && pos < data.size(); ++octets) {
        const quint8 next = octet(data, pos++);
        value = (value << 7) | (next & 0x7F);
        if (!(next & 0x80))
            return true;
    }
    return false;
}

QByteArray encodedContentType(const QByteArray& type) {
    for (const auto& [code, name] : WellKnownContentTypes) {
        if (type.compare(name, Qt::CaseInsensitive) == 0)
            return QByteArray(1, char(0x80 | code));
    }
    return type + '\0';
}

// The media type of a Content-type value at pos (short integer, text, or the
// general form with a length and parameters); advances pos past the value.
bool readContentType(const QByteArray& data, qsizetype& pos, QByteArray& type) {
    if (pos >= data.size())
        return false;
    const quint8 first = octet(data, pos);
    if (first >= 0x80) {
        type = "well-known 0x" + QByteArray::number(first & 0x7F, 16);
        for (const auto& [code, name] : WellKnownContentTypes) {
            if (code == (first & 0x7F))
                type = name;
        }
        ++pos;
        return true;
    }
    if (first >= 0x20) {
        const qsizetype end = data.indexOf('\0', pos);
        type = data.mid(pos, end - pos);
        pos = end + 1;
        return end >= 0;
    }
    quint32 length = first;
    ++pos;
    if ((first == 0x1F && !readUintvar(data, pos, length)) || length > quint32(data.size() - pos))
        return false;
    const QByteArray value = data.mid(pos, length);
    pos += length;
    qsizetype inner = 0;
    return readContentType(value, inner, type);
}

// Decodes a Reply PDU that starts at its PDU type octet.
WspReply parseReply(const QByteArray& pdu) {
    WspReply reply;
    qsizetype pos = 2;
    quint32 headersLength = 0;
    if (pdu.size() < 3 || pdu[0] != PduReply || !readUintvar(pdu, pos, headersLength) ||
        headersLength > quint32(pdu.size() - pos)) {
        reply.error = QStringLiteral("not a WSP Reply PDU: ") + QString::fromLatin1(pdu.toHex(' '));
        return reply;
    }
    reply.status = octet(pdu, 1);
    const QByteArray headers = pdu.mid(pos, headersLength);
    reply.body = pdu.mid(pos + headersLength);
    qsizetype headerPos = 0;
    if (!readContentType(headers, headerPos, reply.contentType))
        reply.error = QStringLiteral("WSP Reply with an unreadable content type");
    return reply;
}

} // namespace

QString WspReply::describe() const {
    if (!isComplete())
        return QStringLiteral("no complete reply: ") + error;
    return QStringLiteral("WSP 0x%1 %2, %3 bytes")
        .arg(status, 2, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(contentType))
        .arg(body.size());
}

WspClient::WspClient(const QHostAddress& gateway)
    : m_gateway(gateway)
    , m_acceptedTypes{"application/vnd.wap.wmlc",
                      "application/vnd.wap.wmlscriptc",
                      "image/vnd.wap.wbmp",
                      "image/gif",
                      "image/jpeg",
                      "image/png"} {
    m_socket.bind(QHostAddress::LocalHost, 0);
}

QByteArray WspClient::encodedRequestHeaders() const {
    QByteArray headers;
    for (const QByteArray& type : m_acceptedTypes)
        headers += FieldAccept + encodedContentType(type);
    return headers + FieldUserAgent + "PocketlaneTestPhone/1.0" + '\0';
}

bool WspClient::receiveUntil(const std::function<bool(const QByteArray&)>& take) {
    const QDeadlineTimer deadline(TimeoutMs);
    while (m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
        while (m_socket.hasPendingDatagrams()) {
            if (take(m_socket.receiveDatagram().data()))
                return true;
        }
        if (deadline.hasExpired())
            break;
    }
    m_error = QStringLiteral("no complete reply within %1 ms (%2)")
                  .arg(TimeoutMs)
                  .arg(m_socket.errorString());
    return false;
}

WspReply WspClient::get(const QByteArray& url) {
    const auto tid = static_cast<quint8>(++m_tid);
    m_socket.writeDatagram(QByteArray(1, char(tid)) + PduGet + uintvar(quint32(url.size())) + url +
                               encodedRequestHeaders(),
                           m_gateway, ConnectionlessPort);
    WspReply reply;
    const bool answered = receiveUntil([&](const QByteArray& data) {
        if (data.size() < 2 || octet(data, 0) != tid)
            return false;
        reply = parseReply(data.mid(1));
        return true;
    });
    if (!answered)
        reply.error = m_error;
    return reply;
}
