// The owner's window driven as the owner drives it: real widgets on the
// offscreen platform over a real server, site and settings file.
#include "DesktopHarness.h"

#include "desktop/GraffitiPanel.h"
#include "desktop/InfoPanels.h"
#include "desktop/LinkLabel.h"
#include "desktop/OptionPanels.h"
#include "desktop/SharedFoldersPanel.h"
#include "settings/SettingsPaths.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QWindow>

namespace {

void ClickEntry(frmMain& window, const QString& key) {
    QTreeWidget* tree = window.Menu();
    const auto items = tree->findItems(key, Qt::MatchExactly | Qt::MatchRecursive);
    QVERIFY(!items.isEmpty());
    const QRect rect = tree->visualItemRect(items.first());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
}

int VisiblePanelCount(const frmMain& window) {
    int count = 0;
    for (const QString& key : frmMain::MenuEntries()) {
        if (QWidget* panel = window.PanelFor(key); panel && panel->isVisibleTo(&window))
            ++count;
    }
    return count;
}

QByteArray StoredLine(const QByteArray& name, const QByteArray& value) {
    return "\"" + name + "\"=\"" + value + "\"";
}

// Clicks a check box on its box, as the owner does.
void Tick(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

// Sends the owner's focus elsewhere, as clicking another control does.
void MoveFocusAway(frmMain& window) {
    window.Menu()->setFocus();
    QApplication::processEvents();
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void treeMenuHoldsTheNineEntries();
    void everyEntryShowsExactlyOnePanel_data();
    void everyEntryShowsExactlyOnePanel();
    void minimizeWithoutNotificationAreaMinimizesAndSaysWhy();
    void switchesWriteTheStore_data();
    void switchesWriteTheStore();
    void textFieldsWriteWhenThePartSays();
    void typingIsKeptWhenTheProgramEnds();
    void dependentFieldsFollowTheirSwitch();
    void nextPhoneRequestSeesTheOptions();
    void welcomeImageBrowse();
    void sharedFolderParentRules();
    void sharedFolderSubFolderRules();
    void sharedFolderRemovals();
    void sharedFolderIsServedToTheNextRequest();
    void graffitiFromAPhoneAndFromTheOwner();
    void graffitiRemovalReachesThePhone();
    void startStopIconStopsAndStartsServing();
    void failedRestartLeavesTheIconStopped();
    void closeQuestion();
    void linkLabels();
    void statusPanelShowsTheLog();
    void helpPanelAndShippedHelpPages();
};

void MainWindowTest::treeMenuHoldsTheNineEntries() {
    DesktopHarness h;
    QTreeWidget* tree = h.window->Menu();
    QCOMPARE(h.window->windowTitle(), QStringLiteral("Pocketlane"));
    QCOMPARE(tree->objectName(), QStringLiteral("tvMenu"));
    QStringList walked;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        walked << (*it)->text(0);
        QCOMPARE((*it)->data(0, Qt::UserRole).toString(), (*it)->text(0));
        QVERIFY(!(*it)->icon(0).isNull());
    }
    QCOMPARE(walked, frmMain::MenuEntries());
    const QTreeWidgetItem* modules = tree->topLevelItem(3);
    QCOMPARE(modules->text(0), QStringLiteral("Modules"));
    QVERIFY(modules->isExpanded());
    QCOMPARE(modules->childCount(), 3);
    // At start the About panel shows.
    QCOMPARE(h.window->VisiblePanel(), h.window->PanelFor(QStringLiteral("About")));
}

void MainWindowTest::everyEntryShowsExactlyOnePanel_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("panel");
    QTest::newRow("Status") << "Status"
                            << "picStatus";
    QTest::newRow("Options") << "Options"
                             << "picOptions";
    QTest::newRow("Modules") << "Modules"
                             << "picModules";
    QTest::newRow("Shared Folders") << "Shared Folders"
                                    << "picSharedFolders";
    QTest::newRow("Graffiti") << "Graffiti"
                              << "picGraffiti";
    QTest::newRow("My Computer") << "My Computer"
                                 << "picMyComputer";
    QTest::newRow("Help") << "Help"
                          << "picHelp";
    QTest::newRow("About") << "About"
                           << "picAbout";
}

