#include "site/graffiti/GraffitiStore.h"

#include "base/FileAside.h"
#include "base/StatusLog.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// SQLite's result codes that mean "another connection holds the lock".
constexpr int SqliteBusy = 5;
constexpr int SqliteLocked = 6;

int primaryCode(const QSqlError& error) {
    return error.nativeErrorCode().toInt() & 0xFF;
}

// The file, created when missing, readable by its owner only (SQLite gives
// its log files the same mode); false when it cannot be opened so.
bool prepareFile(const QString& path) {
    const QFileInfo file(path);
    if (!QDir().mkpath(file.path()))
        return false;
    QFile::setPermissions(file.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool owned = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    return owned;
}

} // namespace

QString GraffitiStore::DefaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/pocketlane/graffiti.sqlite");
}

GraffitiStore::GraffitiStore(GraffitiBoard& board, const Settings& settings, StatusLog& log,
                             QString filePath, QObject* parent)
    : QObject(parent)
    , m_board(board)
    , m_settings(settings)
    , m_log(log)
    , m_filePath(std::move(filePath))
    , m_connection(QStringLiteral("graffiti-%1").arg(quintptr(this), 0, 16)) {
    m_retry.setSingleShot(true);
    m_retry.setInterval(RetryMs);
    connect(&m_retry, &QTimer::timeout, this, &GraffitiStore::flush);
    connect(&m_board, &GraffitiBoard::messageAdded, this, [this](const GraffitiMessage& message) {
        enqueue({Write::Add, {message}});
    });
    connect(&m_board, &GraffitiBoard::messageRemoved, this, [this](qint64 id) {
        enqueue({Write::Remove, {GraffitiMessage{id, 0, {}}}});
    });
    connect(&m_board, &GraffitiBoard::allRemoved, this, [this] {
        enqueue({Write::RemoveAll, {}});
    });
    connect(&m_settings, &Settings::keepGraffitiChanged, this, &GraffitiStore::keep);
}

GraffitiStore::~GraffitiStore() {
    closeDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

void GraffitiStore::Start() {
    if (!m_settings.keepGraffiti() || !openDatabase())
        return;
    if (const auto stored = readBoard()) {
        m_board.restore(*stored);
        m_keeping = true;
    }
}

bool GraffitiStore::openDatabase() {
    if (m_open)
        return true;
    if (m_gaveUp)
        return false;
    if (!prepareFile(m_filePath)) {
        giveUp(QStringLiteral("it cannot be opened for writing"), QFileInfo::exists(m_filePath));
        return false;
    }
    QSqlDatabase database =
        QSqlDatabase::contains(m_connection)
            ? QSqlDatabase::database(m_connection, false)
            : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    database.setDatabaseName(m_filePath);
    database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    m_open = database.open();
    if (!m_open) {
        giveUp(database.lastError().text(), true);
        return false;
    }
    QSqlQuery query(database);
    for (const char* statement :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL",
          "CREATE TABLE IF NOT EXISTS graffiti (id INTEGER PRIMARY KEY, posted INTEGER NOT "
          "NULL, text BLOB NOT NULL)"}) {
        if (!query.exec(QString::fromLatin1(statement))) {
            failed(query, QStringLiteral("opening"), false);
            return false;
        }
    }
    return true;
}

void GraffitiStore::closeDatabase() {
    if (!m_open)
        return;
    m_open = false;
    m_keeping = false;
    // The connection itself goes with the store: a query may still hold it.
    QSqlDatabase::database(m_connection, false).close();
}

// The newest MaxMessages, oldest first, after a check that the file is sound.
std::optional<QList<GraffitiMessage>> GraffitiStore::readBoard() {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("PRAGMA quick_check"))) {
        failed(query, QStringLiteral("reading"), false);
        return std::nullopt;
    }
    if (!query.next() || query.value(0).toString() != QLatin1String("ok")) {
        giveUp(QStringLiteral("it is damaged"), true);
        return std::nullopt;
    }
    query.prepare(QStringLiteral("SELECT id, posted, text FROM graffiti ORDER BY id DESC LIMIT ?"));
    query.addBindValue(GraffitiBoard::MaxMessages);
    if (!query.exec()) {
        failed(query, QStringLiteral("reading"), false);
        return std::nullopt;
    }
    QList<GraffitiMessage> messages;
    while (query.next())
        messages.prepend(GraffitiMessage{query.value(0).toLongLong(), query.value(1).toLongLong(),
                                         query.value(2).toByteArray()});
    return messages;
}

