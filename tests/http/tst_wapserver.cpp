#include "app/ProcessLimits.h"
#include "base/PocketlaneError.h"
#include "base/StatusLog.h"
#include "base/basUtilities.h"
#include "http/CPacket.h"
#include "http/ConnectionTable.h"
#include "http/DownloadSlots.h"
#include "http/EventPoller.h"
#include "http/RequestFraming.h"
#include "http/RequestHandler.h"
#include "http/WapServer.h"
#include "support/LoopbackClient.h"
#include "wml/XhtmlRenderer.h"

#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray DeckTail = "<wml/>\r\n0\r\n\r\n";
const QByteArray Ok = "HTTP/1.1 200 OK\r\n";
const QByteArray BadRequestLine = "HTTP/1.1 400 Bad Request\r\n";
constexpr int Whole = 1 << 30;

// The head of an answer that leaves the connection open.
QByteArray OpenHead(qint64 length) {
    return "HTTP/1.1 200 OK\r\nContent-length: " + QByteArray::number(length) + "\r\n\r\n";
}

QByteArray KeepOpenAnswer(const QByteArray& body) {
    return OpenHead(body.size()) + body;
}

// The site of these tests, answering by path: /deck with a deck, /keep
// with an answer that leaves the connection open, /file with a download of
// the file `file`, /later answers as /keep does, but later (n=drop: never),
// /stop stops the server from within the request; /throw fails and anything
// else is left unanswered.
class TestSite : public RequestHandler {
public:
    QList<int> elements;
    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("download.bin"));
    WapServer* server = nullptr;
    std::shared_ptr<CPacket> last;

    void HandleRequest(const std::shared_ptr<CPacket>& packet) override {
        last = packet;
        elements.append(packet->SocketIndex());
        if (packet->Root() == "/deck")
            packet->SendResponse("<wml/>", HttpOk);
        else if (packet->Root() == "/keep")
            packet->SendRawResponse(KeepOpenAnswer(packet->Variables().Value("n", "keep")));
        else if (packet->Root() == "/file")
            packet->SendFile(OpenHead(QFileInfo(file).size()),
                             ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC), 0,
                             QFileInfo(file).size());
        else if (packet->Root() == "/later")
            answerLater(packet);
        else if (packet->Root() == "/stop")
            server->StopServer();
        else if (packet->Root() == "/throw")
            throw std::runtime_error("page failed");
    }

    void answerLater(const std::shared_ptr<CPacket>& packet) {
        packet->Defer();
        QTimer::singleShot(50, [this, packet] {
            const QByteArray n = packet->Variables().Value("n", {});
            if (n != "drop")
                packet->SendRawResponse(KeepOpenAnswer(n));
            else if (last == packet)
                last.reset();
        });
    }
};

struct Harness {
    StatusLog log;
    WapServer server{log, 0};
    TestSite site;

    // Detail lines are kept while this is on; every one the server writes,
    // kept or not, is counted (one per read of a connection, for instance).
    bool extendedLogging = false;
    int detailLines = 0;

    Harness() {
        server.SetRequestHandler(&site);
        site.server = &server;
        log.setExtendedLoggingSwitch([this] {
            ++detailLines;
            return extendedLogging;
        });
    }
    quint16 port() const { return server.Port(); }
    QStringList messages() const {
        QStringList messages;
        for (const StatusLog::Line& line : log.lines())
            messages.append(line.message);
        return messages;
    }
    bool logged(const QString& message) const { return !messages().filter(message).isEmpty(); }
    // Sends the bytes on a new connection, pieceSize at a time, each piece
    // once the server has read something since the one before, and returns
    // what the server sent until it closed the connection.
    QByteArray exchange(const QByteArray& bytes, int pieceSize = Whole) {
        LoopbackClient client(port());
        for (qsizetype at = 0; at < bytes.size(); at += pieceSize) {
            const int before = detailLines;
            client.Send(bytes.mid(at, pieceSize));
            // A server that answered and closed reads no more: the rest is
            // sent anyway, and the answer tells.
            if (at + pieceSize < bytes.size())
                static_cast<void>(QTest::qWaitFor([&] { return detailLines > before; }));
        }
        return client.WaitClosed() ? client.Received() : "(still open)";
    }
    bool answersDeck() { return exchange(LoopbackClient::Request("/deck")).endsWith(DeckTail); }
};

