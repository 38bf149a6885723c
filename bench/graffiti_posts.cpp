// The cost of a Graffiti post answered on loopback, with KeepGraffiti on
// (each post one transaction in the stored board) and off (memory only),
// side by side; then the main menu's answer while a phone posts without
// pause, beside the menu alone. The goal: the menu's latency unchanged
// while posts are written.
// Build in Release and run: build-bench/bench/bench_graffiti_posts
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
#include "site/graffiti/GraffitiBoard.h"
#include "site/graffiti/GraffitiModule.h"
#include "site/graffiti/GraffitiStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

constexpr int Posts = 2000;
constexpr int MenuRounds = 500;

void PrintRow(const char* name, const Figures& figures, double baseMedian) {
    std::printf("%-26s %8zu %8.3f %8.3f %8.3f   %.2fx\n", name, figures.count, figures.median,
                figures.p95, figures.max, figures.median / baseMedian);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    StatusLog log;
    RegistryStore store(temp.filePath(QStringLiteral("settings.reg")));
    store.load(&log);
    Settings settings(store, log);
    settings.LoadSettings();
    for (const auto option :
         {Settings::ShowWelcomeGraphic, Settings::WelcomeMessage, Settings::EnablePassword})
        settings.setSwitch(option, false);
    settings.setSwitch(Settings::EnableGraffiti, true);
    SharedFolderList folders(store, log);
    SiteLinks links([] { return false; });
    WapServer server(log, 0);
    GuessThrottle guesses(log);
    SiteContext context(log, settings, links, guesses);
    ShareAccess shares(folders);
    PictureAdapter pictures(log);
    GraffitiBoard board(settings);
    GraffitiStore kept(board, settings, log, temp.filePath(QStringLiteral("graffiti.sqlite")));
    kept.Start();
    Site site(server, context, shares, pictures);
    GraffitiModule graffiti(context, board);
    site.AddModule(graffiti);
    server.SetRequestHandler(&site);
    if (server.OpenListener() != WapServer::ListenResult::Listening || !kept.IsKeeping()) {
        std::fprintf(stderr, "cannot listen on loopback or open the stored board\n");
        return 1;
    }
    const quint16 port = server.Port();
    const QByteArray submit = links.MakeLink({}, {}, {}, 1, "G", {}, {}, {}) + "&G=";
    const QByteArray menu = Request("/", "text/vnd.wap.wml");
    const auto post = [&](int i) {
        return AskMilliseconds(port, Request(submit + "Hello%20number%20" + QByteArray::number(i),
                                             "text/vnd.wap.wml"));
    };

    Figures postsOn, postsOff, idleMenu, busyMenu;
    std::thread phones([&] {
        std::vector<double> times;
        times.reserve(Posts);
        for (int i = 0; i < Posts; ++i)
            times.push_back(post(i));
        postsOn = Summary(times);
        QMetaObject::invokeMethod(
            &settings, [&] { settings.setSwitch(Settings::KeepGraffiti, false); },
            Qt::BlockingQueuedConnection);
        times.clear();
        for (int i = 0; i < Posts; ++i)
            times.push_back(post(i));
        postsOff = Summary(times);
        QMetaObject::invokeMethod(
            &settings, [&] { settings.setSwitch(Settings::KeepGraffiti, true); },
            Qt::BlockingQueuedConnection);
        times.clear();
        for (int i = 0; i < MenuRounds; ++i)
            times.push_back(AskMilliseconds(port, menu));
        idleMenu = Summary(times);
        times.clear();
        std::atomic<bool> posting = true;
        std::thread poster([&] {
            for (int i = 0; posting; ++i)
                post(i);
        });
        for (int i = 0; i < MenuRounds; ++i)
            times.push_back(AskMilliseconds(port, menu));
        posting = false;
        poster.join();
        busyMenu = Summary(times);
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    phones.join();

    std::printf("answers on loopback, milliseconds\n");
    std::printf("                           requests   median      p95      max   ratio\n");
    PrintRow("post, KeepGraffiti off", postsOff, postsOff.median);
    PrintRow("post, KeepGraffiti on", postsOn, postsOff.median);
    PrintRow("main menu, idle", idleMenu, idleMenu.median);
    PrintRow("main menu, posts written", busyMenu, idleMenu.median);
    return 0;
}