void MainWindowTest::everyEntryShowsExactlyOnePanel() {
    QFETCH(QString, entry);
    QFETCH(QString, panel);
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Status"));
    ClickEntry(*h.window, entry);
    QCOMPARE(VisiblePanelCount(*h.window), 1);
    QCOMPARE(h.window->VisiblePanel()->objectName(), panel);
    QVERIFY(h.window->VisiblePanel()->isVisible());
}

// The offscreen platform has no notification area: hiding the window would
// leave the owner no way back.
void MainWindowTest::minimizeWithoutNotificationAreaMinimizesAndSaysWhy() {
    DesktopHarness h;
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    h.show();
    ClickEntry(*h.window, QStringLiteral("Graffiti"));
    ClickEntry(*h.window, QStringLiteral("Minimize"));
    QVERIFY(h.window->isVisible());
    QVERIFY(h.window->isMinimized());
    QVERIFY(!h.window->SystemTray());
    QCOMPARE(h.window->VisiblePanel(), h.window->PanelFor(QStringLiteral("About")));
    h.window->showNormal();
    ClickEntry(*h.window, QStringLiteral("Minimize"));
    QVERIFY(h.window->isMinimized());
    const QStringList notices =
        h.site.temp.lines(LogNotice).filter(QStringLiteral("notification area"));
    QCOMPARE(notices.size(), 1);
}

void MainWindowTest::switchesWriteTheStore_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("entry");
    QTest::newRow("welcome image")
        << "chkWelcomeGraphic" << QByteArray("ShowWelcomeGraphic") << "Options";
    QTest::newRow("welcome message")
        << "chkWelcomeMessage" << QByteArray("WelcomeMessage") << "Options";
    QTest::newRow("site password")
        << "chkEnablePassword" << QByteArray("EnablePassword") << "Options";
    QTest::newRow("extended logging")
        << "chkExtendedLogging" << QByteArray("ExtendedLogging") << "Options";
    QTest::newRow("shared folders")
        << "chkEnableSharedFolders" << QByteArray("EnableSharedFolders") << "Modules";
    QTest::newRow("graffiti") << "chkEnableGraffiti" << QByteArray("EnableGraffiti") << "Modules";
    QTest::newRow("my computer") << "chkEnableMyComputer" << QByteArray("EnableMyComputer")
                                 << "Modules";
    QTest::newRow("my computer password")
        << "chkMyComputerEnablePassword" << QByteArray("EnableMyComputerPassword") << "My Computer";
    QTest::newRow("force") << "chkExitOptionForce" << QByteArray("Force") << "My Computer";
    QTest::newRow("force if hung")
        << "chkExitOptionForceIfHung" << QByteArray("ForceIfHung") << "My Computer";
    QTest::newRow("graffiti date")
        << "chkGraffitiIncludeDate" << QByteArray("GraffitiShowDate") << "Graffiti";
    QTest::newRow("graffiti time")
        << "chkGraffitiIncludeTime" << QByteArray("GraffitiShowTime") << "Graffiti";
}

void MainWindowTest::switchesWriteTheStore() {
    QFETCH(QString, control);
    QFETCH(QByteArray, value);
    QFETCH(QString, entry);
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, entry);
    auto* box = h.find<QCheckBox>(control.toLatin1().constData());
    QVERIFY(box);
    QVERIFY(box->isVisible());
    const bool before = box->isChecked();
    Tick(box);
    QCOMPARE(box->isChecked(), !before);
    QVERIFY(h.site.temp.fileText().contains(StoredLine(value, before ? "N" : "Y")));
    Tick(box);
    QVERIFY(h.site.temp.fileText().contains(StoredLine(value, before ? "Y" : "N")));
    // A change made elsewhere (the command line's store, a phone) shows too.
    const auto option = *Settings::OptionNamed(value);
    h.site.settings.setSwitch(option, !before);
    QCOMPARE(box->isChecked(), !before);
}

