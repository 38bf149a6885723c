// The owner's window driven as the owner drives it: real widgets on the
// offscreen platform over a real server, site and settings file.
#include "DesktopHarness.h"

#include "base/StatusLog.h"
#include "desktop/InfoPanels.h"
#include "desktop/LinkLabel.h"
#include "desktop/ReachabilityBinding.h"
#include "desktop/SiteAddressView.h"
#include "net/Reachability.h"
#include "settings/SettingsPaths.h"
#include "support/PocketlaneProcess.h"

#include <QTcpServer>

#include <cmath>

enum Written { OnEveryKey, OnFocusLoss, WhenTheWindowEnds, WhenTheProgramEnds };

// A switch: its panel and what it stores; the text field it makes editable,
// what that stores and when.
struct OptionRow {
    const char *entry, *control, *value, *field = "", *text = "";
    Written written = OnEveryKey;
};

Q_DECLARE_METATYPE(OptionRow)

// With nothing selected Remove removes nothing; Remove All asks first and
// "No" keeps the rows; the selected row goes. Both buttons are off once empty.
static void expectRemoval(DesktopHarness& h, const char* list, const char* remove,
                          const char* removeAll, const QString& question) {
    QStringList rows = h.rows(list);
    auto* view = h.find<QAbstractItemView>(list);
    view->clearSelection();
    h.dialogs.answers = {QMessageBox::No, QMessageBox::Yes};
    h.press(remove);
    h.press(removeAll);
    QCOMPARE(h.asked(), question);
    QCOMPARE(h.rows(list), rows);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(1, 0)).center());
    h.press(remove);
    rows.removeAt(1);
    QCOMPARE(h.rows(list), rows);
    h.press(removeAll);
    QVERIFY(h.rows(list).isEmpty() && !h.enabled(remove) && !h.enabled(removeAll));
}

class MainWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyEntryShowsExactlyOnePanel();
    void optionsWriteTheStore_data();
    void optionsWriteTheStore();
    void pickers();
    void graffitiFromPhoneAndOwner();
    void startStopIconAndCloseQuestion();
    void portFieldTakesOnlyAPort();
    void linkLabelsAndStatusLog();
    void statusPanelActions();
    void darkSchemeIsReadable();
    void menuFitsALargerFont();
    void startWithTheDesktop();
};

void MainWindowTest::everyEntryShowsExactlyOnePanel() {
    DesktopHarness h;
    QCOMPARE(h.window->VisiblePanel(), h.window->PanelFor(u"About"_s));
    // Every entry after About, then About again in Minimize's place, so that
    // every click changes the panel.
    QStringList entries = frmMain::MenuEntries().mid(1);
    entries.replace(entries.indexOf(u"Minimize"_s), u"About"_s);
    for (const QString& entry : entries) {
        h.clickEntry(entry);
        const auto panels = h.window->findChildren<QWidget*>(QRegularExpression(u"^pic"_s));
        QCOMPARE(std::count_if(panels.begin(), panels.end(), std::mem_fn(&QWidget::isVisible)), 1);
        QCOMPARE(h.window->VisiblePanel()->objectName(), u"pic"_s + QString(entry).remove(u' '));
    }
}

void MainWindowTest::optionsWriteTheStore_data() {
    QTest::addColumn<OptionRow>("row");
    const OptionRow rows[] = {
        {"Options", "chkWelcomeGraphic", "ShowWelcomeGraphic", "txtWelcomeGraphic",
         "ShowWelcomeGraphicFilename", WhenTheProgramEnds},
        {"Options", "chkWelcomeMessage", "WelcomeMessage", "txtWelcomeMessage",
         "WelcomeMessageText", OnFocusLoss},
        {"Options", "chkEnablePassword", "EnablePassword", "txtPassword", "Password",
         WhenTheWindowEnds},
        {"Options", "chkExtendedLogging", "ExtendedLogging"},
        {"Options", "chkEnableGateway", "EnableGateway"},
        {"Modules", "chkEnableSharedFolders", "EnableSharedFolders"},
        {"Modules", "chkEnableGraffiti", "EnableGraffiti"},
        {"Modules", "chkEnableMyComputer", "EnableMyComputer"},
        {"My Computer", "chkMyComputerEnablePassword", "EnableMyComputerPassword",
         "txtMyComputerPassword", "MyComputerPassword", OnEveryKey},
        {"My Computer", "chkExitOptionForce", "Force"},
        {"My Computer", "chkExitOptionForceIfHung", "ForceIfHung"},
        {"Graffiti", "chkGraffitiIncludeDate", "GraffitiShowDate"},
        {"Graffiti", "chkGraffitiIncludeTime", "GraffitiShowTime"},
        {"Graffiti", "chkKeepGraffiti", "KeepGraffiti"},
    };
    for (const OptionRow& row : rows)
        QTest::newRow(row.control) << row;
}

