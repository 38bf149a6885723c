#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <functional>

class Settings;

// The Graffiti board: short public messages, oldest first, kept in memory
// only. Visitors' pages and the owner's panel both add through AddGraffiti,
// which stamps the text with the date and time the options ask for (read at
// the moment of the call). The board keeps the newest MaxMessages messages,
// so that a script posting in a loop cannot fill the PC's memory.
class GraffitiBoard : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int MaxMessages = 10000;
    // Longest message, stamp included, in characters.
    static constexpr int MaxMessageCharacters = 60;

    explicit GraffitiBoard(const Settings& settings, QObject* parent = nullptr);

    // Where the board takes the current local time from (tests fix it).
    void setClock(std::function<QDateTime()> now);

    // Stamps the text and appends the first MaxMessageCharacters characters.
    // The text is made safe for a deck first (valid UTF-8, no characters XML
    // forbids). An empty text adds nothing; returns whether a message was
    // added.
    bool AddGraffiti(const QByteArray& sText);

    // The stamp AddGraffiti puts before a text at the given time: "dd MMM
    // hh:mm - ", "dd MMM - ", "hh:mm - " or nothing, by the two options.
    QByteArray stampFor(const QDateTime& when) const;

    const QList<QByteArray>& messages() const { return m_messages; }
    int count() const { return int(m_messages.size()); }
    // The index of the first of the last `count` messages (what a page
    // shows, oldest first, up to the end of the list).
    int firstOfLast(int count) const { return qMax(0, this->count() - count); }

    void removeAt(int iRow);
    void removeAll();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    const Settings& m_settings;
    std::function<QDateTime()> m_now;
    QList<QByteArray> m_messages;
};
