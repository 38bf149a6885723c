#pragma once

#include <QWidget>

class OwnerDialogs;
class QListView;
class QPushButton;
class SharedFolderList;

// The Shared Folders panel: the list `lbSharedFolders` of the folders the
// owner shares and the commands to add a folder, remove the selected one and
// remove them all. The list's rules (no folder inside another) are the
// model's; the panel asks the owner where the model needs an answer.
class SharedFoldersPanel : public QWidget {
    Q_OBJECT
public:
    SharedFoldersPanel(SharedFolderList& folders, OwnerDialogs& dialogs, QWidget* parent = nullptr);

    void AddFolder();
    void RemoveFolder();
    void RemoveAll();

    // A model text with its lines (joined by carriage returns) as a message
    // box shows them.
    static QString AsMessageText(const QString& sText);

private:
    void showEmpty(bool empty);

    SharedFolderList& m_folders;
    OwnerDialogs& m_dialogs;
    QListView* m_list;
    QPushButton* m_remove;
    QPushButton* m_removeAll;
};
