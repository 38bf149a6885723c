#include "desktop/frmSysTray.h"

#include "desktop/ImageList.h"

#include <QCursor>
#include <QMenu>

frmSysTray::frmSysTray(QObject* parent)
    : QObject(parent)
    , m_balloonSupport(QSystemTrayIcon::supportsMessages())
    , m_icon(ImageList::ProgramIcon()) {
    m_trayIcon.setIcon(m_icon);
    setToolTip(QStringLiteral("Pocketlane"));
    connect(&m_trayIcon, &QSystemTrayIcon::activated, this, &frmSysTray::onActivated);
    connect(&m_trayIcon, &QSystemTrayIcon::messageClicked, this, &frmSysTray::BalloonClicked);
    m_trayIcon.show();
}

frmSysTray::~frmSysTray() {
    m_trayIcon.hide();
}

void frmSysTray::ShowBalloonTip(const QString& sMessage, const QString& sTitle, int eIcon,
                                int lTimeOutMs) {
    if (!m_balloonSupport)
        return;
    const auto icon = QSystemTrayIcon::MessageIcon(qBound(0, eIcon, 3));
    m_trayIcon.showMessage(sTitle.left(63), sMessage.left(255), icon, lTimeOutMs);
    Q_EMIT BalloonShow();
}

void frmSysTray::setToolTip(const QString& sText) {
    m_toolTip = sText.left(ToolTipCapacity());
    m_trayIcon.setToolTip(m_toolTip);
}

void frmSysTray::setIconHandle(const QIcon& icon) {
    if (icon.cacheKey() == m_icon.cacheKey())
        return;
    m_icon = icon;
    m_trayIcon.setIcon(m_icon);
}

int frmSysTray::AddMenuItem(const QString& sCaption, const QString& sKey, bool bDefault) {
    int index = 0;
    if (m_firstItemUsed) {
        m_items.append(MenuItem{});
        index = int(m_items.size()) - 1;
    }
    m_firstItemUsed = true;
    m_items[index].caption = sCaption;
    m_items[index].key = sKey;
    if (bDefault)
        m_defaultIndex = index;
    return index;
}

void frmSysTray::EnableMenuItem(int lIndex, bool bState) {
    if (lIndex >= 0 && lIndex < m_items.size())
        m_items[lIndex].enabled = bState;
}

int frmSysTray::RemoveMenuItem(int iIndex) {
    if (iIndex < 0 || iIndex >= m_items.size())
        return 0;
    if (iIndex == 0) {
        m_items[0].caption.clear();
        return 0;
    }
    for (int i = iIndex; i + 1 < m_items.size(); ++i) {
        m_items[i].caption = m_items[i + 1].caption;
        m_items[i].key = m_items[i + 1].key;
    }
    m_items.removeLast();
    return 0;
}

void frmSysTray::setDefaultMenuIndex(int lIndex) {
    m_defaultIndex = (lIndex >= 0 && lIndex < m_items.size()) ? lIndex : 0;
}

void frmSysTray::buildMenu() {
    m_menu = std::make_unique<QMenu>();
    m_menu->setObjectName(QStringLiteral("mnuSysTray"));
    for (int i = 0; i < m_items.size(); ++i) {
        const MenuItem& item = m_items.at(i);
        if (item.caption == QStringLiteral("-")) {
            m_menu->addSeparator();
            continue;
        }
        QAction* action = m_menu->addAction(item.caption);
        action->setEnabled(item.enabled);
        if (i == m_defaultIndex) {
            QFont bold = action->font();
            bold.setBold(true);
            action->setFont(bold);
            m_menu->setDefaultAction(action);
        }
        connect(action, &QAction::triggered, this, [this, i] {
            if (i < m_items.size())
                Q_EMIT MenuClick(i, m_items.at(i).key);
        });
    }
}

void frmSysTray::ShowMenu() {
    buildMenu();
    m_menu->popup(QCursor::pos());
}

void frmSysTray::onActivated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        Q_EMIT SysTrayMouseDown(LeftButton);
        break;
    case QSystemTrayIcon::Context:
        Q_EMIT SysTrayMouseDown(RightButton);
        Q_EMIT SysTrayMouseUp(RightButton);
        break;
    case QSystemTrayIcon::DoubleClick:
        Q_EMIT SysTrayDoubleClick(LeftButton);
        break;
    default:
        break;
    }
}