void MainWindowTest::textFieldsWriteWhenThePartSays() {
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, QStringLiteral("My Computer"));
    Tick(h.find<QCheckBox>("chkMyComputerEnablePassword"));
    auto* myComputer = h.find<QLineEdit>("txtMyComputerPassword");
    QCOMPARE(myComputer->echoMode(), QLineEdit::Password);
    myComputer->setFocus();
    QTest::keyClicks(myComputer, QStringLiteral("ab"));
    QVERIFY(h.site.temp.fileText().contains(StoredLine("MyComputerPassword", "ab")));
    QTest::keyClick(myComputer, Qt::Key_C);
    QVERIFY(h.site.temp.fileText().contains(StoredLine("MyComputerPassword", "abc")));

    ClickEntry(*h.window, QStringLiteral("Options"));
    Tick(h.find<QCheckBox>("chkEnablePassword"));
    auto* password = h.find<QLineEdit>("txtPassword");
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    password->setFocus();
    QTest::keyClicks(password, QStringLiteral("secret"));
    QVERIFY(!h.site.temp.fileText().contains(StoredLine("Password", "secret")));
    MoveFocusAway(*h.window);
    QVERIFY(h.site.temp.fileText().contains(StoredLine("Password", "secret")));
}

// What the owner typed into a field that still has the focus is written
// when the program ends without the field losing it.
void MainWindowTest::typingIsKeptWhenTheProgramEnds() {
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Options"));
    Tick(h.find<QCheckBox>("chkWelcomeMessage"));
    auto* message = h.find<QLineEdit>("txtWelcomeMessage");
    QVERIFY(!message->isReadOnly());
    message->setFocus();
    message->selectAll();
    QTest::keyClicks(message, QStringLiteral("Hello phones"));
    QVERIFY(!h.site.temp.fileText().contains(StoredLine("WelcomeMessageText", "Hello phones")));
    QSignalSpy closed(h.window.get(), &frmMain::Closed);
    h.window->EndWithoutQuestion();
    QCOMPARE(closed.size(), 1);
    QVERIFY(h.dialogs.asked.isEmpty());
    QVERIFY(h.site.temp.fileText().contains(StoredLine("WelcomeMessageText", "Hello phones")));

    // The same when the program ends without closing the window first.
    DesktopHarness other;
    other.show();
    ClickEntry(*other.window, QStringLiteral("Options"));
    Tick(other.find<QCheckBox>("chkWelcomeGraphic"));
    auto* image = other.find<QLineEdit>("txtWelcomeGraphic");
    image->setFocus();
    image->selectAll();
    QTest::keyClicks(image, QStringLiteral("/tmp/other.wbmp"));
    other.window.reset();
    QVERIFY(other.site.temp.fileText().contains(
        StoredLine("ShowWelcomeGraphicFilename", "/tmp/other.wbmp")));
}

void MainWindowTest::dependentFieldsFollowTheirSwitch() {
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Options"));
    auto* enable = h.find<QCheckBox>("chkEnablePassword");
    auto* password = h.find<QLineEdit>("txtPassword");
    QVERIFY(!enable->isChecked());
    QVERIFY(password->isReadOnly());
    Tick(enable);
    QVERIFY(!password->isReadOnly());

    auto* image = h.find<QCheckBox>("chkWelcomeGraphic");
    auto* browse = h.find<QPushButton>("cbBrowseWelcomeGraphic");
    QVERIFY(!image->isChecked());
    QVERIFY(h.find<QLineEdit>("txtWelcomeGraphic")->isReadOnly());
    QVERIFY(!browse->isEnabled());
    Tick(image);
    QVERIFY(!h.find<QLineEdit>("txtWelcomeGraphic")->isReadOnly());
    QVERIFY(browse->isEnabled());

    ClickEntry(*h.window, QStringLiteral("My Computer"));
    QVERIFY(h.find<QLineEdit>("txtMyComputerPassword")->isReadOnly());
    Tick(h.find<QCheckBox>("chkMyComputerEnablePassword"));
    QVERIFY(!h.find<QLineEdit>("txtMyComputerPassword")->isReadOnly());
}

void MainWindowTest::nextPhoneRequestSeesTheOptions() {
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Modules"));
    QVERIFY(h.site.deck("/").contains("Graffiti"));
    Tick(h.find<QCheckBox>("chkEnableGraffiti"));
    QVERIFY(!h.site.deck("/").contains("Graffiti"));

    ClickEntry(*h.window, QStringLiteral("Options"));
    QVERIFY(!h.site.deck("/").contains("Hello phones"));
    Tick(h.find<QCheckBox>("chkWelcomeMessage"));
    auto* message = h.find<QLineEdit>("txtWelcomeMessage");
    message->setFocus();
    message->selectAll();
    QTest::keyClicks(message, QStringLiteral("Hello phones"));
    MoveFocusAway(*h.window);
    QVERIFY(h.site.deck("/").contains("Hello phones"));
}

