// Times the main menu's answer on loopback while nothing else happens, and
// while 20 phones that take only WBMP download 4000x3000 JPEG photos that
// are converted for them (20 files, so that no conversion is shared), and
// prints both side by side. The goal: the menu within 5 ms meanwhile.
// Then 64 phones that name a 4096x4096 screen and take only PNG ask for one
// grainy 2828x2828 photo and never read their answers: the process's memory before,
// at its peak until all 64 are answered, and after they leave, and the
// menu's answer meanwhile. The goal: within 64 MiB of the start throughout.
// Build in Release and run: build-bench/bench/bench_picture_conversions
#include "LoopbackTiming.h"
#include "base/StatusLog.h"
#include "http/WapServer.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/SharedFolderList.h"
#include "site/PictureAdapter.h"
#include "site/ShareAccess.h"
#include "site/Site.h"
#include "site/SiteContext.h"
#include "site/SiteLinks.h"
#include "site/sharedfolders/SharedFoldersModule.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int Photos = 20;
constexpr int IdleRounds = 50;
constexpr int SilentPhones = 64;
constexpr int HugeSide = 2828;

// A photo; with grain, as from a small camera sensor, it hardly compresses.
QByteArray PhotoJpeg(int width = 4000, int height = 3000, bool grain = false) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator noise(1);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = grain ? noise.generate() : qRgb(x % 256, y % 256, (x * y) % 256);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "jpeg", 85);
    return bytes;
}

// Sends the request and never reads the answer; -1 on failure.
int SilentRequest(quint16 port, const QByteArray& request) {
    return SendOnLoopback(port, request, 4096);
}

double ResidentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

struct HeldAnswers {
    double startMiB = 0;
    double peakMiB = 0;
    double afterMiB = 0;
    int answered = 0;
    double answeredMs = 0;
    Figures menu;
    double readerMs = 0;
    qint64 readerBytes = 0;
};

