#include "support/WspClient.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QTest>

#include <array>

namespace {
// Well-known content types of WSP, indexed by their assigned number.
constexpr std::array<const char*, 0x2A> wellKnownContentTypes{
    "*/*",
    "text/*",
    "text/html",
    "text/plain",
    "text/x-hdml",
    "text/x-ttml",
    "text/x-vCalendar",
    "text/x-vCard",
    "text/vnd.wap.wml",
    "text/vnd.wap.wmlscript",
    "text/vnd.wap.wta-event",
    "multipart/*",
    "multipart/mixed",
    "multipart/form-data",
    "multipart/byterantes",
    "multipart/alternative",
    "application/*",
    "application/java-vm",
    "application/x-www-form-urlencoded",
    "application/x-hdmlc",
    "application/vnd.wap.wmlc",
    "application/vnd.wap.wmlscriptc",
    "application/vnd.wap.wta-eventc",
    "application/vnd.wap.uaprof",
    "application/vnd.wap.wtls-ca-certificate",
    "application/vnd.wap.wtls-user-certificate",
    "application/x-x509-ca-cert",
    "application/x-x509-user-cert",
    "image/*",
    "image/gif",
    "image/jpeg",
    "image/tiff",
    "image/png",
    "image/vnd.wap.wbmp",
    "application/vnd.wap.multipart.*",
    "application/vnd.wap.multipart.mixed",
    "application/vnd.wap.multipart.form-data",
    "application/vnd.wap.multipart.byteranges",
    "application/vnd.wap.multipart.alternative",
    "application/xml",
    "text/xml",
    "application/vnd.wap.wbxml",
};

// WSP PDU types and the header field codes this client sends.
constexpr char PduConnect = 0x01;
constexpr char PduConnectReply = 0x02;
constexpr char PduReply = 0x04;
constexpr char PduDisconnect = 0x05;
constexpr char PduGet = 0x40;
constexpr char FieldAccept = char(0x80);
constexpr char FieldUserAgent = char(0xA9);

// WTP PDU types (bits 6..3 of the first octet) and header flags.
enum WtpPdu { WtpInvoke = 1, WtpResult = 2, WtpAck = 3, WtpAbort = 4, WtpSegmentedResult = 6 };
constexpr int WtpContinueFlag = 0x80;
constexpr int WtpGroupTrailer = 0x04;
constexpr int WtpTransmissionTrailer = 0x02;
constexpr int WtpTidVerification = 0x04; // in an Ack PDU
constexpr int WtpResponderTidBit = 0x8000;
constexpr int WtpClassUserAck2 = 0x12; // user acknowledgement, class 2
constexpr int WtpClassUserAck0 = 0x10;
constexpr int WtpPsnTpi = 0x19; // short TPI "packet sequence number", one octet
constexpr int MaxSegments = 256;

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
        const auto octet = static_cast<quint8>(data[pos++]);
        value = (value << 7) | (octet & 0x7F);
        if (!(octet & 0x80))
            return true;
    }
    return false;
}

QByteArray encodedContentType(const QByteArray& type) {
    for (std::size_t code = 0; code < wellKnownContentTypes.size(); ++code) {
        if (type.compare(wellKnownContentTypes[code], Qt::CaseInsensitive) == 0)
            return QByteArray(1, char(0x80 | code));
    }
    return type + '\0';
}

// The media type of a Content-type value at pos (short integer, text, or the
// general form with a length and parameters); advances pos past the value.
bool readContentType(const QByteArray& data, qsizetype& pos, QByteArray& type) {
    if (pos >= data.size())
        return false;
    const auto first = static_cast<quint8>(data[pos]);
    if (first >= 0x80) {
        type = Wsp::contentTypeName(first & 0x7F);
        if (type.isEmpty())
            type = "well-known 0x" + QByteArray::number(first & 0x7F, 16);
        ++pos;
        return true;
    }
    if (first >= 0x20) {
        const qsizetype end = data.indexOf('\0', pos);
        if (end < 0)
            return false;
        type = data.mid(pos, end - pos);
        pos = end + 1;
        return true;
    }
    quint32 length = first;
    ++pos;
    if (first == 0x1F && !readUintvar(data, pos, length))
        return false;
    if (length > quint32(data.size() - pos))
        return false;
    const QByteArray value = data.mid(pos, length);
    pos += length;
    qsizetype inner = 0;
    return readContentType(value, inner, type);
}

int wtpPduType(const QByteArray& datagram) {
    return (static_cast<quint8>(datagram[0]) >> 3) & 0x0F;
}

quint16 wtpTid(const QByteArray& datagram) {
    return quint16((static_cast<quint8>(datagram[1]) << 8) | static_cast<quint8>(datagram[2]));
}

QByteArray wtpHeader(int firstOctet, quint16 tid) {
    QByteArray header(3, '\0');
    header[0] = char(firstOctet);
    header[1] = char((tid >> 8) & 0x7F);
    header[2] = char(tid & 0xFF);
    return header;
}

