#include "desktop/PanelMenu.h"

#include "desktop/ImageList.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QStyle>

namespace {

struct MenuEntry {
    const char* text;
    const char* parent;
    const char* picture;
};

// The entries are translated in the window's context, where translators
// find them beside the window's other texts.
QString Translated(const char* text) {
    return QCoreApplication::translate("frmMain", text);
}

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
QIcon PicturePair(const QString& name) {
    QIcon pair;
    const QIcon normal = ImageList::Picture(name);
    const QIcon selected = ImageList::SelectedPicture(name);
    for (int size : {16, 24, 32}) {
        pair.addPixmap(normal.pixmap(size, size), QIcon::Normal);
        pair.addPixmap(selected.pixmap(size, size), QIcon::Selected);
    }
    return pair;
}

} // namespace

PanelMenu::PanelMenu(QWidget* parent)
    : QTreeWidget(parent) {
    setObjectName(QStringLiteral("tvMenu"));
    setAccessibleName(Translated("Panels"));
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setTextElideMode(Qt::ElideNone);
    header()->setStretchLastSection(false);
}

const QStringList& PanelMenu::Entries() {
    static const QStringList entries = [] {
        QStringList texts;
        for (const MenuEntry& entry : MenuTable())
            texts << QString::fromLatin1(entry.text);
        return texts;
    }();
    return entries;
}

QString PanelMenu::KeyOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, Qt::UserRole).toString() : QString();
}

void PanelMenu::Build() {
    const QSignalBlocker quiet(this);
    clear();
    for (const MenuEntry& row : MenuTable()) {
        QTreeWidgetItem* parent = *row.parent ? Entry(QString::fromLatin1(row.parent)) : nullptr;
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        item->setText(0, Translated(row.text));
        item->setData(0, Qt::UserRole, QString::fromLatin1(row.text));
        item->setIcon(0, PicturePair(QString::fromLatin1(row.picture)));
    }
    Entry(QStringLiteral("Modules"))->setExpanded(true);
    fitWidth();
}

QTreeWidgetItem* PanelMenu::Entry(const QString& key) const {
    for (QTreeWidgetItemIterator it(const_cast<PanelMenu*>(this)); *it; ++it) {
        if (KeyOf(*it) == key)
            return *it;
    }
    return nullptr;
}

void PanelMenu::changeEvent(QEvent* event) {
    QTreeWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitWidth();
}

// The tree menu is as wide as its longest entry at the current font, so
// that no entry is cut.
void PanelMenu::fitWidth() {
    resizeColumnToContents(0);
    setFixedWidth(header()->sectionSize(0) + 2 * frameWidth() +
                  style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}