void MainWindowTest::optionsWriteTheStore() {
    QFETCH(OptionRow, row);
    DesktopHarness h;
    h.clickEntry(QString::fromLatin1(row.entry));
    auto* box = h.find<QCheckBox>(row.control);
    auto* field = *row.field ? h.find<QLineEdit>(row.field) : nullptr;
    const bool before = box->isChecked();
    for (bool on : {!before, before}) {
        h.press(row.control);
        QVERIFY(h.stores(row.value, on ? "Y" : "N"));
        if (field)
            QCOMPARE(field->isReadOnly(), !on);
    }
    // A change made elsewhere (the command line's store, a phone) shows too.
    h.site.settings.setSwitch(*Settings::OptionNamed(row.value), !before);
    QCOMPARE(box->isChecked(), !before);
    if (!field)
        return;
    QCOMPARE(field->echoMode() == QLineEdit::Password, QByteArray(row.text).contains("Password"));
    if (field->echoMode() == QLineEdit::Password) {
        // A password that falls to the guess throttle within a day is named.
        auto* warning = h.find<QLabel>(("lbl" + QByteArray(row.field).mid(3) + "Warning").data());
        for (const auto& [text, weak] : {std::pair{"1234", true}, {"Tr0ub4dor&3", false}}) {
            field->setText(QString::fromLatin1(text));
            QCOMPARE(!warning->isHidden(), box->isChecked() && weak);
        }
    }
    // Written on every key, or once typing is over, but never lost.
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, u"Hello phones"_s);
    QCOMPARE(h.stores(row.text, "Hello phones"), row.written == OnEveryKey);
    if (row.written == OnFocusLoss)
        h.window->Menu()->setFocus();
    else if (row.written == WhenTheWindowEnds)
        h.window->EndWithoutQuestion();
    else if (row.written == WhenTheProgramEnds)
        h.window.reset();
    QVERIFY(h.stores(row.text, "Hello phones"));
    QVERIFY(h.dialogs.asked.isEmpty()); // the window ends without the closing question
}