void MainWindowTest::welcomeImageBrowse() {
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Options"));
    Tick(h.find<QCheckBox>("chkWelcomeGraphic"));
    const QString before = h.find<QLineEdit>("txtWelcomeGraphic")->text();
    auto* browse = h.find<QPushButton>("cbBrowseWelcomeGraphic");
    QTest::mouseClick(browse, Qt::LeftButton); // cancelled
    QCOMPARE(h.dialogs.prompts.last(), before);
    QCOMPARE(h.find<QLineEdit>("txtWelcomeGraphic")->text(), before);

    h.dialogs.images << QStringLiteral("/srv/pictures/logo.gif");
    QTest::mouseClick(browse, Qt::LeftButton);
    QCOMPARE(h.find<QLineEdit>("txtWelcomeGraphic")->text(),
             QStringLiteral("/srv/pictures/logo.gif"));
    QVERIFY(h.site.temp.fileText().contains(
        StoredLine("ShowWelcomeGraphicFilename", "/srv/pictures/logo.gif")));
    const QStringList filters = OwnerDialogs::WelcomeGraphicFilters();
    QVERIFY(filters.at(0).startsWith(QStringLiteral("WBMP files (*.WBMP)")));
    QVERIFY(filters.at(1).startsWith(QStringLiteral("GIF files (*.GIF)")));
    QVERIFY(filters.at(2).startsWith(QStringLiteral("All Files (*.*)")));
}

struct FolderTree {
    QTemporaryDir root;
    QString path(const QString& relative) const {
        const QString full = root.filePath(relative);
        QDir().mkpath(full);
        return full;
    }
};

