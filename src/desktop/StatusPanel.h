#pragma once

#include <QSortFilterProxyModel>
#include <QWidget>

class OwnerDialogs;
class QTreeView;
class StatusLog;

// The status log as the Status panel shows it: the log's own columns, with
// the picture of each line's level and the whole line as its tooltip. The
// owner may clear the view: the lines logged so far leave the view, never
// the log itself (nor what a headless server writes to stderr).
class StatusViewModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit StatusViewModel(StatusLog& log, QObject* parent = nullptr);
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The picture's name for a level: errors, notices (and any other level),
    // details.
    static QString PictureNameFor(int iLevel);

    // Hides every line logged so far; later lines show as they come.
    void clearView();
    // The lines shown, one a line as the log writes them.
    QString shownText(const QModelIndexList& rows = {}) const;

protected:
    bool filterAcceptsRow(int iSourceRow, const QModelIndex& sourceParent) const override;

private:
    StatusLog& m_log;
    // Lines of the log (from its oldest) that the view no longer shows.
    int m_hiddenLines = 0;
};

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
