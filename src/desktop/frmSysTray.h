#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <memory>

class QMenu;

// An icon in the desktop's notification area, for as long as the component
// lives: it is added when the component is made and removed when it is
// destroyed. It holds a pop-up menu of keyed items and turns the icon's
// clicks into events.
class frmSysTray : public QObject {
    Q_OBJECT
public:
    enum MouseButton { LeftButton = 1, RightButton = 2 };
    enum BalloonIcon { NoBalloonIcon = 0, InformationIcon = 1, WarningIcon = 2, ErrorIcon = 3 };

    explicit frmSysTray(QObject* parent = nullptr);
    ~frmSysTray() override;

    // Whether the notification area shows balloon messages.
    bool HasBalloonSupport() const { return m_balloonSupport; }
    // Longest tooltip: 127 characters with balloon support, 63 without.
    int ToolTipCapacity() const { return m_balloonSupport ? 127 : 63; }

    void ShowBalloonTip(const QString& sMessage, const QString& sTitle = {},
                        int eIcon = NoBalloonIcon, int lTimeOutMs = 10000);

    QString ToolTip() const { return m_toolTip; }
    void setToolTip(const QString& sText);

    QIcon IconHandle() const { return m_icon; }
    void setIconHandle(const QIcon& icon);

    // Adds an item and returns its index: the first call fills item 0, which
    // always exists; a caption "-" is a separator line.
    int AddMenuItem(const QString& sCaption, const QString& sKey = {}, bool bDefault = false);
    void EnableMenuItem(int lIndex, bool bState);
    // Removes an item, the later ones moving one place down; item 0 only
    // loses its caption. Returns 0.
    int RemoveMenuItem(int iIndex);

    int DefaultMenuIndex() const { return m_defaultIndex; }
    void setDefaultMenuIndex(int lIndex);

    // Pops the menu up at the pointer, the default item in bold.
    void ShowMenu();

    int MenuItemCount() const { return int(m_items.size()); }
    QString MenuCaption(int lIndex) const { return m_items.value(lIndex).caption; }
    QString MenuKey(int lIndex) const { return m_items.value(lIndex).key; }
    bool IsMenuItemEnabled(int lIndex) const { return m_items.value(lIndex).enabled; }
    // The menu as last shown (null before ShowMenu).
    QMenu* Menu() const { return m_menu.get(); }
    // The icon itself, whose activation the component turns into events.
    QSystemTrayIcon& Icon() { return m_trayIcon; }

    // Takes the icon out of the notification area at once (the component is
    // about to be destroyed).
    void RemoveIcon() { m_trayIcon.hide(); }

Q_SIGNALS:
    void SysTrayMouseDown(int eButton);
    void SysTrayMouseUp(int eButton);
    void SysTrayMouseMove();
    void SysTrayDoubleClick(int eButton);
    void MenuClick(int lIndex, const QString& sKey);
    void BalloonShow();
    void BalloonHide();
    void BalloonTimeOut();
    void BalloonClicked();

private:
    struct MenuItem {
        QString caption;
        QString key;
        bool enabled = true;
    };

    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void buildMenu();

    bool m_balloonSupport;
    QSystemTrayIcon m_trayIcon;
    QString m_toolTip;
    QIcon m_icon;
    QList<MenuItem> m_items{MenuItem{}};
    bool m_firstItemUsed = false;
    int m_defaultIndex = 0;
    std::unique_ptr<QMenu> m_menu;
};
