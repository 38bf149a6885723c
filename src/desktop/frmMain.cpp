#include "desktop/frmMain.h"

#include "base/StatusLog.h"
#include "desktop/AboutPanel.h"
#include "desktop/AddressRow.h"
#include "desktop/Banner.h"
#include "desktop/GraffitiPanel.h"
#include "desktop/HelpPanel.h"
#include "desktop/ImageList.h"
#include "desktop/LinkLabel.h"
#include "desktop/ModulesPanel.h"
#include "desktop/MyComputerPanel.h"
#include "desktop/OptionBindings.h"
#include "desktop/OptionsPanel.h"
#include "desktop/OwnerDialogs.h"
#include "desktop/SharedFoldersPanel.h"
#include "desktop/StartOptionsGroup.h"
#include "desktop/StatusPanel.h"
#include "desktop/frmSysTray.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

namespace {

const QString About = QStringLiteral("About");
const QString Minimize = QStringLiteral("Minimize");
const QString Modules = QStringLiteral("Modules");

} // namespace

const QStringList& frmMain::MenuEntries() {
    return PanelMenu::Entries();
}

frmMain::frmMain(const DesktopModels& models, OwnerDialogs& dialogs, QWidget* parent)
    : QWidget(parent)
    , m_models(models)
    , m_dialogs(dialogs)
    , m_bindings(new OptionBindings(models.settings, this))
    , m_tvMenu(new PanelMenu)
    , m_panelArea(new QGridLayout)
    , m_address(new AddressRow)
    , m_lblLocalIP(m_address->Field()) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Pocketlane"));
    setWindowIcon(ImageList::ProgramIcon());

    // Passing over an entry with the keyboard shows its panel; "Minimize"
    // acts only when the owner activates it (a click, Enter).
    connect(m_tvMenu, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (PanelMenu::KeyOf(current) != Minimize)
            ShowPanelFor(current);
    });
    connect(m_tvMenu, &QTreeWidget::itemClicked, this, &frmMain::activateEntry);
    connect(m_tvMenu, &QTreeWidget::itemActivated, this, &frmMain::activateEntry);

    layOut(new Banner, m_address);
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

void frmMain::activateEntry(QTreeWidgetItem* item) {
    // A click also counts as an activation where the style activates on a
    // single click: the window is hidden by then.
    if (PanelMenu::KeyOf(item) == Minimize && isVisible() && !isMinimized())
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
    m_tvMenu->Build();
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
    const QString key = PanelMenu::KeyOf(item);
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
    QTreeWidgetItem* item = m_tvMenu->Entry(sKey);
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

void frmMain::SetLocalIP(const QString& sText, const QString& tag, const QUrl& target) {
    m_address->SetAddress(sText, tag, target);
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
