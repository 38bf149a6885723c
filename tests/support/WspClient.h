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
    QByteArray body;
};

// A phone's WAP stack in miniature: fetches URLs through a gateway with
// connectionless WSP on UDP (port 9200, one datagram each way), or with
// connection-oriented WSP (port 9201): a session opened by the first fetch,
// each request a WTP class 2 transaction whose result the phone
// acknowledges (replies that fit one datagram). The calls block until the
// answer is complete or the timeout passes; nothing needs an event loop.
//
//     WspClient phone(gateway.address());
//     WspReply menu = phone.get(web.url("/"));
//     QCOMPARE(menu.status, 0x20);
class WspClient {
public:
    static constexpr quint16 ConnectionlessPort = 9200;
    static constexpr quint16 ConnectionOrientedPort = 9201;
    enum class Mode { Connectionless, ConnectionOriented };

    // The phone's own address is loopback unless `phone` says otherwise
    // (an address of a network namespace that a test made).
    explicit WspClient(const QHostAddress& gateway,
                       const QHostAddress& phone = QHostAddress::LocalHost,
                       Mode mode = Mode::Connectionless);
    // Ends the session, if one was opened.
    ~WspClient();
    WspClient(const WspClient&) = delete;
    WspClient& operator=(const WspClient&) = delete;

    // Content types sent in Accept headers; a gateway converts or refuses
    // what the phone does not accept.
    void setAcceptedTypes(const QList<QByteArray>& types) { m_acceptedTypes = types; }
    void setUserAgent(const QByteArray& userAgent) { m_userAgent = userAgent; }

    WspReply get(const QByteArray& url);

private:
    static constexpr int TimeoutMs = 30000;
    // The WSP PDU of the connection-oriented reply to `pdu`, or the error.
    QByteArray transact(const QByteArray& pdu, QString& error);
    // Sends a WTP PDU to the connection-oriented port.
    void sendWtp(const QByteArray& wtp);
    QString timedOut() const;

    QHostAddress m_gateway;
    QUdpSocket m_socket;
    QList<QByteArray> m_acceptedTypes;
    QByteArray m_userAgent = "PocketlaneTestPhone/1.0";
    Mode m_mode;
    quint16 m_tid = 0;
    QByteArray m_session; // the session id (a uintvar) once connected
};
