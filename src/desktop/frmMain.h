#pragma once

#include "desktop/WindowState.h"

#include <QHash>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>

class GraffitiBoard;
class GraffitiPanel;
class HelpPanel;
class LinkLabel;
class OptionBindings;
class OwnerDialogs;
class QTreeWidget;
class QTreeWidgetItem;
class QGridLayout;
class Settings;
class SharedFolderList;
class SiteAddressView;
class StatusLog;
class WapServer;
class frmSysTray;

// The models the window shows and changes; they hold the truth and outlive
// the window.
struct DesktopModels {
    StatusLog& log;
    Settings& settings;
    SharedFolderList& folders;
    GraffitiBoard& board;
    WapServer& server;
};

// The owner's window, titled "Pocketlane": a banner, the tree menu `tvMenu`
// on the left and one panel at a time beside it, and the PC's address below.
// "Minimize" hides the window into the notification area (`frmSysTray`).
class frmMain : public QWidget {
    Q_OBJECT
public:
    frmMain(const DesktopModels& models, OwnerDialogs& dialogs, QWidget* parent = nullptr);
    ~frmMain() override;

    // The tree entries, in order; each entry's key is its text.
    static const QStringList& MenuEntries();

    void BuildMenu();
    void ShowPanelFor(QTreeWidgetItem* entry);
    void PlacePanel(QWidget* panel);
    void MinimizeToTray();
    void RestoreFromTray();

    // Selects a tree entry by its key, which shows its panel.
    void SelectEntry(const QString& sKey);
    QWidget* PanelFor(const QString& sKey) const { return m_panels.value(sKey); }
    QWidget* VisiblePanel() const;

    QTreeWidget* Menu() const { return m_tvMenu; }
    frmSysTray* SystemTray() const;
    HelpPanel* Help() const { return m_help; }
    GraffitiPanel* Graffiti() const { return m_graffiti; }
    LinkLabel* LocalIPLabel() const { return m_lblLocalIP; }
    SiteAddressView* SiteAddresses() const { return m_siteAddresses; }

    // The address field: its text, and its tag ("1" makes it a live link to
    // the what-is-my-IP page).
    void SetLocalIP(const QString& sText, const QString& sTag = {}, const QUrl& target = {});

    // How link labels open their pages (the desktop's browser by default).
    void SetUrlOpener(const std::function<void(const QUrl&)>& opener);

    // The owner's close (the window's close button, the notification menu's
    // "&Close"): asks first.
    void CloseByOwner();
    // The program ends for another reason (the session ends, SIGTERM, a
    // phone's "Shutdown Pocketlane"): the window closes without a question.
    void EndWithoutQuestion();
    // Writes what the owner typed into a field that has not lost the focus.
    void WritePendingEdits();
    // Shows the window, raised (a second start of the program asks this).
    void Raise();
    // Shows the window at the program's start, or minimizes it to the
    // notification area when the owner chose to start that way.
    void ShowAtStart();

Q_SIGNALS:
    // The window has closed; the program ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void layOut(QWidget* banner, QWidget* address);
    void placePanels();
    void removeTrayIcon();
    void activateEntry(QTreeWidgetItem* item);
    void fitMenuWidth();
    void saveWindowState();
    void showWithoutTray();
    QTreeWidgetItem* entry(const QString& sKey) const;

    DesktopModels m_models;
    WindowState m_state;
    OwnerDialogs& m_dialogs;
    OptionBindings* m_bindings;
    QTreeWidget* m_tvMenu;
    QGridLayout* m_panelArea;
    QHash<QString, QWidget*> m_panels;
    HelpPanel* m_help = nullptr;
    GraffitiPanel* m_graffiti = nullptr;
    SiteAddressView* m_siteAddresses = nullptr;
    LinkLabel* m_lblLocalIP;
    QPointer<frmSysTray> m_oSystemTray;
    bool m_endingWithoutQuestion = false;
    bool m_toldNoTray = false;
};
