#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <functional>

class Settings;

// One message of the board: its number (which only grows, so that a page
// link and the stored board can name it whatever was added or removed
// since), when it was posted, and its stamped text.
struct GraffitiMessage {
    qint64 id = 0;
    qint64 postedMs = 0; // milliseconds since the epoch
    QByteArray text;
    bool operator==(const GraffitiMessage& other) const = default;
};

// The Graffiti board: short public messages, oldest first. Visitors' pages
// and the owner's panel both add through AddGraffiti, which stamps the text
// with the date and time the options ask for (read at the moment of the
// call). The board keeps the newest MaxMessages messages, so that a script
// posting in a loop cannot fill the PC's memory. Every change is signalled
// with the message it concerns, so that the stored board can follow it.
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

    // Puts back messages kept from an earlier run, oldest first (the newest
    // MaxMessages of them), in place of the board's; signals no change.
    void restore(QList<GraffitiMessage> messages);

    const QList<GraffitiMessage>& entries() const { return m_messages; }
    // The texts alone, oldest first.
    QList<QByteArray> messages() const;
    const QByteArray& text(int index) const { return m_messages.at(index).text; }
    int count() const { return int(m_messages.size()); }
    // The index of the first message whose number is `id` or later.
    int indexFrom(qint64 id) const;
    // The index of the first of the last `count` messages (what a page
    // shows, oldest first, up to the end of the list).
    int firstOfLast(int count) const { return qMax(0, this->count() - count); }

    void removeAt(int row);
    void removeAll();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void messageAdded(const GraffitiMessage& message);
    void messageRemoved(qint64 id);
    void allRemoved();

private:
    const Settings& m_settings;
    std::function<QDateTime()> m_now;
    QList<GraffitiMessage> m_messages;
    qint64 m_nextId = 1;
};
