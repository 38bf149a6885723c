#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

// Levels of the status log.
enum LogLevel { LogError = 1, LogNotice = 2, LogDetail = 3 };

// The running log of what the server does, as a two-column model ("Date",
// "Message") that the Status panel's list view shows. Every part of the
// program writes to it through LogStatus.
class StatusLog : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Line {
        // In UTC: taking the local time for every line would cost more than
        // the rest of the line.
        QDateTime when;
        int level = LogNotice;
        QString message;
        // The local date and time of `when` to the second, in ISO form,
        // shared by the lines of one second.
        QString stamp;
    };

    enum Column { DateColumn = 0, MessageColumn = 1 };
    enum Role { LevelRole = Qt::UserRole + 1 };

    // The log keeps the newest lines only, and no more than MaxBytes of
    // their texts, so that a server that runs for months with visitors (or
    // is fed long texts by one) keeps a flat memory footprint.
    static constexpr int MaxLines = 10000;
    static constexpr qsizetype MaxBytes = qsizetype{4} * 1024 * 1024;

    explicit StatusLog(QObject* parent = nullptr);

    // Appends a line; level-3 lines only while extended logging is on. The
    // switch is asked at every call.
    void LogStatus(int level, const QString& message);

    // Where LogStatus asks whether extended logging is on (default: off).
    void setExtendedLoggingSwitch(std::function<bool()> isOn);

    // The lines held, oldest first.
    QList<Line> lines() const;
    const Line& line(int row) const;
    // The bytes of the texts held.
    qsizetype textBytes() const { return m_textBytes; }
    // The line as one text: date, level and message (the headless program's
    // stderr mirror).
    static QString formatLine(const Line& line);
    // The same text in UTF-8 (as toLocal8Bit gives it here: half a
    // surrogate pair becomes U+FFFD), appended to out without a text of its
    // own in between (the mirror gathers many lines in one buffer).
    static void appendLineUtf8(QByteArray& out, const Line& line);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void lineAdded(const StatusLog::Line& line);

private:
    static qsizetype bytesOf(const Line& line) {
        return line.message.size() * qsizetype(sizeof(QChar));
    }
    void dropOldest(int count);
    void grow();
    // The stamp of the second that msecsSinceEpoch falls in; formatted once
    // per second.
    const QString& stampOf(qint64 msecsSinceEpoch);

    // A ring: the oldest line sits at m_first, the newest m_count - 1
    // places after it, so that dropping the oldest moves nothing.
    std::vector<Line> m_ring;
    int m_first = 0;
    int m_count = 0;
    qsizetype m_textBytes = 0;
    std::function<bool()> m_extendedLogging;
    qint64 m_stampSecond = -1;
    QString m_stamp;
};
