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
constexpr int WtpNack = 0x38;
constexpr int WtpClassUserAck2 = 0x12; // user acknowledgement, class 2
constexpr int WtpClassUserAck0 = 0x10;
constexpr int WtpPsnTpi = 0x19; // short TPI "packet sequence number", one octet
constexpr int MaxSegments = 256;

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

QByteArray wtpHeader(int firstOctet, quint16 tid) {
    return QByteArray(1, char(firstOctet)) + char((tid >> 8) & 0x7F) + char(tid & 0xFF);
}

// Skips the transport information items that follow a WTP header whose
// continue flag is set; false when they run off the end.
bool skipTpis(const QByteArray& datagram, qsizetype& pos) {
    bool more = octet(datagram, 0) & WtpContinueFlag;
    while (more) {
        if (pos >= datagram.size())
            return false;
        const quint8 first = octet(datagram, pos++);
        more = first & WtpContinueFlag;
        qsizetype length = first & 0x03;
        if (first & 0x04) {
            if (pos >= datagram.size())
                return false;
            length = octet(datagram, pos++);
        }
        pos += length;
    }
    return pos <= datagram.size();
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

WspClient::WspClient(const QHostAddress& gateway, Mode mode)
    : m_gateway(gateway)
    , m_mode(mode)
    , m_acceptedTypes{"application/vnd.wap.wmlc",
                      "application/vnd.wap.wmlscriptc",
                      "image/vnd.wap.wbmp",
                      "image/gif",
                      "image/jpeg",
                      "image/png"} {
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
    return headers + FieldUserAgent + "PocketlaneTestPhone/1.0" + '\0';
}

void WspClient::sendDatagram(const QByteArray& datagram, quint16 port) {
    m_socket.writeDatagram(datagram, m_gateway, port);
}

quint16 WspClient::nextTid() {
    m_tid = (m_tid + 1) & 0x7FFF;
    return m_tid;
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
    return m_mode == Mode::Connectionless ? getConnectionless(url) : getInSession(url);
}

WspReply WspClient::getConnectionless(const QByteArray& url) {
    const auto tid = static_cast<quint8>(nextTid());
    sendDatagram(QByteArray(1, char(tid)) + PduGet + uintvar(quint32(url.size())) + url +
                     encodedRequestHeaders(),
                 ConnectionlessPort);
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

bool WspClient::connectSession() {
    if (m_hasSession)
        return true;
    // Capabilities: client and server SDU size of 1 MiB, so that a large deck
    // or picture is not refused for its size.
    const QByteArray sduSize = uintvar(1u << 20);
    const QByteArray capabilities = char(1 + sduSize.size()) + QByteArray(1, char(0x80)) + sduSize +
                                    char(1 + sduSize.size()) + QByteArray(1, char(0x81)) + sduSize;
    const QByteArray headers = encodedRequestHeaders();
    const QByteArray result =
        transact(QByteArray(1, PduConnect) + char(0x10) + uintvar(quint32(capabilities.size())) +
                 uintvar(quint32(headers.size())) + capabilities + headers);
    qsizetype pos = 1;
    m_hasSession =
        !result.isEmpty() && result[0] == PduConnectReply && readUintvar(result, pos, m_sessionId);
    if (!m_hasSession && !result.isEmpty())
        m_error = QStringLiteral("expected a WSP ConnectReply, got ") +
                  QString::fromLatin1(result.left(16).toHex(' '));
    return m_hasSession;
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
    return parseReply(result);
}

// Collects the Result or Segmented Result PDUs of the transaction,
// acknowledges each group of segments (asking again for missing ones), and
// answers a TID verification.
QByteArray WspClient::transact(const QByteArray& wspPdu) {
    const quint16 tid = nextTid();
    sendDatagram(wtpHeader(WtpInvoke << 3 | WtpTransmissionTrailer, tid) + char(WtpClassUserAck2) +
                     wspPdu,
                 ConnectionOrientedPort);
    QList<QByteArray> segments(MaxSegments);
    QList<bool> received(MaxSegments, false);
    QByteArray payload;
    bool aborted = false;
    const auto take = [&](const QByteArray& datagram) {
        if (datagram.size() < 3 ||
            (((octet(datagram, 1) << 8) | octet(datagram, 2)) & 0x7FFF) != tid)
            return false;
        const int type = (octet(datagram, 0) >> 3) & 0x0F;
        if (type == WtpAbort) {
            aborted = true;
            return true;
        }
        if (type == WtpAck && (octet(datagram, 0) & WtpTidVerification)) {
            sendDatagram(wtpHeader(WtpAck << 3 | WtpTidVerification, tid), ConnectionOrientedPort);
            return false;
        }
        qsizetype pos = type == WtpResult ? 3 : 4;
        if ((type != WtpResult && type != WtpSegmentedResult) || datagram.size() < pos ||
            !skipTpis(datagram, pos))
            return false;
        const int psn = type == WtpResult ? 0 : octet(datagram, 3);
        segments[psn] = datagram.mid(pos);
        received[psn] = true;
        const quint8 flags = octet(datagram, 0);
        if (!(flags & (WtpGroupTrailer | WtpTransmissionTrailer)))
            return false;
        if (received.indexOf(false) < psn) {
            QByteArray missing;
            for (int i = 0; i < psn; ++i) {
                if (!received[i])
                    missing += char(i);
            }
            sendDatagram(wtpHeader(WtpNack, tid) + char(missing.size()) + missing,
                         ConnectionOrientedPort);
            return false;
        }
        sendDatagram(psn == 0 ? wtpHeader(WtpAck << 3, tid)
                              : wtpHeader(WtpContinueFlag | WtpAck << 3, tid) + char(WtpPsnTpi) +
                                    char(psn),
                     ConnectionOrientedPort);
        if (!(flags & WtpTransmissionTrailer))
            return false;
        for (int i = 0; i <= psn; ++i)
            payload += segments[i];
        return true;
    };
    if (!receiveUntil(take))
        return {};
    if (aborted) {
        m_error = QStringLiteral("the gateway aborted the transaction");
        return {};
    }
    return payload;
}