// The welcome-image picker starts at the current file; cancelled, it changes
// nothing. The folder picker's rules: a folder inside a shared one (whole path
// components) is refused; a parent of shared ones replaces them, after one
// question.
void MainWindowTest::pickers() {
    DesktopHarness h;
    h.clickEntry(u"Options"_s);
    auto* field = h.find<QLineEdit>("txtWelcomeGraphic");
    QVERIFY(!h.enabled("cbBrowseWelcomeGraphic")); // until its switch is on
    h.press("chkWelcomeGraphic");
    const QString before = field->text();
    h.dialogs.picked << QString() << u"/srv/pictures/logo.gif"_s;
    h.press("cbBrowseWelcomeGraphic");
    // The first run's picture is named inside the data folder and found there.
    QCOMPARE(before, u"Pocketlane.wbmp"_s);
    QCOMPARE(h.dialogs.prompts.last(), SettingsPaths::DataFolder() + u'/' + before);
    QCOMPARE(field->text(), before);
    h.press("cbBrowseWelcomeGraphic");
    QCOMPARE(field->text(), u"/srv/pictures/logo.gif"_s);
    QVERIFY(h.stores("ShowWelcomeGraphicFilename", "/srv/pictures/logo.gif"));

    // Picks /srv/<folder> ("" cancels the picker), answers, and gives what was asked.
    const auto pick = [&h](const char* folder, QMessageBox::StandardButton answer) {
        h.dialogs.picked << (*folder ? u"/srv/"_s + QString::fromLatin1(folder) : QString());
        h.dialogs.answers = {answer};
        h.press("btnAddFolder");
        return h.asked();
    };
    h.clickEntry(u"Shared Folders"_s);
    QVERIFY(!h.enabled("btnRemoveFolder") && !h.enabled("btnRemoveAll"));
    // "/" shows every folder: asked first; No shares nothing.
    h.dialogs.picked << u"/"_s;
    h.dialogs.answers = {QMessageBox::No};
    h.press("btnAddFolder");
    const QString asked = h.asked();
    QVERIFY2(asked.startsWith(u"Pocketlane|Sharing / lets visitors browse every folder"_s) &&
                 asked.endsWith(u"\nShare it all the same?|Yes|No"_s),
             qPrintable(asked));
    QVERIFY(h.rows("lbSharedFolders").isEmpty());
    QCOMPARE(pick("Music", QMessageBox::Ok), QString());
    QCOMPARE(h.dialogs.prompts.last(), u"Select a Folder"_s);
    QCOMPARE(pick("Music/Rock", QMessageBox::Ok),
             u"Pocketlane|This folder (or a parent of this folder) is already being shared.\n"
             "Remember that when a folder is shared, all sub folders are automatically shared "
             "too.|Ok"_s);
    for (const char* folder : {"Music2", "", "Films/Rock", "Photos", "Films/Jazz"})
        QCOMPARE(pick(folder, QMessageBox::Ok), QString());
    const QString replace =
        u"Pocketlane|One or more sub folders of the folder you've selected are already being "
        "shared. These will be removed if you continue.\nAre you sure you wish to continue?|Ok|"
        "Cancel"_s;
    QCOMPARE(pick("Films", QMessageBox::Cancel), replace);
    QCOMPARE(h.rows("lbSharedFolders").join(u' '),
             u"/srv/Music /srv/Music2 /srv/Films/Rock /srv/Photos /srv/Films/Jazz"_s);
    // Asked once for both; the parent takes the last one's place.
    QCOMPARE(pick("Films", QMessageBox::Ok), replace);
    QCOMPARE(h.rows("lbSharedFolders").join(u' '),
             u"/srv/Music /srv/Music2 /srv/Photos /srv/Films"_s);
    expectRemoval(h, "lbSharedFolders", "btnRemoveFolder", "btnRemoveAll",
                  u"Pocketlane|Are you sure you want to remove all the shared folders?|Yes|No"_s);
}

// A phone's post shows in the list and may be removed at once.
void MainWindowTest::graffitiFromPhoneAndOwner() {
    DesktopHarness h;
    h.clickEntry(u"Graffiti"_s);
    QVERIFY(!h.enabled("cmdRemoveGraffiti") && !h.enabled("cmdRemoveAllGraffiti"));
    h.site.deck(SiteHarness::linkTitled(h.site.deck("/"), "Graffiti") +
                "&G=" + Url("Hi from a phone"));
    QVERIFY(h.enabled("cmdRemoveGraffiti") && h.enabled("cmdRemoveAllGraffiti"));
    h.dialogs.inputs << u"Owner was here"_s << std::nullopt;
    h.press("cmdAddGraffiti");
    QCOMPARE(h.dialogs.prompts.last(), u"Type your new Graffiti here|Pocketlane - Add Graffiti"_s);
    h.press("cmdAddGraffiti"); // cancelled
    QCOMPARE(h.rows("lbGraffiti"), (QStringList{u"Hi from a phone"_s, u"Owner was here"_s}));
    expectRemoval(h, "lbGraffiti", "cmdRemoveGraffiti", "cmdRemoveAllGraffiti",
                  u"Pocketlane|Are you sure you want to remove all the Graffiti?|Yes|No"_s);
}

void MainWindowTest::startStopIconAndCloseQuestion() {
    DesktopHarness h;
    h.clickEntry(u"Modules"_s);
    const auto expectRunning = [&h](bool running) {
        QCOMPARE(h.site.server.IsRunning(), running);
        const QString action = running ? u"STOP"_s : u"START"_s;
        QCOMPARE(h.find<QToolButton>("imgStartStop")->toolTip(), u"Click to "_s + action);
        QCOMPARE(h.find<QLabel>("lblStartStop")->text(),
                 u"Pocketlane is currently %1. Click the icon to %2 it."_s.arg(
                     running ? u"RUNNING"_s : u"STOPPED"_s, action));
    };
    expectRunning(true);
    h.press("imgStartStop");
    expectRunning(false);
    // A start that cannot listen leaves the icon on START.
    QTcpServer intruder;
    QVERIFY(intruder.listen(QHostAddress::Any, h.site.server.Port()));
    h.press("imgStartStop");
    expectRunning(false);
    intruder.close();
    h.press("imgStartStop");
    expectRunning(true);

    // "No" to the window's close button keeps everything running.
    QSignalSpy closed(h.window.get(), &frmMain::Closed);
    h.dialogs.answers << QMessageBox::No;
    h.window->close();
    QCOMPARE(h.asked(), u"Close Pocketlane|Are you sure you want to close Pocketlane?|Yes|No"_s);
    QVERIFY(h.window->isVisible() && closed.isEmpty());
    expectRunning(true);
}