// The silent phones' attack, seen from an honest phone that keeps asking
// for the menu until every silent request is answered (or a minute passes).
HeldAnswers SilentAttack(quint16 port, const QByteArray& menu, const QByteArray& request,
                         const std::atomic<int>& answered) {
    using Clock = std::chrono::steady_clock;
    HeldAnswers held;
    held.startMiB = held.peakMiB = ResidentMiB();
    const auto start = Clock::now();
    std::vector<int> silent;
    silent.reserve(SilentPhones);
    for (int i = 0; i < SilentPhones; ++i)
        silent.push_back(SilentRequest(port, request));
    std::vector<double> times;
    while (answered < SilentPhones && Clock::now() - start < std::chrono::minutes(1)) {
        times.push_back(AskMilliseconds(port, menu));
        held.peakMiB = std::max(held.peakMiB, ResidentMiB());
    }
    held.answered = answered;
    held.answeredMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    held.menu = Summary(times);
    held.readerMs = AskMilliseconds(port, request, &held.readerBytes);
    held.peakMiB = std::max(held.peakMiB, ResidentMiB());
    for (const int fd : silent) {
        if (fd >= 0)
            ::close(fd);
    }
    // The server sees them leave on its next turns.
    for (int i = 0; i < 20; ++i)
        AskMilliseconds(port, menu);
    held.afterMiB = ResidentMiB();
    return held;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const QByteArray folder = temp.filePath(QStringLiteral("Camera")).toUtf8();
    const QByteArray photo = PhotoJpeg();
    std::vector<QByteArray> photoPaths;
    QDir().mkpath(QString::fromUtf8(folder));
    const QByteArray hugePath = folder + "/Huge.jpg";
    QFile huge(QString::fromUtf8(hugePath));
    const QByteArray hugePhoto = PhotoJpeg(HugeSide, HugeSide, true);
    if (!huge.open(QIODevice::WriteOnly) || huge.write(hugePhoto) != hugePhoto.size()) {
        std::fprintf(stderr, "cannot write the photos\n");
        return 1;
    }
    huge.close();
    for (int i = 0; i < Photos; ++i) {
        photoPaths.push_back(folder + "/Photo " + QByteArray::number(i) + ".jpg");
        QFile file(QString::fromUtf8(photoPaths.back()));
        if (!file.open(QIODevice::WriteOnly) || file.write(photo) != photo.size()) {
            std::fprintf(stderr, "cannot write the photos\n");
            return 1;
        }
    }

    StatusLog log;
    log.setExtendedLoggingSwitch([] { return true; });
    std::atomic<int> hugeAnswered = 0;
    QObject::connect(&log, &StatusLog::lineAdded, [&](const StatusLog::Line& line) {
        if (line.message == QStringLiteral("Sending file: ") + QString::fromUtf8(hugePath))
            ++hugeAnswered;
    });
    RegistryStore store(temp.filePath(QStringLiteral("settings.reg")));
    store.load(&log);
    Settings settings(store, log);
    settings.LoadSettings();
    for (const auto option :
         {Settings::ShowWelcomeGraphic, Settings::WelcomeMessage, Settings::EnablePassword})
        settings.setSwitch(option, false);
    settings.setSwitch(Settings::EnableSharedFolders, true);
    SharedFolderList folders(store, log);
    folders.addFolder(folder, [] { return true; });
    SiteLinks links([] { return false; });
    WapServer server(log, 0);
    GuessThrottle guesses(log);
    SiteContext context(log, settings, links, guesses);
    ShareAccess shares(folders);
    PictureAdapter pictures(log);
    Site site(server, context, shares, pictures);
    SharedFoldersModule sharedFolders(context, shares, pictures);
    site.AddModule(sharedFolders);
    server.SetRequestHandler(&site);
    if (server.OpenListener() != WapServer::ListenResult::Listening) {
        std::fprintf(stderr, "cannot listen on loopback\n");
        return 1;
    }
    const quint16 port = server.Port();
    std::vector<QByteArray> photoLinks;
    photoLinks.reserve(photoPaths.size());
    for (const QByteArray& path : photoPaths)
        photoLinks.push_back(links.RegisterFileLink(path));
    const QByteArray hugeRequest =
        Request(links.RegisterFileLink(hugePath), "image/png", "UA-Pixels: 4096x4096\r\n");

    const QByteArray menu = Request("/", "text/vnd.wap.wml");
    Figures idle;
    Figures busy;
    HeldAnswers held;
    double conversionsMs = 0;
    int failed = 0;
    std::thread phones([&] {
        std::vector<double> times;
        times.reserve(IdleRounds);
        for (int round = 0; round < IdleRounds; ++round)
            times.push_back(AskMilliseconds(port, menu));
        idle = Summary(times);
        times.clear();

        std::atomic<int> converting = Photos;
        std::atomic<int> failures = 0;
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> downloads;
        downloads.reserve(photoLinks.size());
        for (const QByteArray& link : photoLinks) {
            downloads.emplace_back([&, link] {
                if (AskMilliseconds(port, Request(link, "image/vnd.wap.wbmp")) < 0)
                    ++failures;
                --converting;
            });
        }
        while (converting > 0)
            times.push_back(AskMilliseconds(port, menu));
        for (std::thread& download : downloads)
            download.join();
        conversionsMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        busy = Summary(times);
        failed = failures + int(std::count(times.begin(), times.end(), -1.0));
        held = SilentAttack(port, menu, hugeRequest, hugeAnswered);
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    phones.join();

    std::printf("main menu answer on loopback, milliseconds (goal while converting: within 5)\n");
    std::printf("                       requests   median      p95      max\n");
    std::printf("idle                   %8zu %8.2f %8.2f %8.2f\n", idle.count, idle.median,
                idle.p95, idle.max);
    std::printf("20 conversions running %8zu %8.2f %8.2f %8.2f   %.2fx idle median\n", busy.count,
                busy.median, busy.p95, busy.max, busy.median / idle.median);
    std::printf("20 photos of 4000x3000 converted to WBMP in %.0f ms; failed requests: %d\n",
                conversionsMs, failed);
    std::printf("\n%d phones naming a 4096x4096 screen ask for one %dx%d photo as PNG and never "
                "read (goal: memory within 64 MiB of the start)\n",
                SilentPhones, HugeSide, HugeSide);
    std::printf("memory MiB: start %.1f   peak until answered %.1f (+%.1f)   after they left "
                "%.1f (+%.1f)\n",
                held.startMiB, held.peakMiB, held.peakMiB - held.startMiB, held.afterMiB,
                held.afterMiB - held.startMiB);
    std::printf("all %d answered after %.0f ms; %s\n", held.answered, held.answeredMs,
                held.answered == SilentPhones ? "" : "NOT ALL ANSWERED");
    std::printf("main menu meanwhile   %8zu %8.2f %8.2f %8.2f   %.2fx idle median\n",
                held.menu.count, held.menu.median, held.menu.p95, held.menu.max,
                held.menu.median / idle.median);
    std::printf("one more phone reading the same picture: %.0f ms, %lld bytes\n", held.readerMs,
                static_cast<long long>(held.readerBytes));
    return failed == 0 && held.answered == SilentPhones ? 0 : 1;
}
