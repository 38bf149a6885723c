// Times the main menu's answer on loopback while nothing else happens, and
// while 20 phones that take only WBMP download 4000x3000 JPEG photos that
// are converted for them (20 files, so that no conversion is shared), and
// prints both side by side. The goal: the menu within 5 ms meanwhile.
// Build in Release and run: build-bench/bench/bench_picture_conversions
#include "LoopbackTiming.h"
#include "base/StatusLog.h"
#include "http/WapServer.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/SharedFolderList.h"
#include "site/FileSender.h"
#include "site/LinkTables.h"
#include "site/PictureAdapter.h"
#include "site/ShareAccess.h"
#include "site/Site.h"
#include "site/SitePages.h"
#include "site/sharedfolders/SharedFoldersModule.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
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

QByteArray PhotoJpeg() {
    QImage image(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = qRgb(x % 256, y % 256, (x * y) % 256);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "jpeg", 85);
    return bytes;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const QByteArray folder = temp.filePath(QStringLiteral("Camera")).toUtf8();
    const QByteArray photo = PhotoJpeg();
    std::vector<QByteArray> photoPaths;
    QDir().mkpath(QString::fromUtf8(folder));
    for (int i = 0; i < Photos; ++i) {
        photoPaths.push_back(folder + "/Photo " + QByteArray::number(i) + ".jpg");
        QFile file(QString::fromUtf8(photoPaths.back()));
        if (!file.open(QIODevice::WriteOnly) || file.write(photo) != photo.size()) {
            std::fprintf(stderr, "cannot write the photos\n");
            return 1;
        }
    }

    StatusLog log;
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
    SitePages pages(log, settings, links);
    ShareAccess shares(folders);
    PictureAdapter pictures;
    FileSender files(pages, shares, pictures);
    SharedFoldersModule sharedFolders(pages, shares, pictures);
    Site site(server, pages, files);
    pages.AddModule(sharedFolders);
    server.SetRequestHandler(&site);
    if (server.OpenListener() != WapServer::ListenResult::Listening) {
        std::fprintf(stderr, "cannot listen on loopback\n");
        return 1;
    }
    const quint16 port = server.Port();
    std::vector<QByteArray> photoLinks;
    for (const QByteArray& path : photoPaths)
        photoLinks.push_back(links.RegisterFileLink(path));

    const QByteArray menu = Request("/", "text/vnd.wap.wml");
    Figures idle;
    Figures busy;
    double conversionsMs = 0;
    int failed = 0;
    std::thread phones([&] {
        std::vector<double> times;
        for (int round = 0; round < IdleRounds; ++round)
            times.push_back(AskMilliseconds(port, menu));
        idle = Summary(times);
        times.clear();

        std::atomic<int> converting = Photos;
        std::atomic<int> failures = 0;
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> downloads;
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
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    app.exec();
    phones.join();

    std::printf("main menu answer on loopback, milliseconds (goal while converting: within 5)\n");
    std::printf("                       requests   median      p95      max\n");
    std::printf("idle                   %8zu %8.2f %8.2f %8.2f\n", idle.count, idle.median,
                idle.p95, idle.max);
    std::printf("20 conversions running %8zu %8.2f %8.2f %8.2f   %.2fx idle median\n", busy.count,
                busy.median, busy.p95, busy.max, busy.median / idle.median);
    std::printf("20 photos of 4000x3000 converted to WBMP in %.0f ms; failed requests: %d\n",
                conversionsMs, failed);
    return failed == 0 ? 0 : 1;
}