// Skips the transport information items that follow a WTP header whose
// continue flag is set; false when they run off the end.
bool skipTpis(const QByteArray& datagram, qsizetype& pos) {
    bool more = static_cast<quint8>(datagram[0]) & WtpContinueFlag;
    while (more) {
        if (pos >= datagram.size())
            return false;
        const auto first = static_cast<quint8>(datagram[pos]);
        more = first & WtpContinueFlag;
        qsizetype length = first & 0x03;
        ++pos;
        if (first & 0x04) {
            if (pos >= datagram.size())
                return false;
            length = static_cast<quint8>(datagram[pos++]);
        }
        pos += length;
    }
    return pos <= datagram.size();
}
} // namespace

namespace Wsp {
QByteArray contentTypeName(int code) {
    if (code < 0 || code >= int(wellKnownContentTypes.size()))
        return {};
    return wellKnownContentTypes[std::size_t(code)];
}

WspReply parseReply(const QByteArray& pdu) {
    WspReply reply;
    if (pdu.size() < 3 || pdu[0] != PduReply) {
        reply.error = QStringLiteral("not a WSP Reply PDU: ") + QString::fromLatin1(pdu.toHex(' '));
        return reply;
    }
    reply.status = static_cast<quint8>(pdu[1]);
    qsizetype pos = 2;
    quint32 headersLength = 0;
    if (!readUintvar(pdu, pos, headersLength) || headersLength > quint32(pdu.size() - pos)) {
        reply.error = QStringLiteral("WSP Reply with a bad headers length");
        return reply;
    }
    const QByteArray headerBlock = pdu.mid(pos, headersLength);
    reply.body = pdu.mid(pos + headersLength);
    qsizetype headerPos = 0;
    if (!readContentType(headerBlock, headerPos, reply.contentType))
        reply.error = QStringLiteral("WSP Reply with an unreadable content type");
    reply.headers = headerBlock.mid(headerPos);
    return reply;
}
} // namespace Wsp

int WspReply::httpStatus() const {
    const int hundreds = status >> 4;
    const int rest = status & 0x0F;
    if (hundreds >= 1 && hundreds <= 4)
        return hundreds * 100 + rest;
    if (hundreds == 6)
        return 500 + rest;
    return 0;
}

QString WspReply::describe() const {
    if (!isComplete())
        return QStringLiteral("no complete reply: ") + error;
    return QStringLiteral("%1 (WSP 0x%2) %3, %4 bytes")
        .arg(httpStatus())
        .arg(status, 2, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(contentType))
        .arg(body.size());
}

WspClient::WspClient(const QHostAddress& gateway, Mode mode)
    : m_gateway(gateway)
    , m_mode(mode)
    , m_acceptedTypes{"application/vnd.wap.wmlc",
                      "application/vnd.wap.wmlscriptc",
                      "image/vnd.wap.wbmp",
                      "image/gif",
                      "image/jpeg",
                      "image/png"}
    , m_userAgent("PocketlaneTestPhone/1.0") {
    m_socket.bind(QHostAddress::LocalHost, 0);
}

void WspClient::addModeRows() {
    QTest::addColumn<Mode>("mode");
    QTest::newRow("connection-oriented") << Mode::ConnectionOriented;
    QTest::newRow("connectionless") << Mode::Connectionless;
}

WspClient::~WspClient() {
    disconnectSession();
}

QByteArray WspClient::encodedRequestHeaders() const {
    QByteArray headers;
    for (const QByteArray& type : m_acceptedTypes)
        headers += FieldAccept + encodedContentType(type);
    if (!m_userAgent.isEmpty())
        headers += FieldUserAgent + m_userAgent + '\0';
    return headers;
}

void WspClient::sendDatagram(const QByteArray& datagram, quint16 port) {
    m_socket.writeDatagram(datagram, m_gateway, port);
}

quint16 WspClient::nextTid() {
    m_tid = (m_tid + 1) & 0x7FFF;
    return m_tid;
}

WspReply WspClient::get(const QByteArray& url) {
    return m_mode == Mode::Connectionless ? getConnectionless(url) : getInSession(url);
}

WspReply WspClient::getConnectionless(const QByteArray& url) {
    const auto tid = static_cast<quint8>(nextTid());
    sendDatagram(QByteArray(1, char(tid)) + PduGet + uintvar(quint32(url.size())) + url +
                     encodedRequestHeaders(),
                 ConnectionlessPort);
    const QDeadlineTimer deadline(m_timeoutMs);
    while (m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
        while (m_socket.hasPendingDatagrams()) {
            const QByteArray data = m_socket.receiveDatagram().data();
            if (data.size() >= 2 && static_cast<quint8>(data[0]) == tid)
                return Wsp::parseReply(data.mid(1));
        }
        if (deadline.hasExpired())
            break;
    }
    WspReply reply;
    reply.error = QStringLiteral("no connectionless reply within %1 ms (%2)")
                      .arg(m_timeoutMs)
                      .arg(m_socket.errorString());
    return reply;
}