CPacket Cracked(const QByteArray& text) {
    const CrackedPacket cracked = CPacket::CrackHTTPPacket(text);
    if (!cracked)
        throw std::runtime_error(cracked.failure.toStdString());
    return *cracked.packet;
}

} // namespace

class TestWapServer : public QObject {
    Q_OBJECT
    std::unique_ptr<Harness> h;

private Q_SLOTS:
    void initTestCase() { RaiseOpenFileLimit(); }
    void init() {
        h = std::make_unique<Harness>();
        QVERIFY(h->server.OpenListener() == WapServer::ListenResult::Listening);
    }

    // Each query value is decoded once, after the query has been split, so
    // what a visitor typed arrives unchanged; malformed text gets a reason.
    void parsesRequestsAndBuildsTheExactAnswer() {
        const CPacket packet =
            Cracked("GET /?S=3&D=x HTTP/1.1\r\nAccept: text/vnd.wap.wml\r\nHost: h\r\n"
                    "accept: more\r\n\r\n");
        // Path, method and protocol: the request-form table.
        QCOMPARE(packet.Variables().Count(), 2);
        QCOMPARE(packet.Variables().NameAt(0), QByteArray("S"));
        QCOMPARE(packet.Variables().ItemAt(1), QByteArray("x"));
        QCOMPARE(packet.Variables().Item("s"), QByteArray("3"));
        // Values keep the space after the colon and the CR before the LF;
        // the last line has no CR, and a repeated name joins with ";".
        QCOMPARE(packet.Headers().Item("ACCEPT"), QByteArray(" text/vnd.wap.wml\r; more"));
        QCOMPARE(packet.Headers().Item("Host"), QByteArray(" h\r"));
        QVERIFY_THROWS_EXCEPTION(PocketlaneError, packet.Variables().Item("F"));
        // Beyond the few names found by a scan, an early and a late name are
        // still found in any case, and a repeat still joins its first.
        QByteArray crowded = "GET / HTTP/1.1\r\n";
        for (int i = 0; i < 40; ++i)
            crowded += "Name" + QByteArray::number(i) + ": " + QByteArray::number(i) + "\r\n";
        const CPacket many = Cracked(crowded + "NAME3: again\r\n\r\n");
        QCOMPARE(many.Headers().Count(), 40);
        QCOMPARE(many.Headers().Item("name3"), QByteArray(" 3\r; again"));
        QCOMPARE(many.Headers().Value("nAmE39"), QByteArray(" 39\r"));
        // Only an upper-case PUT is told apart from GET.
        QCOMPARE(Cracked("POST /a HTTP/1.1\r\nH: v\r\n\r\n").PacketType(), int(PacketGet));
        QCOMPARE(Cracked("PUT /a HTTP/1.1\r\nH: v\r\n\r\n").PacketType(), int(PacketPut));
        QCOMPARE(Cracked("put /a HTTP/1.1\r\nH: v\r\n\r\n").PacketType(), int(PacketGet));

        const auto value = [](const QByteArray& path, const QByteArray& name) {
            return Cracked(LoopbackClient::Request(path)).Variables().Item(name);
        };
        QCOMPARE(value("/?T=a+b%2Bc", "T"), QByteArray("a b+c"));
        QCOMPARE(value("/?T=%2541", "T"), QByteArray("%41"));
        QCOMPARE(value("/?S=3&G=Tom%20%26%20Jerry%3F%20a%3Db", "G"),
                 QByteArray("Tom & Jerry? a=b"));
        QCOMPARE(value("/?S=3&%4B=x", "K"), QByteArray("x"));
        QCOMPARE(value("/?P=", "P"), QByteArray());
        QCOMPARE(value("/x%20y%3F?A=1?B=2", "A"), QByteArray("1?B=2"));
        QCOMPARE(Cracked(LoopbackClient::Request("/x%20y%3F?A=1?B=2")).Root(), QByteArray("/x y?"));
        QCOMPARE(Cracked(LoopbackClient::Request("/?")).Variables().Count(), 0);
        // A fragment is no part of the request; an encoded "#" is text.
        QCOMPARE(value("/?F=4#x", "F"), QByteArray("4"));
        QCOMPARE(value("/?S=4&G=%23#a?b=c", "G"), QByteArray("#"));
        QCOMPARE(Cracked(LoopbackClient::Request("/#top")).Root(), QByteArray("/"));
        // An absolute-form target (a proxy's) is this server's own path,
        // whatever host it names.
        for (const auto& [target, root] : {std::pair{"http://10.0.0.1:8080/a%20b?A=1", "/a b"},
                                           {"HTTPS://h/", "/"},
                                           {"http://evil.example?A=1", "/"},
                                           {"http://h", "/"},
                                           {"ftp://h/x", "ftp://h/x"},
                                           {"/p?U=http://h/x", "/p"}}) {
            const CPacket absolute = Cracked(LoopbackClient::Request(target));
            QCOMPARE(absolute.Root(), QByteArray(root));
            QCOMPARE(absolute.Variables().Count(), QByteArray(target).count('='));
        }
        QCOMPARE(basUtilities::URLDecode("50%") + basUtilities::URLDecode("%4"),
                 QByteArray("50%%4"));
        try {
            basUtilities::URLDecode("a%G1");
            QFAIL("a bad escape must fail");
        } catch (const PocketlaneError& failure) {
            QVERIFY(failure.Source().startsWith(QStringLiteral("URLDecode(a%G1) - ")));
        }
        // No line end, a cut blank line, a header without colon, a request
        // line without space or without path, a query piece without "=", a
        // bad escape in a value.
        for (const QByteArray& text :
             {QByteArray("GET / HTTP/1.1"), QByteArray("GET / HTTP/1.1\r\n\r"),
              QByteArray("GET / HTTP/1.1\r\nHost\r\n\r\n"), QByteArray("GET\r\nH: v\r\n\r\n"),
              QByteArray("GET  HTTP/1.1\r\nH: v\r\n\r\n"), LoopbackClient::Request("/?T=a&b"),
              LoopbackClient::Request("/?T=%zz")}) {
            const CrackedPacket cracked = CPacket::CrackHTTPPacket(text);
            QVERIFY2(!cracked && !cracked.failure.isEmpty(), text.constData());
        }

        // HTTP/1.1 answers are exactly the chunked form phones get today (the
        // HTTP/1.0 and HEAD forms: the server's request-form table).
        const QByteArray date = HttpAnswer::Date(1709622489); // 2024-03-05 07:08:09 UTC
        const QByteArray head =
            "HTTP/1.1 200 OK\r\nDate: Tue, 05 Mar 2024 07:08:09 GMT \r\nServer: "
            "Quill\r\nCache-Control: no-cache\r\nConnection: Close\r\n"
            "Transfer-Encoding: chunked\r\nContent-Type: text/vnd.wap.wml; charset=utf-8\r\n\r\n";
        QCOMPARE(HttpAnswer::Page({}, HttpOk, date), head + "0 \r\n\r\n0\r\n\r\n");
        const QByteArray deck(300, 'w');
        QCOMPARE(HttpAnswer::Page(deck, HttpOk, date), head + "12C \r\n" + deck + "\r\n0\r\n\r\n");
        // The form of a page by the Accept header as it arrives: WML unless
        // XHTML or HTML is named and WML is not; 406 when nothing fits.
        const QList<std::pair<QByteArray, QByteArray>> accepts = {
            {"", "wml"},
            {" */*\r", "wml"},
            {" text/*", "wml"},
            {"text/html, Text/Vnd.Wap.Wml", "wml"},
            {"application/vnd.wap.wmlc, text/html", "wml"},
            {" text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,*/*;q=0.8\r",
             PageNegotiation::XhtmlType.toByteArray()},
            {"application/vnd.wap.xhtml+xml, application/xhtml+xml, text/html",
             PageNegotiation::WapXhtmlType.toByteArray()},
            {"application/xhtml+xml;q=0, TEXT/HTML;level=1", "text/html"},
            {"text/vnd.wap.wml;q=0, text/html", "text/html"},
            {"text/vnd.wap.wml;q=0.00, */*", "text/html"},
            {"image/gif;text/html", "text/html"}, // the header sent twice, joined
            {"image/png, text/html;q=0.0", "406"},
            {"*/*;q=0", "406"},
            {"image/gif", "406"},
            {",;=,;q=", "406"},
            {"text/vnd.wap.wml;q=0", "406"}};
        for (const auto& [accept, expected] : accepts) {
            const PageType type = PageNegotiation::ForAccept(accept);
            const QByteArray form = type.form == PageType::Wml ? "wml"
                                    : type.form == PageType::NotAcceptable
                                        ? "406"
                                        : type.contentType.toByteArray();
            QVERIFY2(form == expected, accept + " gave " + form);
            QCOMPARE(type.negotiated, !accept.isEmpty());
        }
        // Whether an answer closes its connection is read from its header lines.
        QVERIFY(!HttpAnswer::SaysConnectionClose("HTTP/1.1 200 OK\r\nContent-length: 2\r\n\r\nok"));
        QVERIFY(HttpAnswer::SaysConnectionClose(
            "HTTP/1.1 200 OK\r\nconnection:  keep-alive, CLOSE\r\n\r\n"));
        QVERIFY(!HttpAnswer::SaysConnectionClose("HTTP/1.1 200 OK\r\n\r\nConnection: close"));
    }

