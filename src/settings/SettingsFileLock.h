#pragma once

#include <QString>

#include <chrono>
#include <optional>

// An exclusive lock on a settings file, held as an flock(2) on the lock file
// beside it ("<file>.lock"), so that every process that writes the file (the
// running program, administration commands) takes its turn. Released when
// the object goes.
class SettingsFileLock {
public:
    // Waits for the lock at most `maxWait` (no time at all for zero), or as
    // long as it takes when no limit is given.
    explicit SettingsFileLock(const QString& settingsFile,
                              std::optional<std::chrono::milliseconds> maxWait = std::nullopt);
    ~SettingsFileLock();
    SettingsFileLock(const SettingsFileLock&) = delete;
    SettingsFileLock& operator=(const SettingsFileLock&) = delete;

    // False when another process held the lock for the whole wait (isBusy),
    // or when the lock file could not be opened (a folder that cannot be
    // written, say); then nothing is locked.
    bool isHeld() const { return m_fd >= 0; }
    bool isBusy() const { return m_busy; }

    static QString LockFilePath(const QString& settingsFile);

private:
    bool lockWithin(std::chrono::milliseconds maxWait);

    int m_fd = -1;
    bool m_busy = false;
};