// Typed over the first-run value (empty: port 80), a port out of range is
// never written, even when the window ends with it.
void MainWindowTest::portFieldTakesOnlyAPort() {
    DesktopHarness h;
    h.clickEntry(u"Options"_s);
    auto* field = h.find<QLineEdit>("txtPort");
    for (const QString& typed : {u"0"_s, u"70000"_s, u"8081"_s}) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, typed);
        h.window->Menu()->setFocus();
    }
    QVERIFY(h.stores("Port", "8081"));
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, u"0"_s);
    h.window->EndWithoutQuestion();
    QVERIFY(h.stores("Port", "8081"));
    QCOMPARE(h.site.settings.port(), quint16(8081));
}

void MainWindowTest::linkLabelsAndStatusLog() {
    DesktopHarness h;
    // Moves the pointer over the label and away, then clicks it: whether it
    // was blue and underlined under the pointer and black once it left.
    const auto follow = [](LinkLabel* label) {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(label, &enter);
        const auto shown = [label] { return label->palette().color(label->foregroundRole()); };
        const bool lit =
            label->font().underline() && shown() == label->palette().color(QPalette::Link);
        QApplication::sendEvent(label, &leave);
        const bool dark =
            !label->font().underline() && shown() == label->palette().color(QPalette::WindowText);
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(2, 2));
        return lit && dark;
    };
    QVERIFY(follow(h.find<LinkLabel>("lblURL")));
    h.clickEntry(u"Modules"_s);
    QVERIFY(follow(h.find<LinkLabel>("lblWishList")));
    // The address field and the Help panel's answers are links only while
    // they are live: the field on a LAN once the lookup failed.
    const QUrl finder(u"http://127.0.0.1:%1"_s.arg(PocketlaneProcess::FreePort()));
    StatusLog log;
    Reachability network(log, {.publicIpUrl = finder, .upnpSoftware = false, .localIP = [] {
                                   return u"192.168.1.20"_s;
                               }});
    QVERIFY(!h.window->SiteAddresses()->isVisibleTo(h.window.get())); // none known yet
    BindReachability(*h.window, network);
    network.StartUp(8080);
    QCOMPARE(h.window->LocalIPLabel()->text(), u"Locating..."_s);
    QTRY_COMPARE(h.window->LocalIPLabel()->text(), u"Click here to find out"_s);
    QVERIFY(follow(h.window->LocalIPLabel()));
    h.clickEntry(u"Help"_s);
    HelpPanel* help = h.window->Help();
    QVERIFY(help->Answer(3)->text() == u"Unknown"_s && !follow(help->Answer(3)));
    const QUrl anchor = SettingsPaths::MakerWebPage(u"/Pocketlane/help.htm#manual_port_forward"_s);
    help->SetAnswer(3, u"No"_s, anchor);
    QVERIFY(follow(help->Answer(3)));
    help->SetAnswer(3, u"Yes"_s);
    QVERIFY(!follow(help->Answer(3)));
    const QUrl enhancements = SettingsPaths::MakerWebPage(u"/pocketlane/enhancements.htm"_s);
    QCOMPARE(h.opened, (QList<QUrl>{SettingsPaths::MakerWebSite(), enhancements, finder, anchor}));
    // Not installed, the links lead to the public site, never into the source tree.
    for (const QUrl& page : {SettingsPaths::MakerWebSite(), enhancements, anchor})
        QVERIFY2(page.scheme() == u"https"_s, qPrintable(page.toString()));

    // The About panel: the site on this network as a link and as a QR code that a real
    // reader decodes; the public address is not known, so its row is hidden. A new port
    // served shows at once.
    h.clickEntry(u"About"_s);
    SiteAddressView* site = h.window->SiteAddresses();
    const QUrl served(u"http://192.168.1.20:8080/"_s);
    QVERIFY(site->LanLink()->text() == served.toString() && !site->InternetLink()->isVisible());
    QVERIFY(follow(site->LanLink()));
    QCOMPARE(h.opened.last(), served);
    const auto decoded = [&] {
        QTemporaryDir folder;
        const QString png = folder.filePath(u"code.png"_s);
        QProcess zbar;
        if (site->QrCode()->grab().save(png))
            zbar.start(u"zbarimg"_s, {u"--raw"_s, u"-q"_s, png});
        return zbar.waitForFinished() ? QString::fromUtf8(zbar.readAllStandardOutput()) : QString();
    };
    QCOMPARE(decoded(), served.toString() + u'\n');
    network.SetServedPort(80);
    QCOMPARE(site->LanLink()->target(), QUrl(u"http://192.168.1.20/"_s));
    QCOMPARE(decoded(), u"http://192.168.1.20/\n"_s);
}

