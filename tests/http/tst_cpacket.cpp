#include "base/PocketlaneError.h"
#include "base/basUtilities.h"
#include "http/CPacket.h"
#include "http/SocketElement.h"
#include "support/LoopbackClient.h"

#include <QRegularExpression>
#include <QTest>

namespace {

CPacket Cracked(const QByteArray& text) {
    CPacket packet;
    packet.CrackHTTPPacket(text);
    return packet;
}

QByteArray GetRequest(const QByteArray& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: phone\r\n\r\n";
}

// A connection element of a real listener, with the client at its other end.
struct LoopbackConnection {
    SocketElementArray array;
    std::unique_ptr<LoopbackClient> client;

    LoopbackConnection() {
        array[0].SetLocalPort(0);
        QVERIFY(array[0].Listen());
        array.CreateElement(1);
        QObject::connect(&array, &SocketElementArray::ConnectionRequest, &array,
                         [this](int, qintptr id) { array[1].Accept(id); });
        client = std::make_unique<LoopbackClient>(array[0].LocalPort());
        QVERIFY(client->WaitConnected());
        QTRY_VERIFY(!array[1].IsClosed());
    }
    SocketElement& element() { return array[1]; }
};

} // namespace

class TestCPacket : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parsesPathVariablesAndRawHeaders() {
        const CPacket packet =
            Cracked("GET /?S=3&D=x HTTP/1.1\r\nAccept: text/vnd.wap.wml\r\nHost: h\r\n"
                    "accept: more\r\n\r\n");
        QCOMPARE(packet.Root(), QByteArray("/"));
        QCOMPARE(packet.PacketType(), int(PacketGet));
        QCOMPARE(packet.Variables().Count(), 2);
        QCOMPARE(packet.Variables().NameAt(0), QByteArray("S"));
        QCOMPARE(packet.Variables().ItemAt(1), QByteArray("x"));
        QCOMPARE(packet.Variables().Item("s"), QByteArray("3"));
        // Values keep the space after the colon and the CR before the LF;
        // the last line has no CR, and a repeated name joins with ";".
        QCOMPARE(packet.Headers().Item("ACCEPT"), QByteArray(" text/vnd.wap.wml\r; more"));
        QCOMPARE(packet.Headers().Item("Host"), QByteArray(" h\r"));
        QVERIFY_THROWS_EXCEPTION(PocketlaneError, packet.Variables().Item("F"));