// Off: the stored board is emptied, then the file let go. On: the board as
// it stands is stored, and every change from now on.
void GraffitiStore::keep(bool bOn) {
    if (!bOn) {
        m_keeping = false;
        m_pending.clear();
        if (!m_open && !QFileInfo::exists(m_filePath))
            return;
        m_pending.push_back({Write::RemoveAll, {}});
        if (!m_retry.isActive())
            flush();
        return;
    }
    if (!openDatabase())
        return;
    m_keeping = true;
    if (m_board.count() > 0)
        enqueue({Write::Add, m_board.entries()});
}

// Everything before a "remove all" is moot; a queue that grows past the
// board's size (a database locked for long) is replaced by the board itself.
void GraffitiStore::enqueue(Write write) {
    if (!m_keeping)
        return;
    if (write.kind == Write::RemoveAll)
        m_pending.clear();
    m_pending.push_back(std::move(write));
    if (m_pending.size() > size_t(GraffitiBoard::MaxMessages)) {
        m_pending.clear();
        m_pending.push_back({Write::RemoveAll, {}});
        m_pending.push_back({Write::Add, m_board.entries()});
    }
    if (!m_retry.isActive())
        flush();
}

void GraffitiStore::flush() {
    if (!openDatabase())
        return;
    while (!m_pending.empty()) {
        switch (execute(m_pending.front())) {
        case Outcome::Done:
            m_pending.pop_front();
            break;
        case Outcome::Busy:
            m_retry.start();
            return;
        case Outcome::Failed:
            m_pending.clear();
            return;
        }
    }
    if (!m_keeping)
        closeDatabase();
}

// One transaction; the lock is taken at its start, without waiting.
GraffitiStore::Outcome GraffitiStore::execute(const Write& write) {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    const QString doing = QStringLiteral("writing");
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failed(query, doing, true);
    bool done = true;
    switch (write.kind) {
    case Write::Add:
        query.prepare(
            QStringLiteral("INSERT OR IGNORE INTO graffiti (id, posted, text) VALUES (?, ?, ?)"));
        for (const GraffitiMessage& message : write.messages) {
            query.addBindValue(message.id);
            query.addBindValue(message.postedMs);
            query.addBindValue(message.text);
            done = done && query.exec();
        }
        if (done) {
            query.prepare(QStringLiteral("DELETE FROM graffiti WHERE id <= (SELECT id FROM "
                                         "graffiti ORDER BY id DESC LIMIT 1 OFFSET ?)"));
            query.addBindValue(GraffitiBoard::MaxMessages);
            done = query.exec();
        }
        break;
    case Write::Remove:
        query.prepare(QStringLiteral("DELETE FROM graffiti WHERE id = ?"));
        query.addBindValue(write.messages.first().id);
        done = query.exec();
        break;
    case Write::RemoveAll:
        done = query.exec(QStringLiteral("DELETE FROM graffiti"));
        break;
    }
    if (done && query.exec(QStringLiteral("COMMIT")))
        return Outcome::Done;
    const Outcome outcome = failed(query, doing, true);
    if (m_open)
        QSqlQuery(QSqlDatabase::database(m_connection, false)).exec(QStringLiteral("ROLLBACK"));
    return outcome;
}

// A write that finds the lock held is tried again later; any other failure
// (and a lock held at start) gives the file up for this run, setting it
// aside when it is not a database, or a damaged one.
GraffitiStore::Outcome GraffitiStore::failed(const QSqlQuery& query, const QString& doing,
                                             bool bRetryWhenBusy) {
    const QSqlError error = query.lastError();
    const int code = primaryCode(error);
    if (code == SqliteBusy || code == SqliteLocked) {
        if (bRetryWhenBusy)
            return Outcome::Busy;
        giveUp(QStringLiteral("another program holds it locked"), false);
        return Outcome::Failed;
    }
    constexpr int SqliteCorrupt = 11, SqliteNotADatabase = 26;
    giveUp(doing + QStringLiteral(" failed: ") + error.text(),
           code == SqliteCorrupt || code == SqliteNotADatabase);
    return Outcome::Failed;
}

void GraffitiStore::giveUp(const QString& reason, bool bSetAside) {
    closeDatabase();
    m_gaveUp = true;
    m_pending.clear();
    QString aside;
    if (bSetAside) {
        aside = FileAside::KeepAside(m_filePath);
        for (const char* companion : {"-wal", "-shm"}) {
            if (QFileInfo::exists(m_filePath + QLatin1String(companion)))
                FileAside::KeepAside(m_filePath + QLatin1String(companion));
        }
    }
    m_log.LogStatus(
        LogError, QStringLiteral("The Graffiti file ") + m_filePath +
                      QStringLiteral(" cannot be used (") + reason + u')' +
                      (aside.isEmpty() ? QString() : QStringLiteral("; it was kept as ") + aside) +
                      QStringLiteral("; the Graffiti stay in memory until Pocketlane "
                                     "restarts."));
}
