#include "support/WspClient.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>

#include <utility>

namespace {
// The well-known content types that replies carry, by their assigned numbers;
// the phone sends every type as text.
constexpr std::pair<int, const char*> WellKnownContentTypes[] = {
    {0x03, "text/plain"}, {0x14, "application/vnd.wap.wmlc"}, {0x21, "image/vnd.wap.wbmp"}};

// WSP PDU types and the header field codes this client sends.
constexpr char PduReply = 0x04;
constexpr char PduGet = 0x40;
constexpr char FieldAccept = char(0x80);
constexpr char FieldUserAgent = char(0xA9);

QByteArray uintvar(quint32 value) {
    QByteArray bytes(1, char(value & 0x7F));
    while (value >>= 7)
        bytes.prepend(char(0x80 | (value & 0x7F)));
    return bytes;
}

// Reads a uintvar at pos and moves pos past it; -1 when it runs off the end.
qint64 readUintvar(const QByteArray& data, qsizetype& pos) {
    qint64 value = 0;
    for (int octets = 0; octets < 5 && pos < data.size(); ++octets) {
        const quint8 next = quint8(data[pos++]);
        value = (value << 7) | (next & 0x7F);
        if (!(next & 0x80))
            return value;
    }
    return -1;
}

// The media type of a Content-type value: a well-known number or a text,
// either of them alone or after a value length (parameters follow then).
QByteArray mediaType(QByteArray value) {
    qsizetype pos = value.isEmpty() || quint8(value[0]) >= 0x20 ? 0 : 1;
    if (pos == 1 && value[0] == 0x1F && readUintvar(value, pos) < 0)
        return {};
    value = value.mid(pos);
    if (value.isEmpty() || quint8(value[0]) < 0x80)
        return value.left(value.indexOf('\0'));
    const int code = value[0] & 0x7F;
    for (const auto& [known, name] : WellKnownContentTypes)
        if (known == code)
            return name;
    return "well-known 0x" + QByteArray::number(code, 16);
}

// Decodes a Reply PDU that starts at its PDU type octet.
WspReply parseReply(const QByteArray& pdu) {
    WspReply reply;
    qsizetype pos = 2;
    const qint64 headersLength = pdu.size() > 2 && pdu[0] == PduReply ? readUintvar(pdu, pos) : -1;
    if (headersLength < 0 || headersLength > pdu.size() - pos) {
        reply.error = QStringLiteral("not a WSP Reply PDU: ") + QString::fromLatin1(pdu.toHex(' '));
        return reply;
    }
    reply.status = quint8(pdu[1]);
    reply.contentType = mediaType(pdu.mid(pos, headersLength));
    reply.body = pdu.mid(pos + headersLength);
    if (reply.contentType.isEmpty())
        reply.error = QStringLiteral("WSP Reply with an unreadable content type");
    return reply;
}

} // namespace

WspClient::WspClient(const QHostAddress& gateway, const QHostAddress& phone)
    : m_gateway(gateway)
    , m_acceptedTypes{"application/vnd.wap.wmlc",
                      "application/vnd.wap.wmlscriptc",
                      "image/vnd.wap.wbmp",
                      "image/gif",
                      "image/jpeg",
                      "image/png"} {
    m_socket.bind(phone, 0);
}

WspReply WspClient::get(const QByteArray& url) {
    const char tid = char(++m_tid);
    QByteArray request = QByteArray(1, tid) + PduGet + uintvar(quint32(url.size())) + url;
    for (const QByteArray& type : std::as_const(m_acceptedTypes))
        request += FieldAccept + type + '\0';
    m_socket.writeDatagram(request + FieldUserAgent + m_userAgent + '\0', m_gateway,
                           ConnectionlessPort);
    const QDeadlineTimer deadline(TimeoutMs);
    while (!deadline.hasExpired() && m_socket.waitForReadyRead(int(deadline.remainingTime()))) {
        while (m_socket.hasPendingDatagrams()) {
            const QByteArray data = m_socket.receiveDatagram().data();
            if (data.size() > 1 && data[0] == tid)
                return parseReply(data.mid(1));
        }
    }
    WspReply reply;
    reply.error = QStringLiteral("no complete reply within %1 ms (%2)")
                      .arg(TimeoutMs)
                      .arg(m_socket.errorString());
    return reply;
}