void MainWindowTest::sharedFolderParentRules() {
    DesktopHarness h;
    FolderTree tree;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Shared Folders"));
    auto* add = h.find<QPushButton>("btnAddFolder");
    const QString music = tree.path(QStringLiteral("Music"));
    h.dialogs.folders << music;
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(h.dialogs.prompts.last(), QStringLiteral("Select a Folder"));
    QCOMPARE(h.site.folders.folders(), QList<QByteArray>{music.toUtf8()});

    // Inside a shared folder, or the same folder: refused with the message.
    for (const QString& refused : {tree.path(QStringLiteral("Music/Rock")), music}) {
        h.dialogs.folders << refused;
        QTest::mouseClick(add, Qt::LeftButton);
        QCOMPARE(h.dialogs.asked.size(), 1);
        const auto question = h.dialogs.asked.takeFirst();
        QCOMPARE(question.title, QStringLiteral("Pocketlane"));
        QCOMPARE(
            question.text,
            QStringLiteral("This folder (or a parent of this folder) is already being shared.\n"
                           "Remember that when a folder is shared, all sub folders are "
                           "automatically shared too."));
        QCOMPARE(question.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(h.site.folders.folders().size(), 1);
    }
    // A name that only begins with a shared folder's name is another folder.
    h.dialogs.folders << tree.path(QStringLiteral("Music2"));
    QTest::mouseClick(add, Qt::LeftButton);
    QVERIFY(h.dialogs.asked.isEmpty());
    QCOMPARE(h.site.folders.folders().size(), 2);
    QVERIFY(h.site.temp.fileText().contains(
        StoredLine(tree.path(QStringLiteral("Music2")).toUtf8(), "")));
    // A cancelled picker changes nothing.
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(h.site.folders.folders().size(), 2);
}

void MainWindowTest::sharedFolderSubFolderRules() {
    DesktopHarness h;
    FolderTree tree;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Shared Folders"));
    auto* add = h.find<QPushButton>("btnAddFolder");
    const QString rock = tree.path(QStringLiteral("Music/Rock"));
    const QString films = tree.path(QStringLiteral("Films"));
    const QString jazz = tree.path(QStringLiteral("Music/Jazz"));
    const QString music = tree.path(QStringLiteral("Music"));
    h.dialogs.folders << rock << films << jazz;
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(h.site.folders.folders().size(), 3);

    h.dialogs.folders << music;
    h.dialogs.answers << QMessageBox::Cancel;
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(h.dialogs.asked.size(), 1);
    QCOMPARE(h.dialogs.asked.first().text,
             QStringLiteral("One or more sub folders of the folder you've selected are already "
                            "being shared. These will be removed if you continue.\n"
                            "Are you sure you wish to continue?"));
    QCOMPARE(h.dialogs.asked.first().buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(h.site.folders.folders().size(), 3);

    // Asked once for both sub folders, the last entry among them.
    h.dialogs.folders << music;
    h.dialogs.answers << QMessageBox::Ok;
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(h.dialogs.asked.size(), 2);
    QCOMPARE(h.site.folders.folders(), (QList<QByteArray>{films.toUtf8(), music.toUtf8()}));
    const QByteArray stored = h.site.temp.fileText();
    QVERIFY(!stored.contains(rock.toUtf8()));
    QVERIFY(!stored.contains(jazz.toUtf8()));
    QVERIFY(stored.contains(StoredLine(music.toUtf8(), "")));
    QCOMPARE(h.find<QListView>("lbSharedFolders")->model()->rowCount(), 2);
}

void MainWindowTest::sharedFolderRemovals() {
    DesktopHarness h;
    FolderTree tree;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Shared Folders"));
    auto* add = h.find<QPushButton>("btnAddFolder");
    auto* remove = h.find<QPushButton>("btnRemoveFolder");
    auto* removeAll = h.find<QPushButton>("btnRemoveAll");
    auto* list = h.find<QListView>("lbSharedFolders");
    QVERIFY(add->isEnabled());
    QVERIFY(!remove->isEnabled());
    QVERIFY(!removeAll->isEnabled());

    const QString music = tree.path(QStringLiteral("Music"));
    h.dialogs.folders << music;
    QTest::mouseClick(add, Qt::LeftButton);
    QVERIFY(remove->isEnabled());
    QVERIFY(removeAll->isEnabled());
    // Nothing selected: nothing removed.
    list->clearSelection();
    QTest::mouseClick(remove, Qt::LeftButton);
    QCOMPARE(h.site.folders.folders().size(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 0)).center());
    QTest::mouseClick(remove, Qt::LeftButton);
    QVERIFY(h.site.folders.isEmpty());
    QVERIFY(!h.site.temp.fileText().contains(music.toUtf8()));
    QVERIFY(!remove->isEnabled());
    QVERIFY(!removeAll->isEnabled());

    h.dialogs.folders << music << tree.path(QStringLiteral("Films"));
    QTest::mouseClick(add, Qt::LeftButton);
    QTest::mouseClick(add, Qt::LeftButton);
    h.dialogs.answers << QMessageBox::No;
    QTest::mouseClick(removeAll, Qt::LeftButton);
    QCOMPARE(h.dialogs.asked.last().text,
             QStringLiteral("Are you sure you want to remove all the shared folders?"));
    QCOMPARE(h.dialogs.asked.last().title, QStringLiteral("Pocketlane"));
    QCOMPARE(h.dialogs.asked.last().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(h.site.folders.folders().size(), 2);
    QVERIFY(removeAll->isEnabled());
    h.dialogs.answers << QMessageBox::Yes;
    QTest::mouseClick(removeAll, Qt::LeftButton);
    QVERIFY(h.site.folders.isEmpty());
    QVERIFY(!h.site.temp.fileText().contains(music.toUtf8()));
    QVERIFY(!remove->isEnabled());
    QVERIFY(!removeAll->isEnabled());
}

void MainWindowTest::sharedFolderIsServedToTheNextRequest() {
    DesktopHarness h;
    FolderTree tree;
    h.site.settings.setSwitch(Settings::EnableSharedFolders, true);
    h.show();
    ClickEntry(*h.window, QStringLiteral("Shared Folders"));
    const auto sharedPage = [&h] {
        return h.site.deck(SiteHarness::linkTitled(h.site.deck("/"), "Shared Folders"));
    };
    QVERIFY(!sharedPage().contains("Holidays"));
    h.dialogs.folders << tree.path(QStringLiteral("Holidays"));
    QTest::mouseClick(h.find<QPushButton>("btnAddFolder"), Qt::LeftButton);
    QVERIFY(sharedPage().contains("Holidays"));
    h.dialogs.answers << QMessageBox::Yes;
    QTest::mouseClick(h.find<QPushButton>("btnRemoveAll"), Qt::LeftButton);
    QVERIFY(!sharedPage().contains("Holidays"));
}

void MainWindowTest::graffitiFromAPhoneAndFromTheOwner() {
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Graffiti"));
    auto* list = h.find<QListView>("lbGraffiti");
    auto* remove = h.find<QPushButton>("cmdRemoveGraffiti");
    auto* removeAll = h.find<QPushButton>("cmdRemoveAllGraffiti");
    QVERIFY(!remove->isEnabled());
    QVERIFY(!removeAll->isEnabled());

    const QByteArray board = SiteHarness::linkTitled(h.site.deck("/"), "Graffiti");
    h.site.deck(board + "&G=" + Url("Hello from a phone"));
    QCOMPARE(list->model()->rowCount(), 1);
    QCOMPARE(list->model()->index(0, 0).data().toString(), QStringLiteral("Hello from a phone"));
    QVERIFY(remove->isEnabled());
    QVERIFY(removeAll->isEnabled());

    h.dialogs.inputs << QStringLiteral("Owner was here");
    QTest::mouseClick(h.find<QPushButton>("cmdAddGraffiti"), Qt::LeftButton);
    QCOMPARE(h.dialogs.prompts.last(),
             QStringLiteral("Type your new Graffiti here|Pocketlane - Add Graffiti"));
    QCOMPARE(list->model()->rowCount(), 2);
    QVERIFY(h.site.deck(board).contains("Owner was here"));

    // A cancelled input box adds nothing.
    QTest::mouseClick(h.find<QPushButton>("cmdAddGraffiti"), Qt::LeftButton);
    QCOMPARE(list->model()->rowCount(), 2);

    h.dialogs.answers << QMessageBox::No;
    QTest::mouseClick(removeAll, Qt::LeftButton);
    QCOMPARE(h.dialogs.asked.last().text,
             QStringLiteral("Are you sure you want to remove all the Graffiti?"));
    QCOMPARE(h.dialogs.asked.last().title, QStringLiteral("Pocketlane"));
    QCOMPARE(list->model()->rowCount(), 2);
    QVERIFY(remove->isEnabled());
    h.dialogs.answers << QMessageBox::Yes;
    QTest::mouseClick(removeAll, Qt::LeftButton);
    QCOMPARE(list->model()->rowCount(), 0);
    QVERIFY(!remove->isEnabled());
    QVERIFY(!removeAll->isEnabled());
    QVERIFY(h.site.deck(board).contains("No one has added Graffiti, be the first!"));
}

void MainWindowTest::graffitiRemovalReachesThePhone() {
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Graffiti"));
    const QByteArray board = SiteHarness::linkTitled(h.site.deck("/"), "Graffiti");
    h.site.deck(board + "&G=first");
    h.site.deck(board + "&G=second");
    auto* list = h.find<QListView>("lbGraffiti");
    auto* remove = h.find<QPushButton>("cmdRemoveGraffiti");
    QTest::mouseClick(remove, Qt::LeftButton); // nothing selected
    QCOMPARE(list->model()->rowCount(), 2);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 0)).center());
    QTest::mouseClick(remove, Qt::LeftButton);
    const QByteArray page = h.site.deck(board);
    QVERIFY(!page.contains("first"));
    QVERIFY(page.contains("second"));
    QVERIFY(remove->isEnabled());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 0)).center());
    QTest::mouseClick(remove, Qt::LeftButton);
    QVERIFY(!remove->isEnabled());
}

