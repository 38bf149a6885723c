// Times building a folder page through the site for folders of 100,000 and
// 200,000 empty files: the first page (the folder read and sorted) next to a
// plain readdir scan and a QDir listing of the same folder, with the ratios,
// and the same page and a middle page repeated (the listing kept in memory).
// Build in Release and run: build-bench/bench/bench_folder_page
#include "base/PocketlaneError.h"
#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/SharedFolderList.h"
#include "site/GuessThrottle.h"
#include "site/LinkTables.h"
#include "site/PictureAdapter.h"
#include "site/ShareAccess.h"
#include "site/SiteContext.h"
#include "site/sharedfolders/FolderListings.h"
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
#include <thread>
#include <vector>

namespace {

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

bool CreateEmptyFiles(const QByteArray& folder, int count) {
    if (!QDir().mkpath(QString::fromUtf8(folder)))
        return false;
    for (int i = 0; i < count; ++i) {
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
    const QByteArray base = temp.path().toUtf8();
    const QByteArray folders[] = {base + "/Tones 100000", base + "/Tones 200000"};
    const int counts[] = {100000, 200000};
    for (int i = 0; i < 2; ++i) {
        if (!CreateEmptyFiles(folders[i], counts[i])) {
            std::fprintf(stderr, "cannot create the test folders\n");
            return 1;
        }
    }
    // A listing is kept only for a folder that has not changed for a while.
    std::this_thread::sleep_for(
        std::chrono::nanoseconds(FolderListingCache::StampGranularityNs + 100'000'000));

    StatusLog log;
    RegistryStore store(temp.filePath(QStringLiteral("settings.reg")));
    store.load(&log);
    Settings settings(store, log);
    settings.LoadSettings();
    SharedFolderList shared(store, log);
    for (const QByteArray& folder : folders)
        shared.addFolder(folder, [] { return true; });
    SiteLinks links([] { return false; });
    GuessThrottle guesses(log);
    SiteContext context(log, settings, links, guesses);
    ShareAccess shares(shared);
    PictureAdapter pictures(log);

    // The page is built and rendered in full; only sending it fails, as the
    // request has no connection.
    const auto buildPage = [&](SharedFoldersModule& module, const QByteArray& folder, qint16 page) {
        CPacket packet;
        const qint64 link = links.AddLinkState({}, folder + '/', {}, page, "F", {}, {}, {});
        try {
            module.SendFolderPage(packet, {}, folder + '/', page, link);
        } catch (const PocketlaneError&) {
        }
    };
    std::printf("folder page of a folder of empty files, median of %d rounds\n", Rounds);
    for (int i = 0; i < 2; ++i) {
        const QByteArray& folder = folders[i];
        const double readdirScan = MedianMilliseconds([&] { ReaddirScan(folder); });
        const double qdirScan = MedianMilliseconds([&] {
            g_sink += QDir(QString::fromUtf8(folder))
                          .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                          .size();
        });
        // First: a module that has not listed the folder yet.
        const double first = MedianMilliseconds([&] {
            SharedFoldersModule fresh(context, shares, pictures);
            buildPage(fresh, folder, 1);
        });
        SharedFoldersModule module(context, shares, pictures);
        buildPage(module, folder, 1);
        const double repeated = MedianMilliseconds([&] { buildPage(module, folder, 1); });
        const qint16 middlePage = qint16(std::min(counts[i] / 15 / 2, 32767));
        const double middle = MedianMilliseconds([&] { buildPage(module, folder, middlePage); });

        std::printf("\n%d files\n", counts[i]);
        std::printf("readdir scan            %8.3f ms\n", readdirScan);
        std::printf("QDir entryList          %8.3f ms\n", qdirScan);
        std::printf("first page 1            %8.3f ms  %.2fx readdir  %.2fx QDir\n", first,
                    first / readdirScan, first / qdirScan);
        std::printf("repeated page 1         %8.3f ms  %.4fx readdir\n", repeated,
                    repeated / readdirScan);
        std::printf("repeated page %-5d     %8.3f ms  %.4fx readdir\n", int(middlePage), middle,
                    middle / readdirScan);
    }
    return g_sink == 0 ? 2 : 0;
}
