// Renders the owner's window once per panel into PNG files (the README's
// screenshots), over a running site with a few shared folders, Graffiti and
// log lines. Run it under an X server: scripts/screenshots.sh.
#include "DesktopHarness.h"

#include <QApplication>
#include <QDir>
#include <QTreeWidget>

#include <cstdio>

namespace {

void FillWithExamples(DesktopHarness& h) {
    for (const char* folder :
         {"/home/owner/Music", "/home/owner/Pictures/Holidays", "/home/owner/Ring tones"})
        h.site.folders.addFolder(folder, [] { return true; });
    h.site.settings.setSwitch(Settings::EnableSharedFolders, true);
    h.site.settings.setSwitch(Settings::WelcomeMessage, true);
    h.site.settings.setSwitch(Settings::ShowWelcomeGraphic, true);
    h.site.settings.setSwitch(Settings::GraffitiShowTime, true);
    for (const char* message : {"Hello from the bus!", "Nice ring tones", "Back at 8"})
        h.site.board.AddGraffiti(message);
    h.site.deck("/");
    h.window->SetLocalIP(QStringLiteral("192.168.1.20"));
}

QString FileNameFor(const QString& entry) {
    return entry.toLower().replace(u' ', u'-') + QStringLiteral(".png");
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(output);
    DesktopHarness h;
    FillWithExamples(h);
    h.window->show();
    for (const QString& entry : frmMain::MenuEntries()) {
        if (entry == QStringLiteral("Minimize"))
            continue;
        h.window->SelectEntry(entry);
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents();
        const QString file = QDir(output).filePath(FileNameFor(entry));
        if (!h.window->grab().save(file)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
    }
    return 0;
}
