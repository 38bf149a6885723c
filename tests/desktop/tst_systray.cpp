// The notification-area icon against a real notification area: an X server
// (Xvfb) of the test's own with Debian's trayer as the system tray.
#include "DesktopHarness.h"

#include "XSession.h"
#include "desktop/frmSysTray.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTreeWidget>

namespace {

XSession* Session = nullptr;

bool WaitForIcons(int expected) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        if (Session->TrayIconCount() == expected)
            return true;
        QThread::msleep(50);
    }
    qWarning() << "tray icons:" << Session->TrayIconCount() << "expected" << expected;
    return false;
}

void ClickMinimize(frmMain& window) {
    QTreeWidget* tree = window.Menu();
    const auto items = tree->findItems(QStringLiteral("Minimize"), Qt::MatchExactly);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(items.first()).center());
}

// The menu's item with that text, as the owner sees it.
QAction* MenuAction(frmSysTray& tray, const QString& text) {
    const QList<QAction*> actions = tray.Menu()->actions();
    for (QAction* action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

class SysTrayTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void minimizeShowsOneIconWhileHidden();
    void rightClickShowsTheMenu();
    void closeFromTheMenuAsksFirst();
    void iconGoesWhenTheProgramEnds();
    void secondStartShowsTheWindowFromTheTray();
    void componentMenuAndProperties();
    void withoutATrayMinimizeMinimizes();
};

void SysTrayTest::initTestCase() {
    QVERIFY(Session->startTray());
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    QCOMPARE(Session->TrayIconCount(), 0);
}

void SysTrayTest::minimizeShowsOneIconWhileHidden() {
    DesktopHarness h;
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    for (int round = 0; round < 2; ++round) {
        ClickMinimize(*h.window);
        QVERIFY(!h.window->isVisible());
        QVERIFY(h.window->SystemTray());
        QVERIFY(WaitForIcons(1));
        QCOMPARE(h.window->SystemTray()->ToolTip(), QStringLiteral("Pocketlane"));
        if (round == 0) {
            h.window->SystemTray()->ShowMenu();
            MenuAction(*h.window->SystemTray(), QStringLiteral("&Show Pocketlane"))->trigger();
        } else {
            Q_EMIT h.window->SystemTray()->Icon().activated(QSystemTrayIcon::DoubleClick);
        }
        QVERIFY(h.window->isVisible());
        QVERIFY(!h.window->SystemTray());
        QVERIFY(WaitForIcons(0));
        QCOMPARE(h.window->VisiblePanel(), h.window->PanelFor(QStringLiteral("About")));
    }
}

void SysTrayTest::rightClickShowsTheMenu() {
    DesktopHarness h;
    h.window->show();
    ClickMinimize(*h.window);
    frmSysTray* tray = h.window->SystemTray();
    QVERIFY(tray);
    Q_EMIT tray->Icon().activated(QSystemTrayIcon::Trigger);
    QVERIFY(!tray->Menu());
    Q_EMIT tray->Icon().activated(QSystemTrayIcon::Context);
    QVERIFY(tray->Menu());
    QTRY_VERIFY(tray->Menu()->isVisible());
    const QList<QAction*> actions = tray->Menu()->actions();
    QCOMPARE(actions.size(), 3);
    QCOMPARE(actions.at(0)->text(), QStringLiteral("&Show Pocketlane"));
    QVERIFY(actions.at(0)->font().bold());
    QCOMPARE(tray->Menu()->defaultAction(), actions.at(0));
    QVERIFY(actions.at(1)->isSeparator());
    QCOMPARE(actions.at(2)->text(), QStringLiteral("&Close"));
    QVERIFY(!actions.at(2)->font().bold());
    tray->Menu()->hide();
}

void SysTrayTest::closeFromTheMenuAsksFirst() {
    DesktopHarness h;
    h.window->show();
    QSignalSpy closed(h.window.get(), &frmMain::Closed);
    ClickMinimize(*h.window);
    QVERIFY(WaitForIcons(1));
    h.dialogs.answers << QMessageBox::No;
    h.window->SystemTray()->ShowMenu();
    MenuAction(*h.window->SystemTray(), QStringLiteral("&Close"))->trigger();
    QCOMPARE(h.dialogs.asked.size(), 1);
    QCOMPARE(h.dialogs.asked.first().text,
             QStringLiteral("Are you sure you want to close Pocketlane?"));
    QCOMPARE(closed.size(), 0);
    QVERIFY(h.window->SystemTray());
    QVERIFY(h.site.server.IsRunning());
    QCOMPARE(Session->TrayIconCount(), 1);

    h.dialogs.answers << QMessageBox::Yes;
    h.window->SystemTray()->ShowMenu();
    MenuAction(*h.window->SystemTray(), QStringLiteral("&Close"))->trigger();
    QCOMPARE(closed.size(), 1);
    QVERIFY(WaitForIcons(0));
}

void SysTrayTest::iconGoesWhenTheProgramEnds() {
    auto h = std::make_unique<DesktopHarness>();
    h->window->show();
    ClickMinimize(*h->window);
    QVERIFY(WaitForIcons(1));
    h->window.reset();
    QVERIFY(WaitForIcons(0));
}

// A second start of the program rings the running one, which shows its
// window again.
void SysTrayTest::secondStartShowsTheWindowFromTheTray() {
    DesktopHarness h;
    h.window->show();
    ClickMinimize(*h.window);
    QVERIFY(WaitForIcons(1));
    h.window->Raise();
    QVERIFY(h.window->isVisible());
    QVERIFY(!h.window->SystemTray());
    QVERIFY(WaitForIcons(0));
    QCOMPARE(h.window->VisiblePanel(), h.window->PanelFor(QStringLiteral("About")));
}

void SysTrayTest::componentMenuAndProperties() {
    frmSysTray tray;
    QVERIFY(WaitForIcons(1));
    QCOMPARE(tray.AddMenuItem(QStringLiteral("&Show Pocketlane"), QStringLiteral("Show"), true), 0);
    QCOMPARE(tray.AddMenuItem(QStringLiteral("-")), 1);
    QCOMPARE(tray.AddMenuItem(QStringLiteral("&Close"), QStringLiteral("Close")), 2);
    QCOMPARE(tray.DefaultMenuIndex(), 0);
    tray.setDefaultMenuIndex(2);
    QCOMPARE(tray.DefaultMenuIndex(), 2);
    tray.setDefaultMenuIndex(7);
    QCOMPARE(tray.DefaultMenuIndex(), 0);
    tray.EnableMenuItem(2, false);
    tray.EnableMenuItem(5, true); // outside the menu: nothing
    QVERIFY(!tray.IsMenuItemEnabled(2));
    QCOMPARE(tray.RemoveMenuItem(1), 0);
    QCOMPARE(tray.MenuItemCount(), 2);
    QCOMPARE(tray.MenuCaption(1), QStringLiteral("&Close"));
    QCOMPARE(tray.MenuKey(1), QStringLiteral("Close"));
    QCOMPARE(tray.MenuKey(0), QStringLiteral("Show"));
    tray.RemoveMenuItem(9);
    QCOMPARE(tray.MenuItemCount(), 2);
    tray.RemoveMenuItem(0);
    QCOMPARE(tray.MenuItemCount(), 2);
    QVERIFY(tray.MenuCaption(0).isEmpty());

    QSignalSpy clicks(&tray, &frmSysTray::MenuClick);
    tray.ShowMenu();
    MenuAction(tray, QStringLiteral("&Close"))->trigger();
    QCOMPARE(clicks.size(), 1);
    QCOMPARE(clicks.first().at(0).toInt(), 1);
    QCOMPARE(clicks.first().at(1).toString(), QStringLiteral("Close"));
    tray.Menu()->hide();

    const QString longText(200, u'x');
    tray.setToolTip(longText);
    QCOMPARE(tray.ToolTip().size(), tray.ToolTipCapacity());
    QCOMPARE(tray.ToolTipCapacity(), tray.HasBalloonSupport() ? 127 : 63);
    QSignalSpy balloon(&tray, &frmSysTray::BalloonShow);
    tray.ShowBalloonTip(QStringLiteral("message"), QStringLiteral("title"), 1, 1000);
    QCOMPARE(balloon.size(), tray.HasBalloonSupport() ? 1 : 0);

    QSignalSpy down(&tray, &frmSysTray::SysTrayMouseDown);
    QSignalSpy doubleClick(&tray, &frmSysTray::SysTrayDoubleClick);
    Q_EMIT tray.Icon().activated(QSystemTrayIcon::Trigger);
    Q_EMIT tray.Icon().activated(QSystemTrayIcon::Context);
    Q_EMIT tray.Icon().activated(QSystemTrayIcon::DoubleClick);
    QCOMPARE(down.size(), 2);
    QCOMPARE(down.at(0).at(0).toInt(), int(frmSysTray::LeftButton));
    QCOMPARE(down.at(1).at(0).toInt(), int(frmSysTray::RightButton));
    QCOMPARE(doubleClick.size(), 1);
    if (tray.Menu())
        tray.Menu()->hide();
}

void SysTrayTest::withoutATrayMinimizeMinimizes() {
    Session->stopTray();
    QTRY_VERIFY_WITH_TIMEOUT(!QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    DesktopHarness h;
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    ClickMinimize(*h.window);
    QVERIFY(!h.window->SystemTray());
    QVERIFY(h.window->isVisible());
    QTRY_VERIFY(h.window->isMinimized());
}

int main(int argc, char* argv[]) {
    XSession session;
    if (!session.start()) {
        std::fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    Session = &session;
    qputenv("DISPLAY", session.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    // No desktop bus: the icon goes through the X11 tray protocol to trayer.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QApplication app(argc, argv);
    SysTrayTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_systray.moc"
