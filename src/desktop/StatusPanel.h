#pragma once

#include <QIdentityProxyModel>
#include <QWidget>

class QTreeView;
class StatusLog;

// The status log as the Status panel shows it: the log's own columns, with
// the picture of each line's level.
class StatusViewModel : public QIdentityProxyModel {
    Q_OBJECT
public:
    explicit StatusViewModel(StatusLog& log, QObject* parent = nullptr);
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The picture's name for a level: errors, notices (and any other level),
    // details.
    static QString PictureNameFor(int iLevel);
};

// The Status panel (`picStatus`): the list `lvStatus` of the status log,
// following its newest line.
class StatusPanel : public QWidget {
    Q_OBJECT
public:
    explicit StatusPanel(StatusLog& log, QWidget* parent = nullptr);
    QTreeView* List() const { return m_list; }

private:
    StatusViewModel m_model;
    QTreeView* m_list;
};
