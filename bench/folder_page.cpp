// Times building a folder page of a folder with 100,000 empty files (page 1
// and a middle page) through the site, next to a plain readdir scan and a
// QDir listing of the same folder, and prints the ratios.
// Build in Release and run: build-bench/bench/bench_folder_page
#include "base/PocketlaneError.h"
#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/SharedFolderList.h"
#include "site/LinkTables.h"
#include "site/ShareAccess.h"
#include "site/SitePages.h"
#include "site/sharedfolders/SharedFoldersModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int FileCount = 100000;
constexpr int Rounds = 7;

// The median time of one call over several rounds, in milliseconds.
double MedianMilliseconds(const std::function<void()>& call) {
    std::vector<double> times;
    for (int round = 0; round < Rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        call();
        const std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - start;
        times.push_back(elapsed.count());
    }
    std::nth_element(times.begin(), times.begin() + Rounds / 2, times.end());
    return times[Rounds / 2];
}

qint64 g_sink = 0; // keeps the optimiser from dropping the measured work

void ReaddirScan(const QByteArray& folder) {
    DIR* dir = ::opendir(folder.constData());
    while (const dirent* entry = ::readdir(dir))
        g_sink += entry->d_name[0];
    ::closedir(dir);
}

bool CreateEmptyFiles(const QByteArray& folder) {
    for (int i = 0; i < FileCount; ++i) {
        const QByteArray path = folder + "/Ring tone " + QByteArray::number(100000 + i) + ".mid";
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || ::close(fd) != 0)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const QByteArray folder = temp.filePath(QStringLiteral("Tones")).toUtf8();
    if (!QDir().mkpath(QString::fromUtf8(folder)) || !CreateEmptyFiles(folder)) {
        std::fprintf(stderr, "cannot create the test folder\n");
        return 1;
    }

    StatusLog log;
    RegistryStore store(temp.filePath(QStringLiteral("settings.reg")));
    store.load(&log);
    Settings settings(store, log);
    settings.LoadSettings();
    SharedFolderList folders(store, log);
    folders.addFolder(folder, [] { return true; });
    SiteLinks links([] { return false; });
    SitePages pages(log, settings, links);
    ShareAccess shares(folders);
    SharedFoldersModule sharedFolders(pages, shares);

    // The page is built and rendered in full; only sending it fails, as the
    // request has no connection.
    const auto buildPage = [&](qint16 page) {
        CPacket packet;
        const qint64 link = links.AddLinkState({}, folder + '/', {}, page, "F", {}, {}, {});
        try {
            sharedFolders.SendFolderPage(packet, {}, folder + '/', page, link);
        } catch (const PocketlaneError&) {
        }
    };
    const qint16 middlePage = FileCount / 15 / 2;
    const double readdirScan = MedianMilliseconds([&] { ReaddirScan(folder); });
    const double qdirScan = MedianMilliseconds([&] {
        g_sink += QDir(QString::fromUtf8(folder))
                      .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                      .size();
    });
    const double firstPage = MedianMilliseconds([&] { buildPage(1); });
    const double middle = MedianMilliseconds([&] { buildPage(middlePage); });

    std::printf("folder of %d empty files, median of %d rounds\n", FileCount, Rounds);
    std::printf("readdir scan            %8.2f ms\n", readdirScan);
    std::printf("QDir entryList          %8.2f ms\n", qdirScan);
    std::printf("folder page 1           %8.2f ms  %.2fx readdir  %.2fx QDir\n", firstPage,
                firstPage / readdirScan, firstPage / qdirScan);
    std::printf("folder page %-5d       %8.2f ms  %.2fx readdir  %.2fx QDir\n", int(middlePage),
                middle, middle / readdirScan, middle / qdirScan);
    return g_sink == 0 ? 2 : 0;
}
