// The notification-area icon against a real notification area: an X server
// (Xvfb) of the test's own with Debian's trayer as the system tray.
#include "DesktopHarness.h"

#include "XSession.h"
#include "desktop/frmSysTray.h"

// Picks an item of the icon's menu, through the component's own menu.
static void Pick(frmSysTray& tray, int index) {
    tray.ShowMenu();
    tray.Menu()->actions().at(index)->trigger();
}

class SysTrayTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void minimizeToTrayAndBack();
    void withoutATrayMinimizeMinimizes();
};

void SysTrayTest::initTestCase() {
    QVERIFY(Session->startTray());
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
}

// One icon while hidden. Back from the tray by the menu's Show, a double click
// and a second start of the program, on About each time. Only the right
// button opens the menu; a menu click gives the item's index and key, and
// Close asks first.
void SysTrayTest::minimizeToTrayAndBack() {
    DesktopHarness h;
    QSignalSpy closed(h.window.get(), &frmMain::Closed);
    for (int round = 0; round < 4; ++round) {
        h.clickEntry(u"Graffiti"_s);
        h.clickEntry(u"Minimize"_s);
        QVERIFY(!h.window->isVisible() && h.window->SystemTray());
        QTRY_COMPARE_WITH_TIMEOUT(XSession::TrayIconCount(), 1, 10000);
        frmSysTray& tray = *h.window->SystemTray();
        QCOMPARE(tray.ToolTip(), u"Pocketlane"_s);
        if (round == 0)
            Pick(tray, 0);
        else if (round == 1)
            Q_EMIT tray.Icon().activated(QSystemTrayIcon::DoubleClick);
        else if (round == 2)
            h.window->Raise();
        else
            break;
        QVERIFY(h.window->isVisible() && !h.window->SystemTray());
        QTRY_COMPARE_WITH_TIMEOUT(XSession::TrayIconCount(), 0, 10000);
        QCOMPARE(h.window->VisiblePanel(), h.window->PanelFor(u"About"_s));
    }
    frmSysTray& tray = *h.window->SystemTray();
    Q_EMIT tray.Icon().activated(QSystemTrayIcon::Trigger);
    QVERIFY(!tray.Menu());
    Q_EMIT tray.Icon().activated(QSystemTrayIcon::Context);
    QTRY_VERIFY(tray.Menu()->isVisible());
    QStringList items; // "*" marks the default item, "b" a bold one
    for (const QAction* action : tray.Menu()->actions())
        items << (action->isSeparator() ? u"-"_s : action->text()) +
                     (action == tray.Menu()->defaultAction() ? u"*"_s : QString()) +
                     (action->font().bold() ? u"b"_s : QString());
    QCOMPARE(items, (QStringList{u"&Show Pocketlane*b"_s, u"-"_s, u"&Close"_s}));
    tray.Menu()->hide();

    QSignalSpy clicks(&tray, &frmSysTray::MenuClick);
    h.dialogs.answers << QMessageBox::No << QMessageBox::Yes;
    Pick(tray, 2);
    QCOMPARE(static_cast<const QList<QVariantList>&>(clicks),
             (QList<QVariantList>{{2, u"Close"_s}}));
    QCOMPARE(h.asked(), u"Close Pocketlane|Are you sure you want to close Pocketlane?|Yes|No"_s);
    QVERIFY(closed.isEmpty() && h.site.server.IsRunning());
    QCOMPARE(XSession::TrayIconCount(), 1);
    Pick(*h.window->SystemTray(), 2);
    QCOMPARE(closed.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(XSession::TrayIconCount(), 0, 10000);
}

// Hiding the window would leave the owner no way back: it is minimized
// instead, and the log says why once.
void SysTrayTest::withoutATrayMinimizeMinimizes() {
    Session->stopTray();
    QTRY_VERIFY_WITH_TIMEOUT(!QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    DesktopHarness h;
    for (int round = 0; round < 2; ++round) {
        h.clickEntry(u"Graffiti"_s);
        h.clickEntry(u"Minimize"_s);
        QVERIFY(h.window->isVisible() && !h.window->SystemTray());
        QTRY_VERIFY(h.window->isMinimized());
        QCOMPARE(h.window->VisiblePanel(), h.window->PanelFor(u"About"_s));
        h.window->showNormal();
    }
    QCOMPARE(h.site.temp.lines(LogNotice).count(
                 u"The desktop has no notification area: Pocketlane minimizes its window to the "
                 "task bar instead."_s),
             1);
}

int main(int argc, char* argv[]) {
    return RunOnOwnDisplay<QApplication, SysTrayTest>(argc, argv);
}

#include "tst_systray.moc"