    // Every request form gets its answer, or none when the site leaves it
    // unanswered or fails on it; either way only its own connection ends, so
    // a request half-sent meanwhile on another one is still served.
    void answersEveryRequestFormOnItsOwnConnection_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<int>("pieceSize");
        const auto row = [](const char* name, const QByteArray& request, const QByteArray& head,
                            const QByteArray& tail, int pieceSize = Whole) {
            QTest::newRow(name) << request << head << tail << pieceSize;
        };
        const auto badRequest = [&](const char* name, const QByteArray& request) {
            row(name, request, BadRequestLine, "</card></wml>\r\n0\r\n\r\n");
        };
        const QByteArray deck = LoopbackClient::Request("/deck");
        const QByteArray keep = LoopbackClient::Request("/keep?n=one");
        row("byte by byte", deck, Ok, DeckTail, 1);
        row("kept open", keep + deck, KeepOpenAnswer("one") + Ok, DeckTail, int(keep.size()));
        // Both in one write, and a body that is not a request.
        row("pipelined", "GET /keep?n=3 HTTP/1.1\r\nContent-Length: 5\r\n\r\nGET /\r\n" + deck,
            KeepOpenAnswer("3") + Ok, DeckTail);
        row("HTTP/1.0 without header lines", "GET /deck HTTP/1.0\r\n\r\n", Ok,
            "Connection: Close\r\nContent-Type: text/vnd.wap.wml; charset=utf-8\r\nContent-Length: "
            "6\r\n\r\n<wml/>");
        row("HEAD", LoopbackClient::Request("/deck", "HEAD"), Ok,
            "Close\r\nTransfer-Encoding: chunked\r\nContent-Type: text/vnd.wap.wml; "
            "charset=utf-8\r\n\r\n");
        row("HEAD, HTTP/1.0", "HEAD /deck HTTP/1.0\r\n\r\n", Ok,
            "Close\r\nContent-Type: text/vnd.wap.wml; charset=utf-8\r\nContent-Length: "
            "6\r\n\r\n");
        // An HTTP/1.0 client reads an answer up to the end of its connection.
        row("HTTP/1.0, kept open for HTTP/1.1", "GET /keep?n=ten HTTP/1.0\r\n\r\n" + deck,
            KeepOpenAnswer("ten"), KeepOpenAnswer("ten"));
        // Bare LF line ends, also mixed with CR LF.
        row("bare LF", "GET /keep?n=lf HTTP/1.1\nHost: x\n\nGET /deck HTTP/1.1\r\nHost: x\n\r\n",
            KeepOpenAnswer("lf") + Ok, DeckTail);
        // The answers leave in order, the deferred one first, also when the
        // requests behind it arrive while it is pending.
        const QByteArray later = LoopbackClient::Request("/later?n=first");
        const QByteArray second = LoopbackClient::Request("/keep?n=second");
        const QByteArray inOrder = KeepOpenAnswer("first") + KeepOpenAnswer("second") + Ok;
        row("behind a deferred answer", later + second + deck, inOrder, DeckTail);
        row("behind a deferred answer, sent later", later + second + deck, inOrder, DeckTail,
            int(later.size()));
        row("deferred, never answered", LoopbackClient::Request("/later?n=drop") + deck, {}, {});
        // Browsers get the page as XHTML, and other clients a 406; these and
        // a deck for a client that asked for one say that the answer depends
        // on Accept.
        const QByteArray page = XhtmlRenderer::FromWml("<wml/>");
        row("WML for a phone", "GET /deck HTTP/1.0\r\nAccept: text/vnd.wap.wml\r\n\r\n", Ok,
            "Vary: Accept\r\nContent-Type: text/vnd.wap.wml; charset=utf-8\r\nContent-Length: "
            "6\r\n\r\n<wml/>");
        row("XHTML for a browser", "GET /deck HTTP/1.0\r\nAccept: text/html, */*\r\n\r\n", Ok,
            "Vary: Accept\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                QByteArray::number(page.size()) + "\r\n\r\n" + page);
        row("nothing acceptable", "GET /deck HTTP/1.1\r\nAccept: image/png\r\n\r\n",
            "HTTP/1.1 406 Not Acceptable\r\n",
            "Vary: Accept\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: "
            "42\r\n\r\nThis site's pages are WML, XHTML or HTML.\n");
        row("bad escape, HTTP/1.0", "GET /%zz HTTP/1.0\r\n\r\n", BadRequestLine, "</card></wml>");
        badRequest("bad escape", LoopbackClient::Request("/%zz"));
        badRequest("binary", QByteArray::fromHex("16030100ff") + " junk\r\n\r\n");
        row("largest taken",
            "GET /deck HTTP/1.1\r\nH: " +
                QByteArray(RequestFramer::MaxRequestHeaderBytes - 29, 'x') + "\r\n\r\n",
            Ok, DeckTail);
        badRequest("oversized", "GET /deck HTTP/1.1\r\n" + QByteArray(qsizetype{1024} * 1024, 'X'));
        // Bytes the server never reads turn its close into a reset: the
        // answer has left before it.
        row("more behind it than is read", deck + QByteArray(qsizetype{256} * 1024, 'x'), Ok,
            DeckTail);
        badRequest("PUT", LoopbackClient::Request("/deck", "PUT"));
        row("unanswered", LoopbackClient::Request("/nothing"), {}, {});
        row("site fails", LoopbackClient::Request("/throw"), {}, {});
    }