void MainWindowTest::startStopIconStopsAndStartsServing() {
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Modules"));
    auto* icon = h.find<QToolButton>("imgStartStop");
    auto* caption = h.find<QLabel>("lblStartStop");
    QCOMPARE(icon->toolTip(), QStringLiteral("Click to STOP"));
    QCOMPARE(caption->text(),
             QStringLiteral("Pocketlane is currently RUNNING. Click the icon to STOP it."));
    const quint16 port = h.site.server.Port();
    QVERIFY(h.site.deck("/").contains("Main Menu") || h.site.deck("/").contains("card"));

    QTest::mouseClick(icon, Qt::LeftButton);
    QVERIFY(!h.site.server.IsRunning());
    QCOMPARE(icon->toolTip(), QStringLiteral("Click to START"));
    QCOMPARE(caption->text(),
             QStringLiteral("Pocketlane is currently STOPPED. Click the icon to START it."));
    LoopbackClient refused(port);
    QVERIFY(!refused.WaitConnected(2000));
    QVERIFY(h.site.temp.lines(LogNotice).contains(QStringLiteral("Pocketlane stopped by user")));

    QTest::mouseClick(icon, Qt::LeftButton);
    QVERIFY(h.site.server.IsRunning());
    QCOMPARE(icon->toolTip(), QStringLiteral("Click to STOP"));
    QVERIFY(h.site.deck("/").contains("<card"));
    QVERIFY(h.site.temp.lines(LogNotice).contains(QStringLiteral("Pocketlane started by user")));
}