bool WspClient::connectSession() {
    if (m_hasSession)
        return true;
    // Capabilities: client and server SDU size of 1 MiB, so that a large deck
    // or picture is not refused for its size.
    const QByteArray sduSize = uintvar(1u << 20);
    const QByteArray capabilities = char(1 + sduSize.size()) + QByteArray(1, char(0x80)) + sduSize +
                                    char(1 + sduSize.size()) + QByteArray(1, char(0x81)) + sduSize;
    const QByteArray headers = encodedRequestHeaders();
    const QByteArray connect = QByteArray(1, PduConnect) + char(0x10) +
                               uintvar(quint32(capabilities.size())) +
                               uintvar(quint32(headers.size())) + capabilities + headers;
    const QByteArray result = transact(connect);
    if (result.isEmpty())
        return false;
    qsizetype pos = 1;
    if (result[0] != PduConnectReply || !readUintvar(result, pos, m_sessionId)) {
        m_error = QStringLiteral("expected a WSP ConnectReply, got ") +
                  QString::fromLatin1(result.left(16).toHex(' '));
        return false;
    }
    m_hasSession = true;
    return true;
}

void WspClient::disconnectSession() {
    if (!m_hasSession)
        return;
    // Disconnect goes in a class 0 invoke: no result, no acknowledgement.
    sendDatagram(wtpHeader(WtpInvoke << 3 | WtpTransmissionTrailer, nextTid()) +
                     char(WtpClassUserAck0) + PduDisconnect + uintvar(m_sessionId),
                 ConnectionOrientedPort);
    m_hasSession = false;
}

WspReply WspClient::getInSession(const QByteArray& url) {
    WspReply reply;
    if (!connectSession()) {
        reply.error = QStringLiteral("no WSP session: ") + m_error;
        return reply;
    }
    const QByteArray result = transact(QByteArray(1, PduGet) + uintvar(quint32(url.size())) + url);
    if (result.isEmpty()) {
        reply.error = m_error;
        return reply;
    }
    return Wsp::parseReply(result);
}

QByteArray WspClient::transact(const QByteArray& wspPdu) {
    const quint16 tid = nextTid();
    sendDatagram(wtpHeader(WtpInvoke << 3 | WtpTransmissionTrailer, tid) + char(WtpClassUserAck2) +
                     wspPdu,
                 ConnectionOrientedPort);
    QByteArray payload;
    if (!awaitResult(tid, payload))
        return {};
    return payload;
}

// Collects Result and Segmented Result PDUs of transaction tid, acknowledges
// each group of segments, and answers a TID verification.
bool WspClient::awaitResult(quint16 tid, QByteArray& payload) {
    QList<QByteArray> segments(MaxSegments);
    QList<bool> received(MaxSegments, false);
    const QDeadlineTimer deadline(m_timeoutMs);
    while (m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
        while (m_socket.hasPendingDatagrams()) {
            const QByteArray datagram = m_socket.receiveDatagram().data();
            if (datagram.size() < 3 || (wtpTid(datagram) & 0x7FFF) != tid)
                continue;
            const int type = wtpPduType(datagram);
            if (type == WtpAbort) {
                m_error = QStringLiteral("the gateway aborted the transaction: ") +
                          QString::fromLatin1(datagram.toHex(' '));
                return false;
            }
            if (type == WtpAck && (static_cast<quint8>(datagram[0]) & WtpTidVerification)) {
                sendDatagram(wtpHeader(WtpAck << 3 | WtpTidVerification, tid),
                             ConnectionOrientedPort);
                continue;
            }
            if (type != WtpResult && type != WtpSegmentedResult)
                continue;
            qsizetype pos = type == WtpResult ? 3 : 4;
            if (datagram.size() < pos || !skipTpis(datagram, pos))
                continue;
            const int psn = type == WtpResult ? 0 : static_cast<quint8>(datagram[3]);
            segments[psn] = datagram.mid(pos);
            received[psn] = true;
            const auto flags = static_cast<quint8>(datagram[0]);
            if (!(flags & (WtpGroupTrailer | WtpTransmissionTrailer)))
                continue;
            if (received.indexOf(false) < psn) {
                QByteArray missing;
                for (int i = 0; i < psn; ++i) {
                    if (!received[i])
                        missing += char(i);
                }
                sendDatagram(wtpHeader(0x38, tid) + char(missing.size()) + missing,
                             ConnectionOrientedPort);
                continue;
            }
            if (psn == 0)
                sendDatagram(wtpHeader(WtpAck << 3, tid), ConnectionOrientedPort);
            else
                sendDatagram(wtpHeader(WtpContinueFlag | WtpAck << 3, tid) + char(WtpPsnTpi) +
                                 char(psn),
                             ConnectionOrientedPort);
            if (flags & WtpTransmissionTrailer) {
                payload.clear();
                for (int i = 0; i <= psn; ++i)
                    payload += segments[i];
                return true;
            }
        }
        if (deadline.hasExpired())
            break;
    }
    m_error = QStringLiteral("no complete WTP result within %1 ms (%2)")
                  .arg(m_timeoutMs)
                  .arg(m_socket.errorString());
    return false;
}
