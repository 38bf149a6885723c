// Renders the owner's window once per panel into PNG files (the README's
// screenshots), over a running site with a few shared folders, Graffiti and
// log lines. Run it under an X server: scripts/screenshots.sh.
#include "DesktopHarness.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QDir output(argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"."_s);
    output.mkpath(u"."_s);
    DesktopHarness h;
    for (const char* folder :
         {"/home/owner/Music", "/home/owner/Pictures/Holidays", "/home/owner/Ring tones"})
        h.site.folders.addFolder(folder, [] { return true; });
    for (auto option : {Settings::EnableSharedFolders, Settings::WelcomeMessage,
                        Settings::ShowWelcomeGraphic, Settings::GraffitiShowTime})
        h.site.settings.setSwitch(option, true);
    for (const char* message : {"Hello from the bus!", "Nice ring tones", "Back at 8"})
        h.site.board.AddGraffiti(message);
    h.site.deck("/");
    h.window->SetLocalIP(u"192.168.1.20"_s);
    QStringList entries = frmMain::MenuEntries();
    entries.removeOne(u"Minimize"_s);
    for (const QString& entry : entries) {
        h.window->SelectEntry(entry);
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents();
        const QString file = output.filePath(entry.toLower().replace(u' ', u'-') + u".png"_s);
        if (!h.window->grab().save(file))
            qFatal("could not write %s", qPrintable(file));
        qInfo().noquote() << file;
    }
    return 0;
}
