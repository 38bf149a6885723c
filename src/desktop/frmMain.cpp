#include "desktop/frmMain.h"

#include "base/StatusLog.h"
#include "desktop/Banner.h"
#include "desktop/GraffitiPanel.h"
#include "desktop/ImageList.h"
#include "desktop/InfoPanels.h"
#include "desktop/LinkLabel.h"
#include "desktop/OptionBindings.h"
#include "desktop/OptionPanels.h"
#include "desktop/OwnerDialogs.h"
#include "desktop/SharedFoldersPanel.h"
#include "desktop/StartOptionsGroup.h"
#include "desktop/StatusPanel.h"
#include "desktop/frmSysTray.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString About = QStringLiteral("About");
const QString Minimize = QStringLiteral("Minimize");
const QString Modules = QStringLiteral("Modules");

struct MenuEntry {
    const char* text;
    const char* parent;
    const char* picture;
};

// The tree menu: key (also the English text), parent entry, picture.
// "Status" and "My Computer" share their pictures.
const QList<MenuEntry>& MenuTable() {
    static const QList<MenuEntry> table = {
        {QT_TRANSLATE_NOOP("frmMain", "About"), "", "about"},
        {QT_TRANSLATE_NOOP("frmMain", "Status"), "", "status"},
        {QT_TRANSLATE_NOOP("frmMain", "Options"), "", "options"},
        {QT_TRANSLATE_NOOP("frmMain", "Modules"), "", "modules"},
        {QT_TRANSLATE_NOOP("frmMain", "Shared Folders"), "Modules", "folders"},
        {QT_TRANSLATE_NOOP("frmMain", "Graffiti"), "Modules", "graffiti"},
        {QT_TRANSLATE_NOOP("frmMain", "My Computer"), "Modules", "status"},
        {QT_TRANSLATE_NOOP("frmMain", "Help"), "", "help"},
        {QT_TRANSLATE_NOOP("frmMain", "Minimize"), "", "minimize"},
    };
    return table;
}

// An entry's picture pair: the normal one, and the selected one while the
// entry is selected.
QIcon PicturePair(const QString& sName) {
    QIcon pair;
    const QIcon normal = ImageList::Picture(sName);
    const QIcon selected = ImageList::SelectedPicture(sName);
    for (int size : {16, 24, 32}) {
        pair.addPixmap(normal.pixmap(size, size), QIcon::Normal);
        pair.addPixmap(selected.pixmap(size, size), QIcon::Selected);
    }
    return pair;
}

} // namespace

const QStringList& frmMain::MenuEntries() {
    static const QStringList entries = [] {
        QStringList texts;
        for (const MenuEntry& entry : MenuTable())
            texts << QString::fromLatin1(entry.text);
        return texts;
    }();
    return entries;
}

frmMain::frmMain(const DesktopModels& models, OwnerDialogs& dialogs, QWidget* parent)
    : QWidget(parent)
    , m_models(models)
    , m_dialogs(dialogs)
    , m_bindings(new OptionBindings(models.settings, this))
    , m_tvMenu(new QTreeWidget)
    , m_panelArea(new QGridLayout)
    , m_lblLocalIP(new LinkLabel) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Pocketlane"));
    setWindowIcon(ImageList::ProgramIcon());

    m_tvMenu->setObjectName(QStringLiteral("tvMenu"));
    m_tvMenu->setAccessibleName(tr("Panels"));
    m_tvMenu->setHeaderHidden(true);
    m_tvMenu->setRootIsDecorated(true);
    m_tvMenu->setTextElideMode(Qt::ElideNone);
    m_tvMenu->header()->setStretchLastSection(false);
    // Passing over an entry with the keyboard shows its panel; "Minimize"
    // acts only when the owner activates it (a click, Enter).
    connect(m_tvMenu, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (!current || current->data(0, Qt::UserRole).toString() != Minimize)
            ShowPanelFor(current);
    });
    connect(m_tvMenu, &QTreeWidget::itemClicked, this, &frmMain::activateEntry);
    connect(m_tvMenu, &QTreeWidget::itemActivated, this, &frmMain::activateEntry);

    m_lblLocalIP->setObjectName(QStringLiteral("lblLocalIP"));
    m_lblLocalIP->setLive(false);
    auto* address = new QWidget;
    auto* addressRow = new QHBoxLayout(address);
    addressRow->setContentsMargins(4, 0, 4, 0);
    auto* addressCaption = new QLabel(tr("Your IP Address:"));
    addressCaption->setBuddy(m_lblLocalIP);
    m_lblLocalIP->setAccessibleName(tr("Your IP Address"));
    addressRow->addWidget(addressCaption);
    addressRow->addWidget(m_lblLocalIP, 1);

    layOut(new Banner, address);
    BuildMenu();
    placePanels();
    if (!restoreGeometry(m_state.geometry()))
        resize(760, 680);
    const QString last = m_state.lastPanel();
    SelectEntry(m_panels.contains(last) ? last : About);
}

