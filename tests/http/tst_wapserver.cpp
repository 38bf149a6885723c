#include "app/ProcessLimits.h"
#include "base/PocketlaneError.h"
#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "http/RequestHandler.h"
#include "http/WapServer.h"
#include "support/LoopbackClient.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QByteArray DeckTail = "<wml/>\r\n0\r\n\r\n";
const QByteArray BadRequestLine = "HTTP/1.1 400 OK\r\n";

QByteArray KeepOpenAnswer(const QByteArray& body) {
    return "HTTP/1.1 200 OK\r\nContent-length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
           body;
}

QByteArray Pattern(qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char('a' + (i * 7 + i / 4099) % 26);
    return bytes;
}

// The site of these tests, answering by path: /deck with a deck, /keep
// with an answer that leaves the connection open, /file with a download of
// the file `file`, /stop stops the server from within the request; /throw
// fails and anything else is left unanswered.
class TestSite : public RequestHandler {
public:
    QList<int> elements;
    QList<QByteArray> roots;
    QString file;
    WapServer* server = nullptr;
    std::shared_ptr<CPacket> last;

    void HandleRequest(const std::shared_ptr<CPacket>& packet) override {
        last = packet;
        elements.append(packet->SocketIndex());
        roots.append(packet->Root());
        if (packet->Root() == "/deck")
            packet->SendResponse("<wml/>", HttpOk);
        else if (packet->Root() == "/keep")
            packet->SendRawResponse(KeepOpenAnswer(packet->Variables().Value("n", "keep")));
        else if (packet->Root() == "/file")
            sendFile(*packet);
        else if (packet->Root() == "/stop")
            server->StopServer();
        else if (packet->Root() == "/throw")
            throw std::runtime_error("page failed");
    }

    void sendFile(CPacket& packet) {
        const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
        const qint64 size = QFileInfo(file).size();
        packet.SendFile("HTTP/1.1 200 OK\r\nContent-length: " + QByteArray::number(size) +
                            "\r\n\r\n",
                        fd, 0, size);
    }
};

struct Harness {
    StatusLog log;
    WapServer server{log, 0};
    TestSite site;
    bool extendedLogging = false;

    Harness() {
        log.setExtendedLoggingSwitch([this] { return extendedLogging; });
        server.SetRequestHandler(&site);
        site.server = &server;
    }
    bool open() { return server.OpenListener() == WapServer::ListenResult::Listening; }
    quint16 port() const { return server.Port(); }
    bool logged(const QString& message) const {
        const QList<StatusLog::Line> lines = log.lines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const auto& line) { return line.message.startsWith(message); });
    }
    int loggedCount(int level) const {
        const QList<StatusLog::Line> lines = log.lines();
        return int(std::count_if(lines.begin(), lines.end(),
                                 [level](const auto& line) { return line.level == level; }));
    }
};

// Fills every free descriptor below a lowered limit, so that accepting a
// connection fails; undoes it on destruction.
class DescriptorShortage {
public:
    DescriptorShortage() {
        getrlimit(RLIMIT_NOFILE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = HighestOpenDescriptor() + 16;
        setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            m_fillers.append(fd);
    }
    ~DescriptorShortage() {
        for (int fd : m_fillers)
            ::close(fd);
        setrlimit(RLIMIT_NOFILE, &m_saved);
    }

private:
    static rlim_t HighestOpenDescriptor() {
        rlim_t highest = 0;
        for (const QString& name : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files))
            highest = std::max<rlim_t>(highest, name.toULongLong());
        return highest;
    }