void MainWindowTest::failedRestartLeavesTheIconStopped() {
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Modules"));
    auto* icon = h.find<QToolButton>("imgStartStop");
    const quint16 port = h.site.server.Port();
    QTest::mouseClick(icon, Qt::LeftButton);
    QTcpServer intruder;
    QVERIFY(intruder.listen(QHostAddress::Any, port));
    QTest::mouseClick(icon, Qt::LeftButton);
    QVERIFY(!h.site.server.IsRunning());
    QCOMPARE(icon->toolTip(), QStringLiteral("Click to START"));
    QVERIFY(h.find<QLabel>("lblStartStop")->text().contains(QStringLiteral("STOPPED")));
    QVERIFY(h.site.temp.lines(LogError).last().contains(QStringLiteral("already in use")));
    intruder.close();
    QTest::mouseClick(icon, Qt::LeftButton);
    QVERIFY(h.site.server.IsRunning());
}

void MainWindowTest::closeQuestion() {
    DesktopHarness h;
    h.show();
    QSignalSpy closed(h.window.get(), &frmMain::Closed);
    h.dialogs.answers << QMessageBox::No;
    h.window->CloseByOwner();
    QCOMPARE(h.dialogs.asked.size(), 1);
    QCOMPARE(h.dialogs.asked.first().title, QStringLiteral("Close Pocketlane"));
    QCOMPARE(h.dialogs.asked.first().text,
             QStringLiteral("Are you sure you want to close Pocketlane?"));
    QCOMPARE(h.dialogs.asked.first().buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(h.window->isVisible());
    QCOMPARE(closed.size(), 0);
    QVERIFY(h.site.server.IsRunning());
    QVERIFY(h.site.deck("/").contains("<card"));
    // The window's close button is the owner's too.
    h.dialogs.answers << QMessageBox::No;
    h.window->close();
    QCOMPARE(h.dialogs.asked.size(), 2);
    QVERIFY(h.window->isVisible());
    QCOMPARE(closed.size(), 0);

    h.show();
    h.dialogs.answers << QMessageBox::Yes;
    h.window->CloseByOwner();
    QCOMPARE(h.dialogs.asked.size(), 3);
    QCOMPARE(closed.size(), 1);
    QVERIFY(!h.window->isVisible());
}

void MainWindowTest::linkLabels() {
    DesktopHarness h;
    h.show();
    auto* url = h.find<LinkLabel>("lblURL");
    QVERIFY(url->isVisible());
    QCOMPARE(url->target(), SettingsPaths::MakerWebSite());
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), url->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(url, &enter);
    QVERIFY(url->isHighlighted());
    QVERIFY(url->font().underline());
    QCOMPARE(url->palette().color(QPalette::WindowText), QColor(Qt::blue));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(url, &leave);
    QVERIFY(!url->font().underline());
    QCOMPARE(url->palette().color(QPalette::WindowText), QColor(Qt::black));
    QApplication::sendEvent(url, &enter);
    QTest::mouseClick(url, Qt::LeftButton, {}, QPoint(2, 2));
    QCOMPARE(h.opened, QList<QUrl>{SettingsPaths::MakerWebSite()});
    QVERIFY(!url->font().underline());

    ClickEntry(*h.window, QStringLiteral("Modules"));
    auto* wishList = h.find<LinkLabel>("lblWishList");
    QCOMPARE(wishList->text(),
             QStringLiteral("Do you have a good idea for a module? Let us know!"));
    QTest::mouseClick(wishList, Qt::LeftButton, {}, QPoint(2, 2));
    QVERIFY(h.opened.last().toString().endsWith(QStringLiteral("/pocketlane/enhancements.htm")));

    // The address field is a link only while its tag is "1".
    LinkLabel* address = h.window->LocalIPLabel();
    h.window->SetLocalIP(QStringLiteral("192.0.2.7"));
    QApplication::sendEvent(address, &enter);
    QVERIFY(!address->isHighlighted());
    QTest::mouseClick(address, Qt::LeftButton, {}, QPoint(2, 2));
    QCOMPARE(h.opened.size(), 2);
    h.window->SetLocalIP(QStringLiteral("Click here to find out"), QStringLiteral("1"),
                         QUrl(QStringLiteral("http://what-is-my-ip.invalid")));
    QApplication::sendEvent(address, &enter);
    QVERIFY(address->isHighlighted());
    QTest::mouseClick(address, Qt::LeftButton, {}, QPoint(2, 2));
    QCOMPARE(h.opened.last(), QUrl(QStringLiteral("http://what-is-my-ip.invalid")));
}

