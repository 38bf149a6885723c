#include "site/graffiti/GraffitiBoard.h"

#include "base/SafeText.h"
#include "settings/Settings.h"

#include <QLocale>

#include <algorithm>

GraffitiBoard::GraffitiBoard(const Settings& settings, QObject* parent)
    : QAbstractListModel(parent)
    , m_settings(settings)
    , m_now([] { return QDateTime::currentDateTime(); }) {}

void GraffitiBoard::setClock(std::function<QDateTime()> now) {
    m_now = std::move(now);
}

// English month names whatever the system's language: the board's readers
// are phones anywhere.
QByteArray GraffitiBoard::stampFor(const QDateTime& when) const {
    const QLocale english = QLocale::c();
    const bool withDate = m_settings.graffitiShowDate();
    const bool withTime = m_settings.graffitiShowTime();
    QString stamp;
    if (withDate)
        stamp = english.toString(when.date(), QStringLiteral("dd MMM"));
    if (withDate && withTime)
        stamp += u' ';
    if (withTime)
        stamp += english.toString(when.time(), QStringLiteral("HH:mm"));
    if (!stamp.isEmpty())
        stamp += QStringLiteral(" - ");
    return stamp.toUtf8();
}

bool GraffitiBoard::AddGraffiti(const QByteArray& sText) {
    if (sText.isEmpty())
        return false;
    const QDateTime now = m_now();
    const GraffitiMessage message{
        m_nextId++, now.toMSecsSinceEpoch(),
        SafeText::LeftCharacters(stampFor(now) + SafeText::MakeXmlSafe(sText),
                                 MaxMessageCharacters)};
    if (m_messages.size() >= MaxMessages) {
        beginRemoveRows({}, 0, 0);
        m_messages.removeFirst();
        endRemoveRows();
    }
    const int row = count();
    beginInsertRows({}, row, row);
    m_messages.append(message);
    endInsertRows();
    Q_EMIT messageAdded(message);
    return true;
}

void GraffitiBoard::restore(QList<GraffitiMessage> messages) {
    beginResetModel();
    m_messages = std::move(messages);
    if (m_messages.size() > MaxMessages)
        m_messages.remove(0, m_messages.size() - MaxMessages);
    if (!m_messages.isEmpty())
        m_nextId = qMax(m_nextId, m_messages.last().id + 1);
    endResetModel();
}

QList<QByteArray> GraffitiBoard::messages() const {
    QList<QByteArray> texts;
    texts.reserve(m_messages.size());
    for (const GraffitiMessage& message : m_messages)
        texts.append(message.text);
    return texts;
}

int GraffitiBoard::indexFrom(qint64 id) const {
    return int(std::lower_bound(m_messages.begin(), m_messages.end(), id,
                                [](const GraffitiMessage& message, qint64 value) {
                                    return message.id < value;
                                }) -
               m_messages.begin());
}

void GraffitiBoard::removeAt(int row) {
    if (row < 0 || row >= count())
        return;
    const qint64 id = m_messages.at(row).id;
    beginRemoveRows({}, row, row);
    m_messages.removeAt(row);
    endRemoveRows();
    Q_EMIT messageRemoved(id);
}

void GraffitiBoard::removeAll() {
    beginResetModel();
    m_messages.clear();
    endResetModel();
    Q_EMIT allRemoved();
}

int GraffitiBoard::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant GraffitiBoard::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count() || role != Qt::DisplayRole)
        return {};
    return QString::fromUtf8(m_messages.at(index.row()).text);
}
