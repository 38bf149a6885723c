#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QUdpSocket>

// What a WAP gateway answered to one WSP request.
struct WspReply {
    QString error;  // empty when a complete Reply PDU arrived
    int status = 0; // the WSP status code: 0x20 is 200 OK, 0x44 is 404
    QByteArray contentType;
    QByteArray headers; // the encoded headers that follow the content type
    QByteArray body;

    bool isComplete() const { return error.isEmpty(); }
    // The HTTP status that the WSP code stands for (0x20 gives 200), 0 if none.
    int httpStatus() const;
    // One line for failure messages: "200 application/vnd.wap.wmlc, 75 bytes".
    QString describe() const;
};

// A phone's WAP stack in miniature: fetches URLs through a gateway over WSP
// on UDP, either connectionless (port 9200, one datagram each way) or
// connection-oriented (port 9201: a WSP session over WTP class 2
// transactions, with segmented results reassembled and acknowledged). The
// calls block until the answer is complete or the timeout passes; nothing
// needs an event loop.
//
//     WspClient phone(gateway.address(), WspClient::Mode::ConnectionOriented);
//     WspReply menu = phone.get(web.url("/"));
//     QCOMPARE(menu.status, 0x20);
class WspClient {
public:
    enum class Mode { Connectionless, ConnectionOriented };
    static constexpr quint16 ConnectionlessPort = 9200;
    static constexpr quint16 ConnectionOrientedPort = 9201;

    explicit WspClient(const QHostAddress& gateway, Mode mode = Mode::ConnectionOriented);
    // For a test's data function: the column "mode" with one row per kind of
    // WSP.
    static void addModeRows();
    ~WspClient();
    WspClient(const WspClient&) = delete;
    WspClient& operator=(const WspClient&) = delete;

    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    // Content types sent in Accept headers; a gateway converts or refuses
    // what the phone does not accept.
    void setAcceptedTypes(const QList<QByteArray>& types) { m_acceptedTypes = types; }
    void setUserAgent(const QByteArray& userAgent) { m_userAgent = userAgent; }

    // Connection-oriented mode opens the session on the first request.
    WspReply get(const QByteArray& url);

    bool connectSession();
    void disconnectSession();
    bool hasSession() const { return m_hasSession; }
    quint32 sessionId() const { return m_sessionId; }
    QString errorString() const { return m_error; }

private:
    QByteArray encodedRequestHeaders() const;
    WspReply getConnectionless(const QByteArray& url);
    WspReply getInSession(const QByteArray& url);
    // One WTP class 2 transaction: sends the invoke and returns the
    // reassembled result payload, or an empty array with m_error set.
    QByteArray transact(const QByteArray& wspPdu);
    bool awaitResult(quint16 tid, QByteArray& payload);
    void sendDatagram(const QByteArray& datagram, quint16 port);
    quint16 nextTid();

    QHostAddress m_gateway;
    Mode m_mode;
    QUdpSocket m_socket;
    int m_timeoutMs = 30000;
    QList<QByteArray> m_acceptedTypes;
    QByteArray m_userAgent;
    quint16 m_tid = 0;
    bool m_hasSession = false;
    quint32 m_sessionId = 0;
    QString m_error;
};

namespace Wsp {
// Decodes a Reply PDU that starts at its PDU type octet.
WspReply parseReply(const QByteArray& pdu);
// The name of a well-known content type code (0x14 gives
// "application/vnd.wap.wmlc"), empty if the code is not in the table.
QByteArray contentTypeName(int code);
} // namespace Wsp
