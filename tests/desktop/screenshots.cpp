// Renders the owner's window once per panel into PNG files (the README's
// screenshots), over a running site with a few shared folders, Graffiti and
// log lines. Run it under an X server: scripts/screenshots.sh. A second
// argument, "dark", renders it under a dark colour scheme and adds "-dark"
// to the names; QT_SCALE_FACTOR=1.5 with the argument "scaled" at 1.5 times.
#include "DesktopHarness.h"
#include "desktop/SiteAddressView.h"

namespace {

// A dark colour scheme as a desktop sets it: the window's colours only,
// links and highlights included.
QPalette DarkScheme() {
    QPalette dark;
    const QColor window(0x2d, 0x2d, 0x2d), text(0xee, 0xee, 0xee), base(0x1f, 0x1f, 0x1f);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::ToolTipBase, base);
    dark.setColor(QPalette::ToolTipText, text);
    dark.setColor(QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x6f, 0xb5));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Link, QColor(0x8a, 0xb4, 0xf8));
    dark.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4a));
    dark.setColor(QPalette::Midlight, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::Mid, QColor(0x25, 0x25, 0x25));
    dark.setColor(QPalette::Dark, QColor(0x1a, 0x1a, 0x1a));
    dark.setColor(QPalette::Shadow, Qt::black);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return dark;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QDir output(argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"."_s);
    const QString variant = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (variant == u"dark"_s) {
        QApplication::setStyle(u"Fusion"_s);
        QApplication::setPalette(DarkScheme());
    }
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
    h.window->SiteAddresses()->SetAddresses(QUrl(u"http://192.168.1.20:8080/"_s),
                                            QUrl(u"http://203.0.113.77/"_s));
    QStringList entries = frmMain::MenuEntries();
    entries.removeOne(u"Minimize"_s);
    const QString suffix = variant.isEmpty() ? QString() : u'-' + variant;
    for (const QString& entry : entries) {
        h.window->SelectEntry(entry);
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents();
        const QString file =
            output.filePath(entry.toLower().replace(u' ', u'-') + suffix + u".png"_s);
        if (!h.window->grab().save(file))
            qFatal("could not write %s", qPrintable(file));
        qInfo().noquote() << file;
    }
    return 0;
}
