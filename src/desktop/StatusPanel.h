#pragma once

#include "desktop/StatusViewModel.h"
#include <QWidget>

class OwnerDialogs;
class QTreeView;
class StatusLog;

// The Status panel (`picStatus`): the list `lvStatus` of the status log,
// following its newest line; its context menu copies the selected lines
// (or all shown), saves the shown lines to a file, or clears the view.
class StatusPanel : public QWidget {
    Q_OBJECT
public:
    StatusPanel(StatusLog& log, OwnerDialogs& dialogs, QWidget* parent = nullptr);
    QTreeView* List() const { return m_list; }

    void CopyLines();
    void SaveLinesAs();
    void ClearView();

private:
    StatusViewModel m_model;
    OwnerDialogs& m_dialogs;
    QTreeView* m_list;
};
