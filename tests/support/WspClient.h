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
// connectionless WSP on UDP (port 9200, one datagram each way). How the
// phone and the gateway talk is the gateway's business; what reaches this
// server and comes back compiled is the same in every WSP mode. The calls
// block until the answer is complete or the timeout passes; nothing needs
// an event loop.
//
//     WspClient phone(gateway.address());
//     WspReply menu = phone.get(web.url("/"));
//     QCOMPARE(menu.status, 0x20);
class WspClient {
public:
    static constexpr quint16 ConnectionlessPort = 9200;

    // The phone's own address is loopback unless `phone` says otherwise
    // (an address of a network namespace that a test made).
    explicit WspClient(const QHostAddress& gateway,
                       const QHostAddress& phone = QHostAddress::LocalHost);
    WspClient(const WspClient&) = delete;
    WspClient& operator=(const WspClient&) = delete;

    // Content types sent in Accept headers; a gateway converts or refuses
    // what the phone does not accept.
    void setAcceptedTypes(const QList<QByteArray>& types) { m_acceptedTypes = types; }
    void setUserAgent(const QByteArray& userAgent) { m_userAgent = userAgent; }

    WspReply get(const QByteArray& url);

private:
    static constexpr int TimeoutMs = 30000;
    QHostAddress m_gateway;
    QUdpSocket m_socket;
    QList<QByteArray> m_acceptedTypes;
    QByteArray m_userAgent = "PocketlaneTestPhone/1.0";
    quint8 m_tid = 0;
};
