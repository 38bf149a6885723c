// The WAP gateway harness against nginx serving a small static site: a phone
// fetches the main menu, follows one of its links, loads the welcome picture
// and fetches another page through Kannel, over both kinds of WSP.

#include "support/NginxServer.h"
#include "support/WapGateway.h"
#include "support/WspClient.h"

#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <memory>

namespace {
const QByteArray deckPrologue = "<?xml version=\"1.0\"?>\n"
                                "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
                                "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n";

QByteArray deck(const QByteArray& title, const QByteArray& paragraph) {
    return deckPrologue + "<wml><card id=\"main\" title=\"" + title + "\"><p>" + paragraph +
           "</p></card></wml>\n";
}

const QByteArray mainMenu = deck("Main Menu", "<img src=\"/welcome.wbmp\" alt=\"Welcome\"/><br/>"
                                              "<a href=\"/folders.wml\">Shared Folders</a><br/>"
                                              "<a href=\"/chunked/graffiti.wml\">Graffiti</a>");
const QByteArray foldersPage = deck("Shared Folders", "No shared folders yet");
const QByteArray graffitiPage = deck("Graffiti", "Nobody wrote here yet");
// A 16x3 black-and-white WBMP: type 0, fixed header 0, width, height, rows.
const QByteArray welcomePicture = QByteArray::fromHex("000010030ff0f00fffff");

const QByteArray compiledDeckType = "application/vnd.wap.wmlc";

QString failureReport(const WspReply& reply, const WapGateway& gateway, const NginxServer& web) {
    return reply.describe() + QLatin1Char('\n') + gateway.logs() + web.logs();
}

QByteArray firstAttribute(const QByteArray& wml, const char* attribute) {
    const QRegularExpression pattern(QString::fromLatin1(attribute) +
                                     QStringLiteral("=\"([^\"]*)\""));
    return pattern.match(QString::fromLatin1(wml)).captured(1).toLatin1();
}

bool processExists(qint64 pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

void addSite(NginxServer& web) {
    QVERIFY(web.addFile(QStringLiteral("index.wml"), mainMenu));
    QVERIFY(web.addFile(QStringLiteral("folders.wml"), foldersPage));
    QVERIFY(web.addFile(QStringLiteral("chunked/graffiti.wml"), graffitiPage));
    QVERIFY(web.addFile(QStringLiteral("welcome.wbmp"), welcomePicture));
}
} // namespace

class TestGatewayHarness : public QObject {
    Q_OBJECT
private:
    // Fetches url through the gateway and checks that a compiled deck holding
    // expectedText came back; its WML text goes to wml.
    void fetchDeck(WspClient& phone, const QByteArray& url, const QByteArray& expectedText,
                   QByteArray& wml) {
        const WspReply reply = phone.get(url);
        const QString report = failureReport(reply, *m_gateway, *m_web);
        QVERIFY2(reply.isComplete(), qPrintable(report));
        QVERIFY2(reply.status == 0x20, qPrintable(report));
        QVERIFY2(reply.contentType == compiledDeckType, qPrintable(report));
        wml = WapGateway::decompile(reply.body);
        QVERIFY2(wml.contains(expectedText), wml.constData());
    }

    std::unique_ptr<NginxServer> m_web;
    std::unique_ptr<WapGateway> m_gateway;

private Q_SLOTS:
    void initTestCase() {
        QString missing;
        QVERIFY2(WapGateway::isAvailable(&missing),
                 qPrintable(missing + QStringLiteral(" is missing; run scripts/setup.sh")));
        QVERIFY2(QFile::exists(NginxServer::programPath()),
                 "nginx is missing; run scripts/setup.sh");
        m_web = std::make_unique<NginxServer>();
        addSite(*m_web);
        QVERIFY2(m_web->start(), qPrintable(m_web->errorString()));
        m_gateway = std::make_unique<WapGateway>();
        QVERIFY2(m_gateway->start(), qPrintable(m_gateway->errorString()));
    }

    void cleanupTestCase() {
        m_gateway.reset();
        m_web.reset();
    }

    void phoneBrowsesTheSite_data() { WspClient::addModeRows(); }

    // Menu, a link of the menu, the welcome picture, then a page that nginx
    // sends chunked: four requests in a row through the same gateway, which
    // keeps its HTTP connection to the server open between them.
    void phoneBrowsesTheSite() {
        QFETCH(WspClient::Mode, mode);
        WspClient phone(m_gateway->address(), mode);
        const qsizetype requestsBefore = m_web->requests().size();

        QByteArray menu;
        QByteArray page;
        fetchDeck(phone, m_web->url("/"), "Main Menu", menu);
        QVERIFY(!QTest::currentTestFailed());
        const QByteArray link = firstAttribute(menu, "href");
        QCOMPARE(link, QByteArray("/folders.wml"));
        fetchDeck(phone, m_web->url(link), "No shared folders yet", page);
        QVERIFY(!QTest::currentTestFailed());

        const WspReply picture = phone.get(m_web->url(firstAttribute(menu, "src")));
        QVERIFY2(picture.status == 0x20 && picture.contentType == "image/vnd.wap.wbmp",
                 qPrintable(failureReport(picture, *m_gateway, *m_web)));
        QCOMPARE(picture.body, welcomePicture);

        fetchDeck(phone, m_web->url("/chunked/graffiti.wml"), "Nobody wrote here yet", page);
        QVERIFY(!QTest::currentTestFailed());

        const QList<NginxServer::Request> requests = m_web->requests().mid(requestsBefore);
        QCOMPARE(requests.size(), 4);
        for (const NginxServer::Request& request : requests) {
            QCOMPARE(request.status, 200);
            QVERIFY2(request.userAgent.contains("PocketlaneTestPhone"), request.userAgent.data());
        }
        QVERIFY2(requests.last().requestOnConnection > 1, qPrintable(m_web->logs()));
        QCOMPARE(requests.last().connection, requests.first().connection);
    }

