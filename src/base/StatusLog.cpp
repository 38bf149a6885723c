#include "base/StatusLog.h"

#include <QLocale>
#include <QStringEncoder>

#include <algorithm>
#include <charconv>

StatusLog::StatusLog(QObject* parent)
    : QAbstractTableModel(parent) {}

void StatusLog::setExtendedLoggingSwitch(std::function<bool()> isOn) {
    m_extendedLogging = std::move(isOn);
}

void StatusLog::LogStatus(int level, const QString& message) {
    if (level == LogDetail && !(m_extendedLogging && m_extendedLogging()))
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    Line added{QDateTime::fromMSecsSinceEpoch(now, Qt::UTC), level, message, stampOf(now)};
    if (bytesOf(added) > MaxBytes)
        added.message.truncate(MaxBytes / qsizetype(sizeof(QChar)));
    // Make room: for the line itself, and for its text within the byte cap.
    int drop = 0;
    qsizetype freed = 0;
    while (drop < m_count &&
           (m_count - drop >= MaxLines || m_textBytes - freed + bytesOf(added) > MaxBytes))
        freed += bytesOf(line(drop++));
    dropOldest(drop);
    if (m_count == int(m_ring.size()))
        grow();
    beginInsertRows({}, m_count, m_count);
    Line& stored = m_ring[(m_first + m_count) % m_ring.size()];
    stored = std::move(added);
    m_textBytes += bytesOf(stored);
    ++m_count;
    endInsertRows();
    Q_EMIT lineAdded(stored);
}

const QString& StatusLog::stampOf(qint64 msecsSinceEpoch) {
    const qint64 second = msecsSinceEpoch / 1000;
    if (second != m_stampSecond) {
        m_stamp = QDateTime::fromSecsSinceEpoch(second).toString(Qt::ISODate);
        m_stampSecond = second;
    }
    return m_stamp;
}

void StatusLog::dropOldest(int count) {
    if (count <= 0)
        return;
    beginRemoveRows({}, 0, count - 1);
    for (int i = 0; i < count; ++i) {
        Line& oldest = m_ring[m_first];
        m_textBytes -= bytesOf(oldest);
        oldest = Line{};
        m_first = (m_first + 1) % int(m_ring.size());
    }
    m_count -= count;
    endRemoveRows();
}

// Doubles the ring (up to MaxLines) with its lines in order from the start.
void StatusLog::grow() {
    std::vector<Line> larger(std::min<size_t>(MaxLines, std::max<size_t>(64, m_ring.size() * 2)));
    for (int row = 0; row < m_count; ++row)
        larger[row] = std::move(m_ring[(m_first + row) % m_ring.size()]);
    m_ring = std::move(larger);
    m_first = 0;
}

const StatusLog::Line& StatusLog::line(int row) const {
    return m_ring[(m_first + row) % m_ring.size()];
}

QList<StatusLog::Line> StatusLog::lines() const {
    QList<Line> all;
    all.reserve(m_count);
    for (int row = 0; row < m_count; ++row)
        all.append(line(row));
    return all;
}

QString StatusLog::formatLine(const Line& line) {
    return line.stamp + u' ' + QString::number(line.level) + u' ' + line.message;
}

void StatusLog::appendLineUtf8(QByteArray& out, const Line& line) {
    // Stateless: a message that ends in half a surrogate pair leaves nothing
    // behind for the next line, exactly as a conversion of its own would.
    QStringEncoder encoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    char level[12];
    const auto levelEnd = std::to_chars(level, level + sizeof level, line.level).ptr;
    const qsizetype start = out.size();
    out.resize(start + encoder.requiredSpace(line.stamp.size() + line.message.size()) +
               (levelEnd - level) + 2);
    char* end = encoder.appendToBuffer(out.data() + start, line.stamp);
    *end++ = ' ';
    end = std::copy(level, levelEnd, end);
    *end++ = ' ';
    end = encoder.appendToBuffer(end, line.message);
    out.truncate(end - out.constData());
}

int StatusLog::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_count;
}

int StatusLog::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant StatusLog::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_count)
        return {};
    const Line& line = this->line(index.row());
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == DateColumn)
            return QLocale::system().toString(line.when.toLocalTime(), QLocale::ShortFormat);
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
