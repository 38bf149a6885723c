#include "desktop/SharedFoldersPanel.h"

#include "desktop/NamedWidget.h"
#include "desktop/OwnerDialogs.h"
#include "settings/SharedFolderList.h"

#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString ProgramName = QStringLiteral("Pocketlane");

} // namespace

SharedFoldersPanel::SharedFoldersPanel(SharedFolderList& folders, OwnerDialogs& dialogs,
                                       QWidget* parent)
    : QWidget(parent)
    , m_folders(folders)
    , m_dialogs(dialogs)
    , m_list(NamedModelList("lbSharedFolders", folders))
    , m_remove(NamedWidget<QPushButton>("btnRemoveFolder", tr("Remove")))
    , m_removeAll(NamedWidget<QPushButton>("btnRemoveAll", tr("Remove All"))) {
    setObjectName(QStringLiteral("picSharedFolders"));
    m_list->setAccessibleName(tr("Shared folders"));

    auto* add = NamedWidget<QPushButton>("btnAddFolder", tr("Add"));
    connect(add, &QPushButton::clicked, this, &SharedFoldersPanel::AddFolder);
    connect(m_remove, &QPushButton::clicked, this, &SharedFoldersPanel::RemoveFolder);
    connect(m_removeAll, &QPushButton::clicked, this, &SharedFoldersPanel::RemoveAll);
    connect(&m_folders, &SharedFolderList::emptyChanged, this, &SharedFoldersPanel::showEmpty);
    showEmpty(m_folders.folders().isEmpty());

    auto* intro = new QLabel(tr("Visitors may browse these folders and everything below them."));
    intro->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_list, 1);
    AddButtonRow(*layout, {add, m_remove, m_removeAll});
}

QString SharedFoldersPanel::AsMessageText(const QString& sText) {
    QString text = sText;
    return text.replace(u'\r', u'\n');
}

void SharedFoldersPanel::AddFolder() {
    const QString chosen = m_dialogs.BrowseFolders(this, tr("Select a Folder"));
    if (chosen.isEmpty())
        return;
    const auto askToReplace = [this] {
        return m_dialogs.Ask(this, QMessageBox::Question, ProgramName,
                             AsMessageText(SharedFolderList::ReplaceSubFoldersText()),
                             QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    };
    const auto askToExpose = [this](const QString& sExposure) {
        return m_dialogs.Ask(this, QMessageBox::Warning, ProgramName,
                             sExposure + QStringLiteral("\nShare it all the same?"),
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    const auto result = m_folders.addFolder(chosen.toUtf8(), askToReplace, askToExpose);
    if (result.outcome == SharedFolderList::AddResult::AlreadyShared)
        m_dialogs.Ask(this, QMessageBox::Information, ProgramName,
                      AsMessageText(SharedFolderList::AlreadySharedText()), QMessageBox::Ok);
}

void SharedFoldersPanel::RemoveFolder() {
    const QModelIndex selected = m_list->currentIndex();
    if (!selected.isValid() || !m_list->selectionModel()->isSelected(selected))
        return;
    m_folders.removeAt(selected.row());
}

void SharedFoldersPanel::RemoveAll() {
    if (m_dialogs.Ask(this, QMessageBox::Question, ProgramName,
                      tr("Are you sure you want to remove all the shared folders?"),
                      QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
        m_folders.removeAll();
}

void SharedFoldersPanel::showEmpty(bool bEmpty) {
    m_remove->setEnabled(!bEmpty);
    m_removeAll->setEnabled(!bEmpty);
}
