#pragma once

#include "settings/RegistryKeys.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTimer>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>

class SettingsFileLock;
class StatusLog;

// A failure of the settings store: number 26001, a description and the
// source that raised it.
class RegistryError : public std::exception {
public:
    static constexpr int ErrorNumber = 26001;

    RegistryError(QString description, QString source);

    int Number() const { return ErrorNumber; }
    const QString& Description() const { return m_description; }
    const QString& Source() const { return m_source; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    QString m_description;
    QString m_source;
    QByteArray m_what;
};

// The owner's settings on disk: the keys and values of one settings file
// (its text: RegistryText), read once by load(). Every change that alters
// something replaces the file atomically (QSaveFile, flushed to the disk,
// then the folder too) under the file's lock (SettingsFileLock) and leaves
// it readable by its owner only, since it holds passwords; a change that
// alters nothing writes nothing. A change never waits for the lock: while
// another process holds it, the change is kept and written by a retry from
// the event loop once the lock is free. Key paths compare without regard to
// ASCII letter case, value names exactly (they may be Linux paths).
class RegistryStore {
public:
    using Value = RegistryKeys::Value;
    using Key = RegistryKeys::Key;

    // Holds the settings file's lock for as long as it lives (holds of one
    // store nest), waiting for it at most `maxWait` when given. load() and
    // every change take it themselves; hold it across a load and the changes
    // after it so that no other process writes the file in between.
    class ExclusiveAccess {
    public:
        explicit ExclusiveAccess(RegistryStore& store,
                                 std::optional<std::chrono::milliseconds> maxWait = std::nullopt);
        ~ExclusiveAccess();
        ExclusiveAccess(const ExclusiveAccess&) = delete;
        ExclusiveAccess& operator=(const ExclusiveAccess&) = delete;
        // False when the lock file could not be opened or the wait ran out.
        bool isHeld() const;

    private:
        RegistryStore& m_store;
    };

    explicit RegistryStore(QString filePath);
    // Writes a change still waiting for the lock, if the lock comes soon.
    ~RegistryStore();

    const QString& filePath() const { return m_filePath; }

    // Reads the file; problems while saving later are logged on `log`. A
    // missing file is an empty store. Temporary copies that an interrupted
    // write left beside it are removed. False when the file cannot be read
    // or parsed: loadProblem() names the file and the line, and the store is
    // empty and refuses every write until startAfresh(), so that the owner's
    // file is never overwritten.
    bool load(StatusLog* log);
    const QString& loadProblem() const { return m_loadProblem; }
    // After a failed load: renames the file aside (its name gets
    // ".unreadable-" and the time), logs that at level 1, and lets the empty
    // store be written. False when even the rename fails; the store then
    // keeps refusing writes.
    bool startAfresh();

    bool keyExists(const QByteArray& keyPath) const;
    std::optional<Value> value(const QByteArray& keyPath, const QByteArray& name) const;
    // The key's values in file order, or nothing when the key is missing.
    std::optional<QList<Value>> values(const QByteArray& keyPath) const;

    // The changes below return false (and leave the store as it was) when
    // the file cannot be written. A change that leaves the keys as they are
    // does not write the file. Creating a key, or a value in it, creates the
    // key and its parent keys too; setValues() writes all its values at once.
    bool createKey(const QByteArray& keyPath);
    bool setValue(const QByteArray& keyPath, const Value& value);
    bool setValues(const QByteArray& keyPath, const QList<Value>& values);
    bool deleteValue(const QByteArray& keyPath, const QByteArray& name);
    // Whether changes wait for another process to free the file's lock.
    bool isSavePending() const { return m_savePending; }

private:
    bool holdsAlready(const QByteArray& keyPath, const QList<Value>& values) const;
    bool save(const RegistryKeys& keys);
    bool writeFile(const RegistryKeys& keys);
    void keepPending(const RegistryKeys& keys);
    void retryPendingSave();
    void logError(const QString& message) const;
    void removeStaleCopies() const;

    QString m_filePath;
    RegistryKeys m_keys;
    bool m_writable = true;
    QString m_loadProblem;
    StatusLog* m_log = nullptr;
    std::unique_ptr<SettingsFileLock> m_lock;
    int m_lockHolds = 0;
    bool m_savePending = false;
    bool m_toldPending = false;
    QElapsedTimer m_pendingSince;
    std::unique_ptr<QTimer> m_retry;
};
