#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QUdpSocket>

#include <functional>

// What a WAP gateway answered to one WSP request.
struct WspReply {
    QString error;  // empty when a complete Reply PDU arrived
    int status = 0; // the WSP status code: 0x20 is 200 OK, 0x44 is 404
    QByteArray contentType;
    QByteArray body;

    bool isComplete() const { return error.isEmpty(); }
    // One line for failure messages: "WSP 0x20 application/vnd.wap.wmlc, 75 bytes".
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

    // Content types sent in Accept headers; a gateway converts or refuses
    // what the phone does not accept.
    void setAcceptedTypes(const QList<QByteArray>& types) { m_acceptedTypes = types; }

    // Connection-oriented mode opens the session on the first request.
    WspReply get(const QByteArray& url);

private:
    QByteArray encodedRequestHeaders() const;
    WspReply getConnectionless(const QByteArray& url);
    WspReply getInSession(const QByteArray& url);
    bool connectSession();
    void disconnectSession();
    // One WTP class 2 transaction: sends the invoke and returns the
    // reassembled result payload, or an empty array with m_error set.
    QByteArray transact(const QByteArray& wspPdu);
    // Hands each datagram that arrives to take() until it returns true;
    // false when the time is up first.
    bool receiveUntil(const std::function<bool(const QByteArray&)>& take);
    void sendDatagram(const QByteArray& datagram, quint16 port);
    quint16 nextTid();

    static constexpr int TimeoutMs = 30000;
    QHostAddress m_gateway;
    Mode m_mode;
    QUdpSocket m_socket;
    QList<QByteArray> m_acceptedTypes;
    quint16 m_tid = 0;
    bool m_hasSession = false;
    quint32 m_sessionId = 0;
    QString m_error;
};
