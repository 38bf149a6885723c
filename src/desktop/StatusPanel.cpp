#include "desktop/StatusPanel.h"

#include "base/StatusLog.h"
#include "desktop/ImageList.h"

#include <QHeaderView>
#include <QTreeView>
#include <QVBoxLayout>

StatusViewModel::StatusViewModel(StatusLog& log, QObject* parent)
    : QIdentityProxyModel(parent) {
    setSourceModel(&log);
}

QString StatusViewModel::PictureNameFor(int iLevel) {
    switch (iLevel) {
    case LogError:
        return QStringLiteral("error");
    case LogDetail:
        return QStringLiteral("detail");
    default:
        return QStringLiteral("notice");
    }
}

QVariant StatusViewModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::DecorationRole && index.column() == StatusLog::DateColumn) {
        const int level = QIdentityProxyModel::data(index, StatusLog::LevelRole).toInt();
        return ImageList::Picture(PictureNameFor(level));
    }
    return QIdentityProxyModel::data(index, role);
}

StatusPanel::StatusPanel(StatusLog& log, QWidget* parent)
    : QWidget(parent)
    , m_model(log)
    , m_list(new QTreeView(this)) {
    setObjectName(QStringLiteral("picStatus"));
    m_list->setObjectName(QStringLiteral("lvStatus"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setModel(&m_model);
    m_list->header()->setStretchLastSection(true);
    m_list->setColumnWidth(StatusLog::DateColumn, 170);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    // A new line is seen without scrolling by hand.
    connect(&m_model, &QAbstractItemModel::rowsInserted, m_list, &QTreeView::scrollToBottom);
}
