#pragma once

#include "site/graffiti/GraffitiBoard.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <optional>

class QSqlQuery;
class Settings;
class StatusLog;

// The Graffiti board kept on disk, so that visitors' messages outlive a
// restart: a SQLite database that follows the board change by change (one
// small transaction per message added or removed), read once at start. It
// holds the newest GraffitiBoard::MaxMessages messages, like the board.
//
// The database runs in WAL mode with synchronous=NORMAL: a commit is in the
// log file before the visitor's answer leaves, so a killed program loses
// nothing it acknowledged, and no post waits on the disk's flush (only a
// power cut may lose the last commits, never the file's consistency).
//
// Nothing the file does stops the board: a file that cannot be opened, read
// or trusted is logged once at level 1 and set aside, and the board stays in
// memory for the rest of the run; a database that another program holds
// locked is never waited on: the write waits in a queue and is tried again
// later.
//
// With KeepGraffiti off the board lives in memory only and the stored board
// is emptied; turning it on again stores the board as it stands.
class GraffitiStore : public QObject {
    Q_OBJECT
public:
    static constexpr int RetryMs = 250;

    // $XDG_DATA_HOME/pocketlane/graffiti.sqlite (~/.local/share/... when unset).
    static QString DefaultFilePath();

    GraffitiStore(GraffitiBoard& board, const Settings& settings, StatusLog& log,
                  QString filePath = DefaultFilePath(), QObject* parent = nullptr);
    ~GraffitiStore() override;

    // With KeepGraffiti on: opens the database, creating it, and puts its
    // messages on the board.
    void Start();

    // Whether the board's changes are being written to disk.
    bool IsKeeping() const { return m_keeping; }
    // Writes waiting for a database that another program holds locked.
    int PendingWrites() const { return int(m_pending.size()); }
    const QString& FilePath() const { return m_filePath; }

private:
    struct Write {
        enum Kind { Add, Remove, RemoveAll } kind;
        QList<GraffitiMessage> messages; // Add: the messages; Remove: the one
    };
    enum class Outcome { Done, Busy, Failed };

    bool openDatabase();
    void closeDatabase();
    std::optional<QList<GraffitiMessage>> readBoard();
    void keep(bool bOn);
    void enqueue(Write write);
    void flush();
    Outcome execute(const Write& write);
    Outcome failed(const QSqlQuery& query, const QString& doing, bool bRetryWhenBusy);
    void giveUp(const QString& reason, bool bSetAside);

    GraffitiBoard& m_board;
    const Settings& m_settings;
    StatusLog& m_log;
    QString m_filePath;
    QString m_connection;
    bool m_open = false;
    bool m_keeping = false;
    bool m_gaveUp = false;
    std::deque<Write> m_pending;
    QTimer m_retry;
};