frmMain::~frmMain() {
    WritePendingEdits();
    saveWindowState();
    removeTrayIcon();
}

void frmMain::ShowAtStart() {
    if (m_state.startsMinimized())
        MinimizeToTray();
    else
        show();
}

void frmMain::saveWindowState() {
    m_state.setGeometry(saveGeometry());
}

// The tree menu is as wide as its longest entry at the current font, so
// that no entry is cut.
void frmMain::fitMenuWidth() {
    m_tvMenu->resizeColumnToContents(0);
    m_tvMenu->setFixedWidth(m_tvMenu->header()->sectionSize(0) + 2 * m_tvMenu->frameWidth() +
                            m_tvMenu->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

void frmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitMenuWidth();
}

void frmMain::activateEntry(QTreeWidgetItem* item) {
    // A click also counts as an activation where the style activates on a
    // single click: the window is hidden by then.
    if (item && item->data(0, Qt::UserRole).toString() == Minimize && isVisible() && !isMinimized())
        ShowPanelFor(item);
}

void frmMain::layOut(QWidget* banner, QWidget* address) {
    auto* body = new QHBoxLayout;
    body->addWidget(m_tvMenu);
    body->addLayout(m_panelArea, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner);
    layout->addLayout(body, 1);
    layout->addWidget(address);
}

void frmMain::BuildMenu() {
    const QSignalBlocker quiet(m_tvMenu);
    m_tvMenu->clear();
    for (const MenuEntry& row : MenuTable()) {
        QTreeWidgetItem* parent = *row.parent ? entry(QString::fromLatin1(row.parent)) : nullptr;
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tvMenu);
        item->setText(0, tr(row.text));
        item->setData(0, Qt::UserRole, QString::fromLatin1(row.text));
        item->setIcon(0, PicturePair(QString::fromLatin1(row.picture)));
    }
    entry(Modules)->setExpanded(true);
    fitMenuWidth();
}

QTreeWidgetItem* frmMain::entry(const QString& sKey) const {
    for (QTreeWidgetItemIterator it(m_tvMenu); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toString() == sKey)
            return *it;
    }
    return nullptr;
}

void frmMain::placePanels() {
    auto* status = new StatusPanel(m_models.log, m_dialogs);
    PlacePanel(status);
    m_panels.insert(QStringLiteral("Status"), status);
    m_graffiti = new GraffitiPanel(m_models.board, *m_bindings, m_dialogs);
    m_help = new HelpPanel;
    auto* options = new OptionsPanel(m_models.settings, *m_bindings, m_dialogs);
    options->AddGroup(new StartOptionsGroup(m_state, m_models.log));
    auto* about = new AboutPanel;
    m_siteAddresses = about->SiteAddresses();
    const QList<std::pair<QString, QWidget*>> panels = {
        {QStringLiteral("Shared Folders"), new SharedFoldersPanel(m_models.folders, m_dialogs)},
        {QStringLiteral("Options"), options},
        {QStringLiteral("Graffiti"), m_graffiti},
        {About, about},
        {QStringLiteral("My Computer"), new MyComputerPanel(*m_bindings)},
        {QStringLiteral("Help"), m_help},
        {Modules, new ModulesPanel(m_models.server, *m_bindings)},
    };
    for (const auto& [key, panel] : panels) {
        PlacePanel(panel);
        m_panels.insert(key, panel);
    }
}

// Every panel takes the same rectangle beside the tree menu, hidden.
void frmMain::PlacePanel(QWidget* panel) {
    panel->hide();
    panel->setContentsMargins(0, 0, 0, 0);
    m_panelArea->addWidget(panel, 0, 0);
}

void frmMain::ShowPanelFor(QTreeWidgetItem* item) {
    for (QWidget* panel : std::as_const(m_panels))
        panel->hide();
    if (!item)
        return;
    const QString key = item->data(0, Qt::UserRole).toString();
    if (key == Minimize) {
        m_panels.value(About)->show();
        MinimizeToTray();
        return;
    }
    if (QWidget* panel = m_panels.value(key)) {
        panel->show();
        m_state.setLastPanel(key);
    }
}

