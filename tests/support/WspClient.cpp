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
constexpr char PduConnect = 0x01;
constexpr char PduConnectReply = 0x02;
constexpr char PduReply = 0x04;
constexpr char PduDisconnect = 0x05;
constexpr char PduGet = 0x40;
// WTP PDU types (bits 6..3 of the first octet) and their flags.
constexpr quint8 WtpInvoke = 1;
constexpr quint8 WtpResult = 2;
constexpr quint8 WtpAck = 3;
constexpr quint8 WtpAbort = 4;
constexpr quint8 WtpLastPacket = 0x06;     // GTR and TTR: a message in one packet
constexpr quint8 WtpTidVerify = 0x04;      // in an Ack: TIDve asked, TIDok answered
constexpr quint8 WtpUserAck = 0x10;        // in an Invoke: the result is acknowledged
constexpr quint8 WtpRetransmission = 0x01; // RID: the same PDU sent again
// How long a phone waits for the gateway before it sends its Invoke again.
constexpr qint64 RetransmitMs = 2000;
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

QByteArray wtpPdu(quint8 type, quint8 flags, quint16 tid) {
    const char octets[] = {char(type << 3 | flags), char(tid >> 8), char(tid)};
    return QByteArray(octets, sizeof octets);
}

// An Invoke of `transactionClass` carrying `wsp`.
QByteArray wtpInvoke(quint16 tid, quint8 transactionClass, const QByteArray& wsp) {
    return wtpPdu(WtpInvoke, WtpLastPacket, tid) +
           char(transactionClass == 2 ? WtpUserAck | 2 : transactionClass) + wsp;
}

} // namespace

WspClient::WspClient(const QHostAddress& gateway, const QHostAddress& phone, Mode mode)
    : m_gateway(gateway)
    , m_acceptedTypes{"application/vnd.wap.wmlc",
                      "application/vnd.wap.wmlscriptc",
                      "image/vnd.wap.wbmp",
                      "image/gif",
                      "image/jpeg",
                      "image/png"}
    , m_mode(mode) {
    m_socket.bind(phone, 0);
}

WspClient::~WspClient() {
    if (!m_session.isEmpty())
        sendWtp(wtpInvoke(++m_tid, 0, PduDisconnect + m_session));
}

void WspClient::sendWtp(const QByteArray& wtp) {
    m_socket.writeDatagram(wtp, m_gateway, ConnectionOrientedPort);
}

QString WspClient::timedOut() const {
    return QStringLiteral("no complete reply within %1 ms (%2)")
        .arg(TimeoutMs)
        .arg(m_socket.errorString());
}

// One class 2 transaction: the Invoke (again while the gateway says
// nothing), then the Result (after the gateway's Acks, a TID verification
// answered), then the phone's Ack of the result.
QByteArray WspClient::transact(const QByteArray& pdu, QString& error) {
    const quint16 tid = ++m_tid & 0x7FFF;
    QByteArray invoke = wtpInvoke(tid, 2, pdu);
    sendWtp(invoke);
    invoke[0] = char(invoke[0] | WtpRetransmission);
    const QDeadlineTimer deadline(TimeoutMs);
    bool heard = false;
    while (!deadline.hasExpired()) {
        if (!m_socket.waitForReadyRead(int(qMin(deadline.remainingTime(), RetransmitMs)))) {
            if (!heard)
                sendWtp(invoke);
            continue;
        }
        while (m_socket.hasPendingDatagrams()) {
            const QByteArray data = m_socket.receiveDatagram().data();
            if (data.size() < 3 || ((quint8(data[1]) << 8 | quint8(data[2])) & 0x7FFF) != tid)
                continue;
            const quint8 type = (quint8(data[0]) >> 3) & 0x0F;
            heard = true;
            if (type == WtpAck && (data[0] & WtpTidVerify))
                sendWtp(wtpPdu(WtpAck, WtpTidVerify, tid));
            if (type == WtpAbort) {
                error = QStringLiteral("WTP Abort: ") + QString::fromLatin1(data.toHex(' '));
                return {};
            }
            if (type != WtpResult)
                continue;
            sendWtp(wtpPdu(WtpAck, 0, tid));
            if ((data[0] & WtpLastPacket) != WtpLastPacket || (data[0] & 0x80))
                error = QStringLiteral("a segmented WTP result or one with TPIs");
            return data.mid(3);
        }
    }
    error = timedOut();
    return {};
}

WspReply WspClient::get(const QByteArray& url) {
    QByteArray request = PduGet + uintvar(quint32(url.size())) + url;
    for (const QByteArray& type : std::as_const(m_acceptedTypes))
        request += FieldAccept + type + '\0';
    request += FieldUserAgent + m_userAgent + '\0';
    if (m_mode == Mode::ConnectionOriented) {
        WspReply reply;
        if (m_session.isEmpty()) {
            // Version 1.0, no capabilities, no headers.
            const QByteArray connectReply =
                transact(PduConnect + QByteArray("\x10\x00\x00", 3), reply.error);
            qsizetype end = 1;
            if (!connectReply.startsWith(PduConnectReply) || readUintvar(connectReply, end) < 0) {
                reply.error += QStringLiteral(" no ConnectReply");
                return reply;
            }
            m_session = connectReply.mid(1, end - 1);
        }
        const QByteArray pdu = transact(request, reply.error);
        return reply.error.isEmpty() ? parseReply(pdu) : reply;
    }
    const char tid = char(++m_tid);
    const QDeadlineTimer deadline(TimeoutMs);
    // Sent again while the gateway says nothing, as a phone's user would.
    while (!deadline.hasExpired()) {
        m_socket.writeDatagram(tid + request, m_gateway, ConnectionlessPort);
        if (!m_socket.waitForReadyRead(int(qMin(deadline.remainingTime(), RetransmitMs))))
            continue;
        while (m_socket.hasPendingDatagrams()) {
            const QByteArray data = m_socket.receiveDatagram().data();
            if (data.size() > 1 && data[0] == tid)
                return parseReply(data.mid(1));
        }
    }
    WspReply reply;
    reply.error = timedOut();
    return reply;
}
