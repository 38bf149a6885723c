#include "base/StatusLog.h"

#include <QLocale>

StatusLog::StatusLog(QObject* parent)
    : QAbstractTableModel(parent) {}

void StatusLog::setExtendedLoggingSwitch(std::function<bool()> isOn) {
    m_extendedLogging = std::move(isOn);
}

void StatusLog::LogStatus(int level, const QString& message) {
    if (level == LogDetail && !(m_extendedLogging && m_extendedLogging()))
        return;
    if (m_lines.size() >= MaxLines) {
        beginRemoveRows({}, 0, 0);
        m_lines.removeFirst();
        endRemoveRows();
    }
    const int row = int(m_lines.size());
    beginInsertRows({}, row, row);
    m_lines.append(Line{QDateTime::currentDateTime(), level, message});
    endInsertRows();
    Q_EMIT lineAdded(m_lines.constLast());
}

QString StatusLog::formatLine(const Line& line) {
    return line.when.toString(Qt::ISODate) + u' ' + QString::number(line.level) + u' ' +
           line.message;
}

int StatusLog::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_lines.size());
}

int StatusLog::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant StatusLog::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_lines.size())
        return {};
    const Line& line = m_lines.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == DateColumn)
            return QLocale::system().toString(line.when, QLocale::ShortFormat);
        return line.message;
    case LevelRole:
        return line.level;
    default:
        return {};
    }
}

QVariant StatusLog::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == DateColumn ? QStringLiteral("Date") : QStringLiteral("Message");
}
