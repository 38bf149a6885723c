#include "desktop/StatusViewModel.h"

#include "base/StatusLog.h"
#include "desktop/ImageList.h"

StatusViewModel::StatusViewModel(StatusLog& log, QObject* parent)
    : QSortFilterProxyModel(parent)
    , m_log(log) {
    setSourceModel(&log);
    // The log drops its oldest lines when full: those hidden go first.
    connect(&log, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int, int last) {
                m_hiddenLines = std::max(0, m_hiddenLines - (last + 1));
            });
}

QString StatusViewModel::PictureNameFor(int level) {
    switch (level) {
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
        const int level = QSortFilterProxyModel::data(index, StatusLog::LevelRole).toInt();
        return ImageList::Picture(PictureNameFor(level));
    }
    if (role == Qt::ToolTipRole && index.isValid())
        return StatusLog::formatLine(m_log.line(mapToSource(index).row()));
    return QSortFilterProxyModel::data(index, role);
}

QVariant StatusViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return section == StatusLog::DateColumn ? tr("Date") : tr("Message");
    return QSortFilterProxyModel::headerData(section, orientation, role);
}

bool StatusViewModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    return sourceRow >= m_hiddenLines;
}

void StatusViewModel::clearView() {
    m_hiddenLines = m_log.rowCount();
    invalidateRowsFilter();
}

QString StatusViewModel::shownText(const QModelIndexList& rows) const {
    QStringList lines;
    if (rows.isEmpty()) {
        for (int row = 0; row < rowCount(); ++row)
            lines << StatusLog::formatLine(m_log.line(mapToSource(index(row, 0)).row()));
    }
    for (const QModelIndex& row : rows)
        lines << StatusLog::formatLine(m_log.line(mapToSource(row).row()));
    return lines.isEmpty() ? QString() : lines.join(u'\n') + u'\n';
}