// The newest line stays in view; each line's whole text is its tooltip; Copy
// takes the selected lines, Save as the shown ones, and Clear empties the
// view only: the log keeps its lines, and new ones show.
void MainWindowTest::statusPanelActions() {
    DesktopHarness h;
    h.clickEntry(u"Status"_s);
    auto* list = h.find<QTreeView>("lvStatus");
    for (int i = 0; i < 200; ++i)
        h.site.temp.log->LogStatus(LogNotice, u"line %1"_s.arg(i));
    QApplication::processEvents();
    const QModelIndex last = list->model()->index(list->model()->rowCount() - 1, 1);
    QCOMPARE(last.data().toString(), u"line 199"_s);
    QVERIFY(list->viewport()->rect().intersects(list->visualRect(last)));
    const QString whole = last.data(Qt::ToolTipRole).toString();
    QVERIFY2(whole.contains(u"T"_s) && whole.endsWith(u" 2 line 199"_s), qPrintable(whole));

    const auto act = [list](const char* name) {
        list->findChild<QAction*>(QLatin1StringView(name))->trigger();
    };
    const int rows = list->model()->rowCount();
    list->selectionModel()->select(list->model()->index(rows - 2, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list->selectionModel()->select(last, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    act("actCopyStatus");
    QCOMPARE(QApplication::clipboard()->text().count(u'\n'), 2);
    QVERIFY(QApplication::clipboard()->text().endsWith(whole + u'\n'));

    QTemporaryDir dir;
    h.dialogs.picked << dir.filePath(u"status.log"_s) << dir.filePath(u"no/such/folder/x"_s);
    act("actSaveStatus");
    QFile saved(dir.filePath(u"status.log"_s));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll().count('\n'), rows);
    act("actSaveStatus");
    QVERIFY(h.asked().startsWith(u"Pocketlane|The status log could not be saved to "_s));

    act("actClearStatus");
    QCOMPARE(list->model()->rowCount(), 0);
    QCOMPARE(h.site.temp.log->rowCount(), rows);
    h.site.temp.log->LogStatus(LogNotice, u"after the clear"_s);
    QCOMPARE(list->model()->rowCount(), 1);
    QCOMPARE(list->model()->index(0, 1).data().toString(), u"after the clear"_s);
}

// WCAG's contrast ratio of two colours (1 to 21; 4.5 is readable text).
static double Contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Under a dark colour scheme every link label reads in both its states, a
// read-only field shows the window's colour while an editable one shows the
// field colour; the input box is wide enough for its title; and every
// control without a caption of its own has an accessible name.
void MainWindowTest::darkSchemeIsReadable() {
    const QPalette before = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Link, QColor(0x8a, 0xb4, 0xf8));
    QApplication::setPalette(dark);
    auto restore = qScopeGuard([&before] { QApplication::setPalette(before); });
    DesktopHarness h;
    for (LinkLabel* label : h.window->findChildren<LinkLabel*>()) {
        for (bool pointerOver : {false, true}) {
            QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)));
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(label, pointerOver ? static_cast<QEvent*>(&enter) : &leave);
            const QImage shown = label->grab().toImage();
            const QColor text = label->palette().color(label->foregroundRole());
            QVERIFY2(Contrast(text, shown.pixelColor(0, 0)) >= 4.5,
                     qPrintable(label->objectName()));
        }
    }
    h.clickEntry(u"Options"_s);
    auto* field = h.find<QLineEdit>("txtPassword");
    const auto inside = [field] {
        return field->grab().toImage().pixelColor(field->width() - 6, field->height() / 2);
    };
    QCOMPARE(inside(), dark.color(QPalette::Window)); // read-only: the switch is off
    h.press("chkEnablePassword");
    QCOMPARE(inside(), dark.color(QPalette::Base));

    QInputDialog box;
    box.setWindowTitle(u"Pocketlane - Add Graffiti"_s);
    box.setMinimumWidth(OwnerDialogs::WidthForTitle(box));
    box.show();
    QVERIFY(box.width() > QFontMetrics(QApplication::font("QMdiSubWindowTitleBar"))
                              .horizontalAdvance(box.windowTitle()));

    for (QWidget* control : h.window->findChildren<QWidget*>()) {
        const auto* button = qobject_cast<QAbstractButton*>(control);
        const bool captioned = button && button->text().contains(QRegularExpression(u"\\w"_s));
        const bool needsName =
            qobject_cast<QLineEdit*>(control) ||
            (qobject_cast<QAbstractItemView*>(control) && !qobject_cast<QHeaderView*>(control)) ||
            qobject_cast<LinkLabel*>(control) || (button && !captioned);
        QVERIFY2(!needsName || !control->accessibleName().isEmpty(),
                 qPrintable(control->objectName() + u" "_s +
                            QLatin1StringView(control->metaObject()->className())));
    }
}