        const CPacket plain = Cracked(GetRequest("/"));
        QCOMPARE(plain.Root(), QByteArray("/"));
        QCOMPARE(plain.Variables().Count(), 0);
        QCOMPARE(plain.Headers().Item("host"), QByteArray(" phone"));
    }

    void decodesQueryValues() {
        // Each value is decoded once, after the query has been split, so what
        // a visitor typed arrives unchanged.
        QCOMPARE(Cracked(GetRequest("/?T=a+b%2Bc")).Variables().Item("T"), QByteArray("a b+c"));
        QCOMPARE(Cracked(GetRequest("/?T=%2541")).Variables().Item("T"), QByteArray("%41"));
        const CPacket typed = Cracked(GetRequest("/?S=3&G=Tom%20%26%20Jerry%3F%20a%3Db&%4B=x"));
        QCOMPARE(typed.Variables().Item("G"), QByteArray("Tom & Jerry? a=b"));
        QCOMPARE(typed.Variables().Item("K"), QByteArray("x"));
        QCOMPARE(Cracked(GetRequest("/?P=")).Variables().Item("P"), QByteArray());
        const CPacket bare = Cracked(GetRequest("/?"));
        QCOMPARE(bare.Root(), QByteArray("/"));
        QCOMPARE(bare.Variables().Count(), 0);
        const CPacket twoQuestions = Cracked(GetRequest("/x%20y%3F?A=1?B=2"));
        QCOMPARE(twoQuestions.Root(), QByteArray("/x y?"));
        QCOMPARE(twoQuestions.Variables().Item("A"), QByteArray("1?B=2"));
    }

    void tellsGetAndPutApart() {
        QCOMPARE(Cracked("POST /a HTTP/1.1\r\nH: v\r\n\r\n").PacketType(), int(PacketGet));
        QCOMPARE(Cracked("PUT /a HTTP/1.1\r\nH: v\r\n\r\n").PacketType(), int(PacketPut));
        QCOMPARE(Cracked("put /a HTTP/1.1\r\nH: v\r\n\r\n").PacketType(), int(PacketGet));
    }

    void rejectsMalformedRequests_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("no line end") << QByteArray("GET / HTTP/1.1");
        QTest::newRow("no header line") << QByteArray("GET / HTTP/1.1\r\n\r\n");
        QTest::newRow("header without colon") << QByteArray("GET / HTTP/1.1\r\nHost\r\n\r\n");
        QTest::newRow("request line without space") << QByteArray("GET\r\nH: v\r\n\r\n");
        QTest::newRow("no path") << QByteArray("GET  HTTP/1.1\r\nH: v\r\n\r\n");
        QTest::newRow("query piece without =") << GetRequest("/?T=a&b");
        QTest::newRow("bad escape") << GetRequest("/?T=%zz");
        QTest::newRow("garbage") << QByteArray("\x01\x02\x03\r\n\r\n\r\n");
    }

    void rejectsMalformedRequests() {
        QFETCH(QByteArray, text);
        CPacket packet;
        QVERIFY_THROWS_EXCEPTION(PocketlaneError, packet.CrackHTTPPacket(text));
    }

    void urlDecodeDecodesOnce() {
        using basUtilities::URLDecode;
        QCOMPARE(URLDecode("%2525"), QByteArray("%25"));
        QCOMPARE(URLDecode("%41%61+%2b"), QByteArray("Aa +"));
        QCOMPARE(URLDecode("50%"), QByteArray("50%"));
        QCOMPARE(URLDecode("%4"), QByteArray("%4"));
        try {
            URLDecode("a%G1");
            QFAIL("a bad escape must fail");
        } catch (const PocketlaneError& failure) {
            QVERIFY(failure.Source().startsWith(QStringLiteral("URLDecode(a%G1) - ")));
        }
    }

    void formatsTheDateLine() {
        const QDateTime when(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC);
        QCOMPARE(CPacket::HttpDate(when), QByteArray("Tue, 05 Mar 2024 07:08:09 GMT "));
    }

    void sendResponseWritesTheExactFraming_data() {
        QTest::addColumn<int>("deckSize");
        QTest::addColumn<QByteArray>("sizeLine");
        QTest::newRow("empty") << 0 << QByteArray("0 \r\n");
        QTest::newRow("300") << 300 << QByteArray("12C \r\n");
        QTest::newRow("70000") << 70000 << QByteArray("11170 \r\n");
    }

    void sendResponseWritesTheExactFraming() {
        QFETCH(int, deckSize);
        QFETCH(QByteArray, sizeLine);
        LoopbackConnection connection;
        QByteArray deck(deckSize, 'w');
        for (int i = 0; i < deckSize; i += 97)
            deck[i] = char('a' + i % 26);
        CPacket packet;
        packet.SetSocket(&connection.element());
        packet.SendResponse(deck, HttpOk);
        QVERIFY(packet.HasAnswered());
        // The answer says "Connection: Close", so the server closes after it.
        QVERIFY(connection.client->WaitClosed());
        const QByteArray received = connection.client->Received();

        const QRegularExpression head(QStringLiteral(
            "^HTTP/1\\.1 200 OK\r\nDate: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d "
            "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} \\d\\d:\\d\\d:\\d\\d GMT "
            "\r\nServer: Quill\r\nCache-Control: no-cache\r\nConnection: Close\r\n"
            "Transfer-Encoding: chunked\r\nContent-Type: text/vnd.wap.wml\r\n\r\n"));
        const QRegularExpressionMatch match = head.match(QString::fromLatin1(received));
        QVERIFY2(match.hasMatch(), received.left(300).constData());
        QCOMPARE(received.mid(match.capturedLength()), sizeLine + deck + "\r\n0\r\n\r\n");
    }

    void rawAnswersCloseOnlyWhenTheySaySo() {
        LoopbackConnection connection;
        CPacket packet;
        packet.SetSocket(&connection.element());
        const QByteArray keepOpen = "HTTP/1.1 200 OK\r\nContent-length: 2\r\n\r\nok";
        packet.SendRawResponse(keepOpen);
        QVERIFY(connection.client->WaitForBytes(keepOpen.size()));
        QCOMPARE(connection.element().State(), int(SocketState::Connected));

        packet.SendRawResponse("HTTP/1.1 200 OK\r\nconnection:  keep-alive, CLOSE\r\n\r\n");
        QVERIFY(connection.client->WaitClosed());
        QVERIFY_THROWS_EXCEPTION(PocketlaneError, packet.SendResponse("late", HttpOk));
    }

    // The site's answers close their connection once written, so the socket
    // is still closing while the answer leaves.
    void deliveryIsReportedAfterTheAnswerLeft_data() {
        QTest::addColumn<bool>("closeAfterSending");
        QTest::newRow("connection stays") << false;
        QTest::newRow("connection closes after the answer") << true;
    }

    void deliveryIsReportedAfterTheAnswerLeft() {
        QFETCH(bool, closeAfterSending);
        LoopbackConnection connection;
        CPacket packet;
        packet.SetSocket(&connection.element());
        const QByteArray answer(16 * 1024 * 1024, 'x');
        packet.SendRawResponse(answer);
        if (closeAfterSending)
            connection.element().CloseAfterSending();
        bool delivered = false;
        packet.WhenAnswerDelivered([&] { delivered = true; }, 30000);
        QVERIFY(!delivered);
        QVERIFY(connection.client->WaitForBytes(answer.size()));
        QTRY_VERIFY(delivered);
        QCOMPARE(connection.client->Received().size(), answer.size());
    }

    void deliveryWithoutConnectionFollowsTheCurrentEvent() {
        CPacket packet;
        int calls = 0;
        packet.WhenAnswerDelivered([&] { ++calls; }, 30000);
        QCOMPARE(calls, 0);
        QTRY_COMPARE(calls, 1);
        QTest::qWait(20);
        QCOMPARE(calls, 1);
    }
};

QTEST_GUILESS_MAIN(TestCPacket)
#include "tst_cpacket.moc"