    // More than one group of WTP segments (a segment holds 1400 bytes, a
    // group three segments), reassembled in order.
    void largeDeckArrivesInSegments() {
        QByteArray lines;
        for (int i = 0; i < 400; ++i)
            lines += "Line " + QByteArray::number(i) + " of a long folder listing<br/>";
        QVERIFY(m_web->addFile(QStringLiteral("long.wml"), deck("Long", lines + "The end")));
        WspClient phone(m_gateway->address(), WspClient::Mode::ConnectionOriented);
        const WspReply reply = phone.get(m_web->url("/long.wml"));
        QVERIFY2(reply.contentType == compiledDeckType,
                 qPrintable(failureReport(reply, *m_gateway, *m_web)));
        QVERIFY2(reply.body.size() > 3 * 1400, qPrintable(reply.describe()));
        const QByteArray wml = WapGateway::decompile(reply.body);
        QVERIFY2(wml.contains("Line 0 of a long folder listing <br/> Line 1 of"), wml.left(400));
        QVERIFY2(wml.contains("Line 399 of a long folder listing <br/> The end"), wml.right(400));
    }

    void chunkedFolderIsSentChunked() {
        const QByteArray answer = TestSupport::httpExchange(
            m_web->port(), "GET /chunked/graffiti.wml HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                           "Connection: close\r\n\r\n");
        QVERIFY2(answer.contains("Transfer-Encoding: chunked"), answer.constData());
        QVERIFY(!answer.contains("Content-Length"));
    }

    void missingPageKeepsItsStatus() {
        WspClient phone(m_gateway->address());
        const WspReply reply = phone.get(m_web->url("/nothing-here.wml"));
        QVERIFY2(reply.isComplete(), qPrintable(failureReport(reply, *m_gateway, *m_web)));
        QCOMPARE(reply.httpStatus(), 404);
    }

    // A server that answers "Connection: close" and closes gets a new
    // connection from the gateway for every request.
    void serverWithoutKeepAliveGetsOneConnectionPerRequest() {
        NginxServer closingWeb;
        addSite(closingWeb);
        closingWeb.setKeepAlive(false);
        QVERIFY2(closingWeb.start(), qPrintable(closingWeb.errorString()));
        WspClient phone(m_gateway->address());
        for (const QByteArray path : {"/", "/folders.wml", "/chunked/graffiti.wml"}) {
            const WspReply reply = phone.get(closingWeb.url(path));
            QVERIFY2(reply.status == 0x20 && reply.contentType == compiledDeckType,
                     qPrintable(failureReport(reply, *m_gateway, closingWeb)));
        }
        const QList<NginxServer::Request> requests = closingWeb.requests();
        QCOMPARE(requests.size(), 3);
        for (const NginxServer::Request& request : requests)
            QCOMPARE(request.requestOnConnection, 1);
    }

    void boxesListenAndTalkOnLoopbackOnly() {
        for (const qint64 pid : m_gateway->pids()) {
            const QList<TestSupport::SocketEntry> sockets = TestSupport::socketsOfProcess(pid);
            QVERIFY2(!sockets.isEmpty(), "no sockets found for a box");
            for (const TestSupport::SocketEntry& socket : sockets) {
                const QString where =
                    QStringLiteral("%1 %2:%3 -> %4:%5")
                        .arg(QString::fromLatin1(socket.protocol), socket.localAddress.toString())
                        .arg(socket.localPort)
                        .arg(socket.remoteAddress.toString())
                        .arg(socket.remotePort);
                QVERIFY2(socket.localAddress.isLoopback(), qPrintable(where));
                QVERIFY2(socket.remoteAddress.isLoopback() || socket.remoteAddress.isNull() ||
                             socket.remoteAddress == QHostAddress::AnyIPv4 ||
                             socket.remoteAddress == QHostAddress::AnyIPv6,
                         qPrintable(where));
            }
        }
    }

    // A second gateway runs beside the first on its own loopback address, and
    // its boxes are gone once it is destroyed.
    void secondGatewayRunsBesideAndStopsCleanly() {
        QList<qint64> pids;
        {
            WapGateway second;
            QVERIFY2(second.start(), qPrintable(second.errorString()));
            QVERIFY(second.address() != m_gateway->address());
            pids = second.pids();
            WspClient phone(second.address());
            const WspReply reply = phone.get(m_web->url("/"));
            QVERIFY2(reply.status == 0x20, qPrintable(failureReport(reply, second, *m_web)));
        }
        for (const qint64 pid : pids)
            QVERIFY2(!processExists(pid), qPrintable(QString::number(pid)));
        QVERIFY(m_gateway->isRunning());
    }
};

QTEST_GUILESS_MAIN(TestGatewayHarness)
#include "tst_gatewayharness.moc"