QWidget* frmMain::VisiblePanel() const {
    for (QWidget* panel : m_panels) {
        if (panel->isVisibleTo(this))
            return panel;
    }
    return nullptr;
}

void frmMain::SelectEntry(const QString& sKey) {
    QTreeWidgetItem* item = entry(sKey);
    if (m_tvMenu->currentItem() == item)
        ShowPanelFor(item);
    else
        m_tvMenu->setCurrentItem(item);
}

void frmMain::MinimizeToTray() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        showWithoutTray();
        return;
    }
    removeTrayIcon();
    m_oSystemTray = new frmSysTray(this);
    m_oSystemTray->AddMenuItem(tr("&Show Pocketlane"), QStringLiteral("Show"), true);
    m_oSystemTray->AddMenuItem(QStringLiteral("-"), QString(), false);
    m_oSystemTray->AddMenuItem(tr("&Close"), QStringLiteral("Close"), false);
    m_oSystemTray->setToolTip(QStringLiteral("Pocketlane"));
    m_oSystemTray->setIconHandle(windowIcon());
    connect(m_oSystemTray, &frmSysTray::MenuClick, this, [this](int, const QString& sKey) {
        if (sKey == QStringLiteral("Show")) {
            show();
            RestoreFromTray();
        } else if (sKey == QStringLiteral("Close")) {
            CloseByOwner();
        }
    });
    connect(m_oSystemTray, &frmSysTray::SysTrayDoubleClick, this, [this] {
        Raise();
        RestoreFromTray();
    });
    connect(m_oSystemTray, &frmSysTray::SysTrayMouseDown, this, [this](int eButton) {
        if (eButton == frmSysTray::RightButton && m_oSystemTray)
            m_oSystemTray->ShowMenu();
    });
    hide();
}

// Without a notification area a hidden window could not be brought back
// while the server goes on running: the window is minimized as usual.
void frmMain::showWithoutTray() {
    if (!m_toldNoTray) {
        m_models.log.LogStatus(LogNotice,
                               QStringLiteral("The desktop has no notification area: Pocketlane "
                                              "minimizes its window to the task bar instead."));
        m_toldNoTray = true;
    }
    SelectEntry(About);
    showMinimized();
}

frmSysTray* frmMain::SystemTray() const {
    return m_oSystemTray;
}

void frmMain::RestoreFromTray() {
    removeTrayIcon();
    SelectEntry(About);
}

// The icon goes at once; the component itself when its event is over (the
// menu click that asked for this may still be under way).
void frmMain::removeTrayIcon() {
    if (!m_oSystemTray)
        return;
    m_oSystemTray->disconnect(this);
    m_oSystemTray->RemoveIcon();
    m_oSystemTray->deleteLater();
    m_oSystemTray = nullptr;
}

void frmMain::SetLocalIP(const QString& sText, const QString& sTag, const QUrl& target) {
    m_lblLocalIP->setText(sText);
    m_lblLocalIP->setTarget(target);
    m_lblLocalIP->setLive(sTag == QStringLiteral("1"));
}

void frmMain::SetUrlOpener(const std::function<void(const QUrl&)>& opener) {
    const QList<LinkLabel*> labels = findChildren<LinkLabel*>();
    for (LinkLabel* label : labels)
        label->setOpener(opener);
}

void frmMain::CloseByOwner() {
    if (!isVisible()) {
        // Hidden in the notification area: the same close path, without
        // a window to close.
        QCloseEvent event;
        closeEvent(&event);
        return;
    }
    close();
}

void frmMain::EndWithoutQuestion() {
    m_endingWithoutQuestion = true;
    close();
}

void frmMain::WritePendingEdits() {
    m_bindings->writePendingText();
}

void frmMain::Raise() {
    if (m_oSystemTray)
        RestoreFromTray();
    showNormal();
    raise();
    activateWindow();
}

// Every close asks but the program's own endings (EndWithoutQuestion): the
// window's close button and the notification menu's "&Close" are the
// owner's; a session end, SIGTERM or a phone's "Shutdown Pocketlane" must
// not wait for an answer nobody may be there to give.
void frmMain::closeEvent(QCloseEvent* event) {
    if (!m_endingWithoutQuestion &&
        m_dialogs.Ask(this, QMessageBox::Question, tr("Close Pocketlane"),
                      tr("Are you sure you want to close Pocketlane?"),
                      QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        event->ignore();
        return;
    }
    WritePendingEdits();
    saveWindowState();
    removeTrayIcon();
    event->accept();
    hide();
    Q_EMIT Closed();
}