// At twice the font every entry of the tree menu is shown whole; passing
// over "Minimize" with the keyboard leaves the window where it is, Enter
// on it minimizes.
void MainWindowTest::menuFitsALargerFont() {
    DesktopHarness h;
    QTreeWidget* menu = h.window->Menu();
    QFont larger = h.window->font();
    larger.setPointSizeF(larger.pointSizeF() * 2);
    h.window->setFont(larger);
    QTreeWidgetItemIterator it(menu);
    for (; *it; ++it) {
        const QRect shown = menu->visualItemRect(*it);
        const int needed = QFontMetrics(larger).horizontalAdvance((*it)->text(0));
        QVERIFY2(shown.right() <= menu->viewport()->width() && shown.width() > needed,
                 qPrintable((*it)->text(0)));
    }
    h.clickEntry(u"Help"_s);
    menu->setFocus();
    QTest::keyClick(menu, Qt::Key_Down);
    QCOMPARE(menu->currentItem()->text(0), u"Minimize"_s);
    QVERIFY(h.window->isVisible());
    QCOMPARE(h.window->VisiblePanel(), h.window->PanelFor(u"Help"_s));
    QTest::keyClick(menu, Qt::Key_Return);
    QVERIFY(!h.window->isVisible() || h.window->isMinimized());
}

// The two start options write the autostart entry and the window's state,
// and the window comes back at its size, place and last panel, never into
// the owner's settings file.
void MainWindowTest::startWithTheDesktop() {
    DesktopHarness h;
    const QString entry = h.config.filePath(u"autostart/pocketlane.desktop"_s);
    h.clickEntry(u"Options"_s);
    h.press("chkStartAtLogin");
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.startsWith("[Desktop Entry]\nType=Application\n") &&
                 text.contains("\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + '\n'),
             text.constData());
    h.press("chkStartAtLogin");
    QVERIFY(!QFile::exists(entry));
    h.press("chkStartMinimized");
    h.clickEntry(u"Graffiti"_s);
    h.window->resize(801, 603);
    h.window->EndWithoutQuestion();
    h.window.reset();
    h.openWindow();
    QCOMPARE(h.window->size(), QSize(801, 603));
    QCOMPARE(h.window->VisiblePanel(), h.window->PanelFor(u"Graffiti"_s));
    QVERIFY(h.find<QCheckBox>("chkStartMinimized")->isChecked());
    QVERIFY(!h.find<QCheckBox>("chkStartAtLogin")->isChecked());
    QVERIFY(!h.site.temp.fileText().contains("Window"));
    h.window->hide();
    h.window->ShowAtStart(); // no notification area here: minimized as usual
    QVERIFY(h.window->isMinimized());
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
