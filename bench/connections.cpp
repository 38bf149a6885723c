// Figures of the server's network front: a burst of phones connecting at
// once, and a large streamed download with the memory it takes.
#include "app/ProcessLimits.h"
#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "http/RequestHandler.h"
#include "http/WapServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr qint64 DownloadSize = 256LL * 1024 * 1024;

class ZeroStream : public ResponseStream {
public:
    QByteArray ReadChunk(qint64 maxBytes) override {
        if (!m_headerSent) {
            m_headerSent = true;
            return "HTTP/1.1 200 OK\r\nContent-length: " + QByteArray::number(DownloadSize) +
                   "\r\n\r\n";
        }
        const qint64 size = std::min(maxBytes, DownloadSize - m_sent);
        m_sent += size;
        return QByteArray(size, '\0');
    }
    bool AtEnd() const override { return m_headerSent && m_sent >= DownloadSize; }

private:
    bool m_headerSent = false;
    qint64 m_sent = 0;
};

class BenchSite : public RequestHandler {
public:
    void HandleRequest(const std::shared_ptr<CPacket>& packet) override {
        if (packet->Root() == "/download")
            packet->SendStream(std::make_unique<ZeroStream>());
        else
            packet->SendResponse(QByteArray(2048, 'w'), HttpOk);
    }
};

long ResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// Milliseconds until `phones` clients connecting at once all have their deck.
double Burst(quint16 port, int phones) {
    QElapsedTimer timer;
    timer.start();
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    int done = 0;
    for (int i = 0; i < phones; ++i) {
        auto client = std::make_unique<QTcpSocket>();
        QTcpSocket* raw = client.get();
        QObject::connect(raw, &QTcpSocket::connected, raw,
                         [raw] { raw->write("GET / HTTP/1.1\r\nHost: b\r\n\r\n"); });
        QObject::connect(raw, &QTcpSocket::disconnected, raw, [&done] { ++done; });
        raw->connectToHost(QHostAddress::LocalHost, port);
        clients.push_back(std::move(client));
    }
    while (done < phones)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return double(timer.nsecsElapsed()) / 1e6;
}

// MiB/s of one streamed download, read as fast as the client can; notes
// the largest resident size seen meanwhile.
double Download(quint16 port, long& largestResidentKiB) {
    QTcpSocket client;
    qint64 received = 0;
    qint64 nextSample = 0;
    QObject::connect(&client, &QTcpSocket::readyRead, &client, [&] {
        received += client.readAll().size();
        if (received >= nextSample) {
            largestResidentKiB = std::max(largestResidentKiB, ResidentKiB());
            nextSample += 8 * 1024 * 1024;
        }
    });
    client.connectToHost(QHostAddress::LocalHost, port);
    client.write("GET /download HTTP/1.1\r\nHost: b\r\n\r\n");
    QElapsedTimer timer;
    timer.start();
    while (received < DownloadSize)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return double(received) / (1024 * 1024) / (double(timer.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    RaiseOpenFileLimit();
    StatusLog log;
    BenchSite site;
    WapServer server(log, 0);
    server.SetRequestHandler(&site);
    if (server.OpenListener() != WapServer::ListenResult::Listening)
        return 1;
    const double fifty = Burst(server.Port(), 50);
    const double fiveHundred = Burst(server.Port(), 500);
    std::printf("burst of 50 phones:  %8.1f ms (%.3f ms per phone)\n", fifty, fifty / 50);
    std::printf("burst of 500 phones: %8.1f ms (%.3f ms per phone, %.2fx the 50-phone cost)\n",
                fiveHundred, fiveHundred / 500, (fiveHundred / 500) / (fifty / 50));
    const long before = ResidentKiB();
    long largest = before;
    const double speed = Download(server.Port(), largest);
    std::printf("streamed download of %lld MiB: %.0f MiB/s, resident memory grew by at most "
                "%ld KiB (%.4f of the download)\n",
                DownloadSize >> 20, speed, largest - before,
                double(largest - before) * 1024 / double(DownloadSize));
    return 0;
}