void MainWindowTest::statusPanelShowsTheLog() {
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Status"));
    auto* list = h.window->findChild<QTreeView*>(QStringLiteral("lvStatus"));
    QAbstractItemModel* model = list->model();
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Date"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Message"));
    const int before = model->rowCount();
    h.site.temp.log->LogStatus(LogError, QStringLiteral("an error"));
    h.site.temp.log->LogStatus(LogNotice, QStringLiteral("a notice"));
    h.site.temp.log->LogStatus(7, QStringLiteral("another level"));
    const auto picture = [model](int row) {
        return model->index(row, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    };
    QCOMPARE(model->index(before, 1).data().toString(), QStringLiteral("an error"));
    QVERIFY(picture(before) != picture(before + 1));
    QCOMPARE(picture(before + 1), picture(before + 2));
    for (int i = 0; i < 200; ++i)
        h.site.temp.log->LogStatus(LogNotice, QStringLiteral("line %1").arg(i));
    QApplication::processEvents();
    const QModelIndex last = model->index(model->rowCount() - 1, 1);
    QVERIFY(list->viewport()->rect().intersects(list->visualRect(last)));
}

void MainWindowTest::helpPanelAndShippedHelpPages() {
    DesktopHarness h;
    h.show();
    ClickEntry(*h.window, QStringLiteral("Help"));
    HelpPanel* help = h.window->Help();
    QCOMPARE(HelpPanel::Questions().size(), HelpPanel::AnswerCount);
    for (int i = 0; i < HelpPanel::AnswerCount; ++i) {
        QCOMPARE(help->Answer(i)->text(), QStringLiteral("Unknown"));
        QVERIFY(!help->Answer(i)->isLive());
    }
    const QUrl anchor =
        SettingsPaths::MakerWebPage(QStringLiteral("/Pocketlane/help.htm#manual_port_forward"));
    help->SetAnswer(3, QStringLiteral("No"), anchor);
    QTest::mouseClick(help->Answer(3), Qt::LeftButton, {}, QPoint(2, 2));
    QCOMPARE(h.opened.last(), anchor);
    help->SetAnswer(3, QStringLiteral("Yes"));
    QTest::mouseClick(help->Answer(3), Qt::LeftButton, {}, QPoint(2, 2));
    QCOMPARE(h.opened.size(), 1);
    QVERIFY(help->CheckMySetupButton()->isVisible());
    QCOMPARE(help->CheckMySetupButton()->text(), QStringLiteral("Check my Setup"));

    // The shipped pages hold every anchor the program links to, under both
    // spellings of the folder name the links use.
    for (const char* path : {"/index.html", "/pocketlane/enhancements.htm", "/pocketlane/help.htm",
                             "/Pocketlane/help.htm"})
        QVERIFY2(QFile::exists(SettingsPaths::MakerWebPage(QLatin1StringView(path)).toLocalFile()),
                 path);
    const QByteArray page = fileContents(
        SettingsPaths::MakerWebPage(QStringLiteral("/pocketlane/help.htm")).toLocalFile());
    for (const char* id : {"failed_to_determine_ip", "missing_upnp_software", "manual_port_forward",
                           "port_mapping_problems", "port_forward_wrong_machine"})
        QVERIFY2(page.contains("id=\"" + QByteArray(id) + "\""), id);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