    rlimit m_saved{};
    QList<int> m_fillers;
};

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestWapServer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { RaiseOpenFileLimit(); }

    void requestWrittenByteByByteIsAnsweredOnce() {
        Harness h;
        QVERIFY(h.open());
        LoopbackClient client(h.port());
        QVERIFY(client.WaitConnected());
        for (const char byte : LoopbackClient::Request("/deck")) {
            client.Send(QByteArray(1, byte));
            QTest::qWait(2);
        }
        QVERIFY(client.WaitClosed());
        QCOMPARE(h.site.roots, QList<QByteArray>{"/deck"});
        QCOMPARE(client.Received().count("HTTP/1.1 200 OK"), 1);
        QVERIFY(client.Received().endsWith(DeckTail));
    }

    void connectionStaysOpenForTheNextRequestWhenTheAnswerAllows() {
        Harness h;
        QVERIFY(h.open());
        LoopbackClient client(h.port());
        QVERIFY(client.WaitConnected());
        client.Send(LoopbackClient::Request("/keep?n=one"));
        QVERIFY(client.WaitForBytes(KeepOpenAnswer("one").size()));
        client.Send(LoopbackClient::Request("/keep?n=two"));
        QVERIFY(client.WaitForBytes(2 * KeepOpenAnswer("one").size()));
        // Pipelined: both in one write, and a body that is not a request.
        client.Send("GET /keep?n=3 HTTP/1.1\r\nContent-Length: 5\r\n\r\nGET /\r\nGET /deck "
                    "HTTP/1.1\r\nH: v\r\n\r\n");
        QVERIFY(client.WaitClosed());
        QVERIFY(client.Received().startsWith(KeepOpenAnswer("one") + KeepOpenAnswer("two") +
                                             KeepOpenAnswer("3") + "HTTP/1.1 200 OK"));
        QVERIFY(client.Received().endsWith(DeckTail));
        QCOMPARE(h.site.elements, QList<int>({1, 1, 1, 1}));
    }

    void oldRequestFormsAreAnsweredAsTheyCanRead() {
        Harness h;
        QVERIFY(h.open());
        LoopbackClient http10(h.port());
        http10.Send("GET /deck HTTP/1.0\r\n\r\n");
        LoopbackClient badHttp10(h.port());
        badHttp10.Send("GET /%zz HTTP/1.0\r\n\r\n");
        QVERIFY(badHttp10.WaitClosed());
        QVERIFY(badHttp10.Received().startsWith(BadRequestLine));
        QVERIFY(badHttp10.Received().endsWith("</card></wml>"));
        LoopbackClient head(h.port());
        head.Send(LoopbackClient::Request("/deck", "HEAD"));
        QVERIFY(http10.WaitClosed() && head.WaitClosed());
        QVERIFY(http10.Received().endsWith("Content-Length: 6\r\n\r\n<wml/>"));
        QVERIFY(!http10.Received().contains("chunked"));
        QVERIFY(head.Received().endsWith("Content-Type: text/vnd.wap.wml; charset=utf-8\r\n\r\n"));
    }

    void lowestClosedElementIsReusedAlsoAfterStopAndStart() {
        Harness h;
        QVERIFY(h.open());
        const quint16 port = h.port();
        LoopbackClient first(port);
        LoopbackClient second(port);
        QVERIFY(first.WaitConnected() && second.WaitConnected());
        first.Send(LoopbackClient::Request("/keep"));
        QVERIFY(first.WaitForBytes(1));
        second.Send(LoopbackClient::Request("/keep"));
        QVERIFY(second.WaitForBytes(1));
        QCOMPARE(h.site.elements, QList<int>({1, 2}));
        second.Socket().close();
        QTRY_COMPARE(h.server.OpenConnections(), 1);

        QSignalSpy stopped(&h.server, &WapServer::Stopped);
        h.server.StopServer();
        QCOMPARE(stopped.count(), 1);
        QVERIFY(!h.server.IsRunning());
        QVERIFY(first.WaitClosed());
        QVERIFY(h.logged(QStringLiteral("Pocketlane stopped by user")));
        LoopbackClient refused(port);
        QVERIFY(!refused.WaitConnected());

        QVERIFY(h.server.StartServer());
        QCOMPARE(h.server.Port(), port);
        QVERIFY(h.logged(QStringLiteral("Pocketlane started by user")));
        LoopbackClient third(port);
        LoopbackClient fourth(port);
        third.Send(LoopbackClient::Request("/keep"));
        QVERIFY(third.WaitForBytes(1));
        fourth.Send(LoopbackClient::Request("/deck"));
        QVERIFY(fourth.WaitClosed());
        QCOMPARE(h.site.elements.mid(2), QList<int>({1, 2}));
        QCOMPARE(h.server.HighestSocket(), 2);
    }

    void idleConnectionsDoNotStopNewVisitorsAndTimeOut() {
        Harness h;
        QVERIFY(h.open());
        std::vector<std::unique_ptr<LoopbackClient>> idle;
        for (int i = 0; i < 1000; ++i)
            idle.push_back(std::make_unique<LoopbackClient>(h.port()));
        QTRY_COMPARE_WITH_TIMEOUT(h.server.OpenConnections(), 1000, 60000);
        LoopbackClient visitor(h.port());
        visitor.Send(LoopbackClient::Request("/deck"));
        QVERIFY(visitor.WaitClosed());
        QVERIFY(visitor.Received().endsWith(DeckTail));

        h.server.SetRequestTimeout(500);
        QTRY_COMPARE_WITH_TIMEOUT(h.server.OpenConnections(), 0, 30000);
        QVERIFY(std::all_of(idle.begin(), idle.end(), [](auto& c) { return c->WaitClosed(); }));
        LoopbackClient next(h.port());
        next.Send(LoopbackClient::Request("/deck"));
        QVERIFY(next.WaitClosed());
        QCOMPARE(h.site.elements.last(), 1);
    }

    // Requests that cannot be served get a 400 deck; requests the site
    // leaves unanswered or fails on are dropped. Either way only their own
    // connection ends.
    void misbehavingClientsLoseOnlyTheirOwnConnection() {
        Harness h;
        QVERIFY(h.open());
        LoopbackClient patient(h.port());
        QVERIFY(patient.WaitConnected());
        patient.Send("GET /deck HTTP/1.1\r\n");

        LoopbackClient garbage(h.port());
        static const char binary[] = "\x16\x03\x01\x00\xff junk\r\n\r\n";
        garbage.Send(QByteArray(binary, sizeof binary - 1));
        LoopbackClient huge(h.port());
        huge.Send("GET /deck HTTP/1.1\r\n" + QByteArray(1024 * 1024, 'X'));
        LoopbackClient put(h.port());
        put.Send(LoopbackClient::Request("/deck", "PUT"));
        LoopbackClient badEscape(h.port());
        badEscape.Send(LoopbackClient::Request("/%zz"));
        for (LoopbackClient* client : {&garbage, &huge, &put, &badEscape}) {
            QVERIFY(client->WaitClosed());
            QVERIFY(client->Received().startsWith(BadRequestLine));
            QVERIFY(client->Received().endsWith("</card></wml>\r\n0\r\n\r\n"));
        }
        LoopbackClient unanswered(h.port());
        unanswered.Send(LoopbackClient::Request("/nothing"));
        LoopbackClient failing(h.port());
        failing.Send(LoopbackClient::Request("/throw"));
        for (LoopbackClient* client : {&unanswered, &failing}) {
            QVERIFY(client->WaitClosed());
            QCOMPARE(client->Received(), QByteArray());
        }
        QVERIFY(patient.IsConnected());
        patient.Send("Host: x\r\n\r\n");
        QVERIFY(patient.WaitClosed());
        QVERIFY(patient.Received().endsWith(DeckTail));
        QCOMPARE(h.site.roots.count("/deck"), 1);
    }

    // A download goes out from the file while the reader reads; others are
    // served meanwhile, and a request behind it on the same connection
    // waits for its end.
    void fileIsSentAsTheConnectionDrains() {
        Harness h;
        QVERIFY(h.open());
        QTemporaryDir dir;
        h.site.file = dir.filePath(QStringLiteral("big.bin"));
        const QByteArray content = Pattern(32 * 1024 * 1024);
        QVERIFY(WriteFile(h.site.file, content));
        QTcpSocket downloader;
        downloader.setReadBufferSize(64 * 1024);
        downloader.connectToHost(QHostAddress::LocalHost, h.port());
        QVERIFY(downloader.waitForConnected(10000));
        downloader.write(LoopbackClient::Request("/file") + LoopbackClient::Request("/deck"));
        QTRY_COMPARE(h.server.ActiveDownloads(), 1);

        LoopbackClient visitor(h.port());
        visitor.Send(LoopbackClient::Request("/deck"));
        QVERIFY(visitor.WaitClosed());
        QVERIFY(visitor.Received().endsWith(DeckTail));
        QCOMPARE(h.site.roots, QList<QByteArray>({"/file", "/deck"}));

        QByteArray received;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                received += downloader.readAll();
                return downloader.state() != QAbstractSocket::ConnectedState;
            }(),
            120000);
        received += downloader.readAll();
        const QByteArray head = KeepOpenAnswer({}).replace(
            "length: 0", "length: " + QByteArray::number(content.size()));
        QVERIFY(received.startsWith(head));
        QVERIFY(received.mid(head.size(), content.size()) == content);
        QVERIFY(received.endsWith(DeckTail));
        QCOMPARE(h.server.ActiveDownloads(), 0);
    }

    // Exactly the announced length: a file that grows is cut there, one
    // that shrinks ends the connection instead of leaving the phone waiting.
    void changingFileKeepsTheAnnouncedLength() {
        Harness h;
        QVERIFY(h.open());
        QTemporaryDir dir;
        h.site.file = dir.filePath(QStringLiteral("changing.mid"));
        const QByteArray content = Pattern(8 * 1024 * 1024);
        QVERIFY(WriteFile(h.site.file, content));
        for (const bool grow : {true, false}) {
            QTcpSocket reader;
            reader.setReadBufferSize(16 * 1024);
            reader.connectToHost(QHostAddress::LocalHost, h.port());
            QVERIFY(reader.waitForConnected(10000));
            reader.write(LoopbackClient::Request("/file") + LoopbackClient::Request("/keep"));
            QTRY_COMPARE(h.server.ActiveDownloads(), 1);
            QFile file(h.site.file);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(grow ? file.write(Pattern(1024 * 1024), 1024 * 1024) > 0
                         : file.resize(content.size() / 2));
            file.close();
            QByteArray received;
            QTRY_VERIFY_WITH_TIMEOUT(
                [&] {
                    received += reader.readAll();
                    return grow ? received.endsWith(KeepOpenAnswer("keep"))
                                : reader.state() != QAbstractSocket::ConnectedState;
                }(),
                60000);
            const qsizetype headerSize = received.indexOf("\r\n\r\n") + 4;
            if (grow) {
                QCOMPARE(received.size() - headerSize - KeepOpenAnswer("keep").size(),
                         content.size());
                QVERIFY(WriteFile(h.site.file, content));
            } else {
                QVERIFY(received.size() - headerSize < content.size());
            }
            QTRY_COMPARE(h.server.ActiveDownloads(), 0);
        }
    }

    void downloadsBeyondTheCapAreRefusedAndSlotsReturn() {
        Harness h;
        h.server.SetMaxDownloads(2);
        QVERIFY(h.open());
        QTemporaryDir dir;
        h.site.file = dir.filePath(QStringLiteral("big.bin"));
        QVERIFY(WriteFile(h.site.file, Pattern(16 * 1024 * 1024)));
        std::vector<std::unique_ptr<LoopbackClient>> readers;
        for (int i = 0; i < 3; ++i) {
            readers.push_back(std::make_unique<LoopbackClient>(h.port()));
            readers.back()->Socket().setReadBufferSize(4096);
            readers.back()->Send(LoopbackClient::Request("/file"));
            QTRY_COMPARE(h.site.roots.size(), i + 1);
        }
        QCOMPARE(h.server.ActiveDownloads(), 2);
        QVERIFY(!h.site.last->DownloadSlotAvailable());
        // The third was refused (the site lets the failure through here).
        QVERIFY(readers[2]->WaitClosed());
        for (auto& reader : readers)
            reader->Socket().abort();
        QTRY_COMPARE(h.server.ActiveDownloads(), 0);
        QTRY_COMPARE(h.server.OpenConnections(), 0);

        // Phones that go away in the middle of their downloads, unread bytes
        // waiting, end only their own download (sendfile to a closed
        // connection raises SIGPIPE unless it is ignored).
        h.server.SetMaxDownloads(100);
        readers.clear();
        for (int i = 0; i < 40; ++i) {
            readers.push_back(std::make_unique<LoopbackClient>(h.port()));
            readers.back()->Socket().setReadBufferSize(4096);
            readers.back()->Send(LoopbackClient::Request("/file"));
        }
        QTRY_COMPARE(h.site.roots.size(), 43);
        for (auto& reader : readers)
            QVERIFY(reader->WaitForBytes(1));
        readers.clear();
        QTRY_COMPARE(h.server.ActiveDownloads(), 0);
        LoopbackClient after(h.port());
        after.Send(LoopbackClient::Request("/deck"));
        QVERIFY(after.WaitClosed());
        QVERIFY(after.Received().endsWith(DeckTail));
    }

    void stopFromWithinARequestEndsEveryConnection() {
        Harness h;
        QVERIFY(h.open());
        LoopbackClient waiting(h.port());
        QTRY_COMPARE(h.server.OpenConnections(), 1);
        LoopbackClient stopper(h.port());
        stopper.Send(LoopbackClient::Request("/stop") + LoopbackClient::Request("/deck"));
        QVERIFY(stopper.WaitClosed() && waiting.WaitClosed());
        QVERIFY(!h.server.IsRunning());
        QCOMPARE(h.site.roots, QList<QByteArray>{"/stop"});
        QCOMPARE(h.server.OpenConnections(), 0);
        QVERIFY_THROWS_EXCEPTION(PocketlaneError, h.site.last->SendResponse("late", HttpOk));
    }

    // The site's answers close their connection once written, so the socket
    // is still closing while the answer leaves.
    void deliveryIsReportedAfterTheAnswerLeft() {
        Harness h;
        QVERIFY(h.open());
        LoopbackClient client(h.port());
        client.Socket().setReadBufferSize(64 * 1024);
        client.Send(LoopbackClient::Request("/keep?n=" + QByteArray(4000, 'x')));
        QTRY_VERIFY(h.site.last);
        const QByteArray large(16 * 1024 * 1024, 'w');
        int delivered = 0;
        h.site.last->SendResponse(large, HttpOk);
        h.site.last->WhenAnswerDelivered([&] { ++delivered; }, 30000);
        QCOMPARE(delivered, 0);
        client.Socket().setReadBufferSize(0);
        QVERIFY(client.WaitClosed(60000));
        QTRY_COMPARE(delivered, 1);
        QVERIFY(client.Received().endsWith(large + "\r\n0\r\n\r\n"));

        // Without anything left to send, after the current event.
        h.site.last->WhenAnswerDelivered([&] { ++delivered; }, 30000);
        QCOMPARE(delivered, 1);
        QTRY_COMPARE(delivered, 2);
        QTest::qWait(20);
        QCOMPARE(delivered, 2);
    }

    void takenPortIsReportedWithoutFurtherLines() {
        Harness first;
        QVERIFY(first.open());
        StatusLog log;
        log.setExtendedLoggingSwitch([] { return true; });
        WapServer second(log, first.port());
        QCOMPARE(second.OpenListener(), WapServer::ListenResult::PortInUse);
        QCOMPARE(second.ListenFailureMessage(),
                 QStringLiteral("The port ") + QString::number(first.port()) +
                     QStringLiteral(" is already in use on this machine."));
        QVERIFY(!second.IsRunning());
        QCOMPARE(log.rowCount(), 1);
        QVERIFY(log.lines().last().message.startsWith(QStringLiteral("Creating listener socket")));
    }

    void detailLinesOnlyWhileExtendedLoggingIsOn() {
        Harness h;
        QVERIFY(h.open());
        LoopbackClient quiet(h.port());
        quiet.Send(LoopbackClient::Request("/deck"));
        QVERIFY(quiet.WaitClosed());
        QCOMPARE(h.loggedCount(LogDetail), 0);

        h.extendedLogging = true;
        LoopbackClient traced(h.port());
        traced.Send(LoopbackClient::Request("/deck"));
        QVERIFY(traced.WaitClosed());
        QStringList messages;
        for (const StatusLog::Line& line : h.log.lines())
            messages.append(line.message);
        QCOMPARE(messages.mid(0, 2),
                 QStringList({QStringLiteral("Incoming connection request on Socket"),
                              QStringLiteral("Incoming data on Socket")}));
        h.server.LogListening();
        QCOMPARE(h.log.lines().last().message,
                 QStringLiteral("Socket open and listening on port ") + QString::number(h.port()));
    }

    void connectionBeyondTheElementLimitIsRefusedAndLogged() {
        Harness h;
        h.server.SetMaxConnectionElements(2);
        QVERIFY(h.open());
        LoopbackClient first(h.port());
        LoopbackClient second(h.port());
        QTRY_COMPARE(h.server.OpenConnections(), 2);
        LoopbackClient third(h.port());
        QVERIFY(third.WaitClosed());
        QVERIFY(
            h.logged(QStringLiteral("Socket: 0  Reported Error:No connection element is free")));
        second.Socket().close();
        QTRY_COMPARE(h.server.OpenConnections(), 1);
        LoopbackClient fourth(h.port());
        fourth.Send(LoopbackClient::Request("/deck"));
        QVERIFY(fourth.WaitClosed());
        QCOMPARE(h.site.elements, QList<int>{2});
    }

    void lackOfDescriptorsPausesAcceptingWithoutStoppingService() {
        Harness h;
        QVERIFY(h.open());
        LoopbackClient existing(h.port());
        QTRY_COMPARE(h.server.OpenConnections(), 1);
        std::unique_ptr<LoopbackClient> waiting;
        {
            waiting = std::make_unique<LoopbackClient>(h.port());
            DescriptorShortage shortage;
            QVERIFY(waiting->WaitConnected());
            QTRY_VERIFY(h.logged(QStringLiteral("Socket: 0  Reported Error:")));
            existing.Send(LoopbackClient::Request("/deck"));
            QVERIFY(existing.WaitClosed());
            QVERIFY(existing.Received().endsWith(DeckTail));
            QTest::qWait(1000);
            // One line per retry, not a busy loop.
            QVERIFY2(h.loggedCount(LogError) < 20,
                     qPrintable(QString::number(h.loggedCount(LogError))));
        }
        waiting->Send(LoopbackClient::Request("/deck"));
        QVERIFY(waiting->WaitClosed());
        QVERIFY(waiting->Received().endsWith(DeckTail));
    }
};

QTEST_GUILESS_MAIN(TestWapServer)
#include "tst_wapserver.moc"