    void answersEveryRequestFormOnItsOwnConnection() {
        QFETCH(QByteArray, request);
        QFETCH(int, pieceSize);
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, tail);
        LoopbackClient patient(h->port());
        patient.Send("GET /deck HTTP/1.1\r\n");
        const QByteArray received = h->exchange(request, pieceSize);
        QVERIFY2(received.startsWith(head) && received.endsWith(tail), received.left(300));
        QCOMPARE(received.count("HTTP/1.1 "), head.count("HTTP/1.1 ")); // each answered once
        patient.Send("Host: x\r\n\r\n");
        QVERIFY(patient.WaitClosed());
        QVERIFY(patient.Received().endsWith(DeckTail));
        // Every request of a connection comes with its element.
        QCOMPARE(h->site.elements.count(2), h->site.elements.size() - 1);
    }

    void idleConnectionsDoNotStopNewVisitorsAndTimeOut() {
        std::vector<std::unique_ptr<LoopbackClient>> idle;
        idle.reserve(1000);
        for (int i = 0; i < 1000; ++i)
            idle.push_back(std::make_unique<LoopbackClient>(h->port()));
        QTRY_COMPARE_WITH_TIMEOUT(h->server.OpenConnections(), 1000, 60000);
        QVERIFY(h->answersDeck());

        h->server.SetRequestTimeout(500);
        QTRY_COMPARE_WITH_TIMEOUT(h->server.OpenConnections(), 0, 30000);
        QVERIFY(std::all_of(idle.begin(), idle.end(), [](auto& c) { return c->WaitClosed(); }));
        QVERIFY(h->answersDeck());
        QCOMPARE(h->site.elements.last(), 1);
    }

    // A client holds only its share of the download slots: of 1,000
    // downloads that are never read, from one address, the share runs and
    // the rest are refused, while a download from another address goes
    // through byte for byte, and the request behind it on its connection
    // after it. Slots return when phones go, also in the middle of their
    // downloads with unread bytes waiting (sendfile to a closed connection
    // raises SIGPIPE unless it is ignored). When every slot is taken, the
    // longest stalled download gives its slot to a client holding fewer.
    void downloadSlotsAreSharedFairly() {
        QByteArray content(qsizetype{16} * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(content.data()),
                                      content.size() / 4);
        QFile file(h->site.file);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size() &&
                file.flush());
        std::vector<std::unique_ptr<QTcpSocket>> stalled; // never read beyond 4 KiB
        const auto download = [&](const char* from) {
            auto& socket = *stalled.emplace_back(std::make_unique<QTcpSocket>());
            socket.setReadBufferSize(4096);
            socket.bind(QHostAddress(QLatin1String(from)));
            socket.connectToHost(QHostAddress::LocalHost, h->port());
            socket.write(LoopbackClient::Request("/file"));
        };
        const auto honestDownload = [&] {
            LoopbackClient honest(h->port(), QHostAddress(QStringLiteral("127.0.0.2")));
            honest.Send(LoopbackClient::Request("/file") + LoopbackClient::Request("/deck"));
            return honest.WaitClosed() && honest.Received().startsWith(KeepOpenAnswer(content)) &&
                   honest.Received().endsWith(DeckTail);
        };
        for (int i = 0; i < 1000; ++i)
            download("127.0.0.1");
        QTRY_COMPARE_WITH_TIMEOUT(h->site.elements.size(), qsizetype(1000), 60000);
        const int share = WapServer::DefaultMaxDownloads / DownloadSlots::ShareDivisor;
        QCOMPARE(h->server.ActiveDownloads(), share);
        QTRY_COMPARE(h->server.OpenConnections(), share); // the refused are closed
        QVERIFY(honestDownload());
        stalled.clear();
        QTRY_COMPARE(h->server.ActiveDownloads(), 0);
        QTRY_COMPARE(h->server.OpenConnections(), 0);

        h->server.SetMaxDownloads(2); // a share of one
        h->server.SetRequestTimeout(6 * 500);
        h->extendedLogging = true;
        const qsizetype asked = h->site.elements.size();
        for (const char* from : {"127.0.0.1", "127.0.0.3", "127.0.0.1"})
            download(from);
        QTRY_COMPARE(h->site.elements.size(), asked + 3);
        QTRY_COMPARE(h->server.OpenConnections(), 2);
        QCOMPARE(h->server.ActiveDownloads(), 2);
        // Refused until a download has stalled for 500 ms, then served.
        QTRY_VERIFY(honestDownload());
        // One stalled download made room, the other went on.
        QCOMPARE(h->messages().filter(QStringLiteral("gave its slot to another visitor")).size(),
                 1);
    }

    // Detail lines come only while extended logging is on. Stopping, also
    // from within a request, ends every connection and the listening; a
    // start listens on the same port again.
    void detailLinesThenStopAndStartAgain() {
        QVERIFY(h->answersDeck());
        QCOMPARE(h->messages(), QStringList());
        h->extendedLogging = true;
        QVERIFY(h->answersDeck());
        QCOMPARE(h->messages().mid(0, 2),
                 QStringList({QStringLiteral("Incoming connection request on Socket"),
                              QStringLiteral("Incoming data on Socket")}));
        h->server.LogListening();
        QCOMPARE(h->messages().last(),
                 QStringLiteral("Socket open and listening on port ") + QString::number(h->port()));
        const quint16 port = h->port();
        LoopbackClient waiting(port);
        QTRY_COMPARE(h->server.OpenConnections(), 1);
        QSignalSpy stopped(&h->server, &WapServer::Stopped);
        QCOMPARE(h->exchange(LoopbackClient::Request("/stop") + LoopbackClient::Request("/deck")),
                 QByteArray());
        QVERIFY(waiting.WaitClosed());
        QCOMPARE(stopped.count(), 1);
        QVERIFY(!h->server.IsRunning() && h->server.OpenConnections() == 0);
        QVERIFY(h->logged(QStringLiteral("Pocketlane stopped by user")));
        QVERIFY_THROWS_EXCEPTION(PocketlaneError, h->site.last->SendResponse("late", HttpOk));
        QVERIFY(!LoopbackClient(port).WaitConnected());

        QVERIFY(h->server.StartServer());
        QCOMPARE(h->server.Port(), port);
        QVERIFY(h->logged(QStringLiteral("Pocketlane started by user")));
        QVERIFY(h->answersDeck());
        QCOMPARE(h->site.elements.last(), 1);
    }

    // The site's answers close their connection once written, so the socket
    // is still closing while the answer leaves.
    void deliveryIsReportedAfterTheAnswerLeft() {
        LoopbackClient client(h->port());
        client.Socket().setReadBufferSize(qint64{64} * 1024);
        client.Send(LoopbackClient::Request("/keep?n=" + QByteArray(4000, 'x')));
        QTRY_VERIFY(h->site.last);
        const QByteArray large(qsizetype{16} * 1024 * 1024, 'w');
        int delivered = 0;
        h->site.last->SendResponse(large, HttpOk);
        h->site.last->WhenAnswerDelivered([&] { ++delivered; }, 30000);
        QCOMPARE(delivered, 0);
        client.Socket().setReadBufferSize(0);
        QVERIFY(client.WaitClosed(60000));
        QTRY_COMPARE(delivered, 1);
        QVERIFY(client.Received().endsWith(large + "\r\n0\r\n\r\n"));

        // Without anything left to send, after the current event, once: a
        // later report has come by the time the loop has moved on.
        h->site.last->WhenAnswerDelivered([&] { ++delivered; }, 30000);
        QCOMPARE(delivered, 1);
        bool later = false;
        h->site.last->WhenAnswerDelivered([&] { later = true; }, 30000);
        QTRY_VERIFY(later);
        QCOMPARE(delivered, 2);
    }

    void connectionBeyondTheElementLimitIsRefusedAndLogged() {
        h->server.SetMaxConnectionElements(2);
        // Each begins a request, so that the system hands them over in turn
        // (connections that send nothing come after a second, in its order).
        LoopbackClient first(h->port()), second(h->port());
        first.Send("G");
        QTRY_COMPARE(h->server.OpenConnections(), 1);
        second.Send("G");
        QTRY_COMPARE(h->server.OpenConnections(), 2);
        QCOMPARE(h->exchange({}), QByteArray());
        QVERIFY(
            h->logged(QStringLiteral("Socket: 0  Reported Error:No connection element is free")));
        second.Socket().close();
        QTRY_COMPARE(h->server.OpenConnections(), 1);
        QVERIFY(h->answersDeck()); // in the lowest closed element
        QCOMPARE(h->site.elements, QList<int>{2});
        QCOMPARE(h->server.HighestSocket(), 2);
    }

    // The table hands out the lowest closed element, refuses one beyond its
    // limit (closing that descriptor), and keeps the open ones in the order
    // of their last progress however they close: the sweep closes exactly
    // those idle long enough, the search stops at the first busy since.
    void connectionTableKeepsTheIdleOrder() {
        EventPoller poller([](std::uint64_t, std::uint32_t) {});
        ConnectionPool pool{DownloadSlots(4), {}, {}};
        ConnectionTable table(poller, pool);
        table.SetMaxElements(4);
        std::vector<int> peers;
        const auto cleanup = qScopeGuard([&] {
            for (int peer : peers)
                ::close(peer);
        });
        const auto open = [&](qint64 now) {
            int pair[2];
            if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0)
                qFatal("socketpair");
            peers.push_back(pair[1]);
            return table.Open(pair[0], {}, now);
        };
        const auto openIndexes = [&] {
            QList<int> open;
            for (int i = 1; i <= table.HighestIndex(); ++i)
                if (table.At(i)->IsOpen())
                    open << i;
            return open;
        };
        for (qint64 now : {10, 20, 30, 40})
            QCOMPARE(open(now).outcome, ConnectionTable::OpenOutcome::Opened);
        QCOMPARE(open(45).outcome, ConnectionTable::OpenOutcome::NoElementFree);
        char byte;
        QCOMPARE(::read(peers.back(), &byte, 1), 0); // refused: its end is closed

        table.MarkBusy(*table.At(1), 50); // the order is now 2 3 4 1
        table.At(3)->Close();             // 2 4 1
        const auto any = [](const Connection&) { return true; };
        QCOMPARE(table.FindIdleSince(15, any), nullptr);
        QCOMPARE(table.FindIdleSince(40, [](const Connection& c) { return c.Index() == 4; }),
                 table.At(4).get());
        table.CloseIdleSince(40);
        QCOMPARE(openIndexes(), QList<int>{1});
        QCOMPARE(table.OpenCount(), 1);

        QCOMPARE(open(60).connection->Index(), 2); // the lowest closed first
        QCOMPARE(open(70).connection->Index(), 3);
        table.MarkBusy(*table.At(2), 80); // 1 3 2
        table.CloseIdleSince(60);
        QCOMPARE(openIndexes(), (QList<int>{2, 3}));
        table.CloseIdleSince(80);
        QCOMPARE(table.OpenCount(), 0);
        QCOMPARE(table.HighestIndex(), 4);
    }

    void lackOfDescriptorsPausesAcceptingWithoutStoppingService() {
        LoopbackClient existing(h->port());
        QTRY_COMPARE(h->server.OpenConnections(), 1);
        LoopbackClient waiting(h->port());
        {
            // The descriptor limit at the lowest free descriptor: accepting fails.
            rlimit saved{};
            getrlimit(RLIMIT_NOFILE, &saved);
            const auto restore = qScopeGuard([&] { setrlimit(RLIMIT_NOFILE, &saved); });
            const int lowestFree = ::dup(0);
            ::close(lowestFree);
            const rlimit lowered{rlim_t(lowestFree), saved.rlim_max};
            setrlimit(RLIMIT_NOFILE, &lowered);
            QVERIFY(waiting.WaitConnected());
            QTRY_VERIFY(h->logged(QStringLiteral("Socket: 0  Reported Error:")));
            existing.Send(LoopbackClient::Request("/deck"));
            QVERIFY(existing.WaitClosed());
            QVERIFY(existing.Received().endsWith(DeckTail));
            // The served connection's descriptor is free again: a retry
            // accepts the waiting one. One line per retry until then, not
            // a busy loop.
            QTRY_COMPARE(h->server.OpenConnections(), 1);
            const qsizetype errors = h->messages().filter(QStringLiteral("Reported Error")).size();
            QVERIFY2(errors < 20, qPrintable(QString::number(errors)));
        }
        waiting.Send(LoopbackClient::Request("/deck"));
        QVERIFY(waiting.WaitClosed());
        QVERIFY(waiting.Received().endsWith(DeckTail));
    }
};

QTEST_GUILESS_MAIN(TestWapServer)
#include "tst_wapserver.moc"
