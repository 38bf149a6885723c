#include "base/PocketlaneError.h"
#include "base/basUtilities.h"
#include "http/CPacket.h"
#include "http/RequestFraming.h"

#include <QTest>

namespace {

CPacket Cracked(const QByteArray& text) {
    const CrackedPacket cracked = CPacket::CrackHTTPPacket(text);
    if (!cracked)
        throw std::runtime_error(cracked.failure.toStdString());
    return *cracked.packet;
}

QByteArray GetRequest(const QByteArray& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: phone\r\n\r\n";
}

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
        QCOMPARE(packet.Protocol(), QByteArray("HTTP/1.1"));
        QCOMPARE(packet.Variables().Count(), 2);
        QCOMPARE(packet.Variables().NameAt(0), QByteArray("S"));
        QCOMPARE(packet.Variables().ItemAt(1), QByteArray("x"));
        QCOMPARE(packet.Variables().Item("s"), QByteArray("3"));
        // Values keep the space after the colon and the CR before the LF;
        // the last line has no CR, and a repeated name joins with ";".
        QCOMPARE(packet.Headers().Item("ACCEPT"), QByteArray(" text/vnd.wap.wml\r; more"));
        QCOMPARE(packet.Headers().Item("Host"), QByteArray(" h\r"));
        QVERIFY_THROWS_EXCEPTION(PocketlaneError, packet.Variables().Item("F"));

        // Only an upper-case PUT is told apart from GET.
        QCOMPARE(Cracked("POST /a HTTP/1.1\r\nH: v\r\n\r\n").PacketType(), int(PacketGet));
        QCOMPARE(Cracked("PUT /a HTTP/1.1\r\nH: v\r\n\r\n").PacketType(), int(PacketPut));
        QCOMPARE(Cracked("put /a HTTP/1.1\r\nH: v\r\n\r\n").PacketType(), int(PacketGet));
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

    void rejectsMalformedRequestsWithAReason_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("no line end") << QByteArray("GET / HTTP/1.1");
        QTest::newRow("cut blank line") << QByteArray("GET / HTTP/1.1\r\n\r");
        QTest::newRow("header without colon") << QByteArray("GET / HTTP/1.1\r\nHost\r\n\r\n");
        QTest::newRow("request line without space") << QByteArray("GET\r\nH: v\r\n\r\n");
        QTest::newRow("no path") << QByteArray("GET  HTTP/1.1\r\nH: v\r\n\r\n");
        QTest::newRow("query piece without =") << GetRequest("/?T=a&b");
        QTest::newRow("bad escape in a value") << GetRequest("/?T=%zz");
    }

    void rejectsMalformedRequestsWithAReason() {
        QFETCH(QByteArray, text);
        const CrackedPacket cracked = CPacket::CrackHTTPPacket(text);
        QVERIFY(!cracked);
        QVERIFY(!cracked.failure.isEmpty());
    }

    void urlDecodeDecodesOnce() {
        using basUtilities::URLDecode;
        QCOMPARE(URLDecode("50%"), QByteArray("50%"));
        QCOMPARE(URLDecode("%4"), QByteArray("%4"));
        try {
            URLDecode("a%G1");
            QFAIL("a bad escape must fail");
        } catch (const PocketlaneError& failure) {
            QVERIFY(failure.Source().startsWith(QStringLiteral("URLDecode(a%G1) - ")));
        }
    }

    // A request just within the limit is taken, one without end is cut off
    // (pieces, bodies and pipelining: the server's request-form table).
    void framerTakesRequestsUpToItsLimit() {
        RequestFramer framer;
        const QByteArray fits =
            "GET / HTTP/1.1\r\nH: " + QByteArray(RequestFramer::MaxRequestHeaderBytes - 25, 'x') +
            "\r\n\r\n";
        framer.Append(fits.constData(), fits.size());
        QCOMPARE(framer.Next().request, fits);
        const QByteArray endless = "GET / HTTP/1.1\r\n" + QByteArray(64 * 1024, 'X');
        framer.Append(endless.constData(), endless.size());
        QCOMPARE(framer.Next().outcome, RequestFramer::Outcome::TooLarge);
    }

    // HTTP/1.1 answers are exactly the chunked form phones get today (the
    // HTTP/1.0 and HEAD forms: the server's request-form table).
    void buildsTheExactAnswer() {
        const QByteArray date = CPacket::HttpDate(1709622489); // 2024-03-05 07:08:09 UTC
        QCOMPARE(CPacket::CurrentHttpDate().size(), date.size());
        const QByteArray head =
            "HTTP/1.1 200 OK\r\nDate: Tue, 05 Mar 2024 07:08:09 GMT \r\nServer: "
            "Quill\r\nCache-Control: no-cache\r\nConnection: Close\r\n"
            "Transfer-Encoding: chunked\r\nContent-Type: text/vnd.wap.wml; charset=utf-8\r\n\r\n";
        QCOMPARE(CPacket::BuildResponse({}, HttpOk, date), head + "0 \r\n\r\n0\r\n\r\n");
        const QByteArray deck(300, 'w');
        QCOMPARE(CPacket::BuildResponse(deck, HttpOk, date),
                 head + "12C \r\n" + deck + "\r\n0\r\n\r\n");
        QVERIFY(CPacket::BuildResponse({}, HttpBadRequest, date).startsWith("HTTP/1.1 400 OK\r\n"));
    }

    void readsConnectionCloseFromRawHeaders() {
        QVERIFY(!CPacket::SaysConnectionClose("HTTP/1.1 200 OK\r\nContent-length: 2\r\n\r\nok"));
        QVERIFY(CPacket::SaysConnectionClose(
            "HTTP/1.1 200 OK\r\nconnection:  keep-alive, CLOSE\r\n\r\n"));
        QVERIFY(!CPacket::SaysConnectionClose("HTTP/1.1 200 OK\r\n\r\nConnection: close"));
    }
};

QTEST_GUILESS_MAIN(TestCPacket)
#include "tst_cpacket.moc"
