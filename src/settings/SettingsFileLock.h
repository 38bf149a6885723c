#pragma once

#include <QString>

// An exclusive lock on a settings file, held as an flock(2) on the lock file
// beside it ("<file>.lock"), so that every process that writes the file (the
// running program, administration commands) takes its turn. Waits for the
// lock; released when the object goes.
class SettingsFileLock {
public:
    explicit SettingsFileLock(const QString& settingsFile);
    ~SettingsFileLock();
    SettingsFileLock(const SettingsFileLock&) = delete;
    SettingsFileLock& operator=(const SettingsFileLock&) = delete;

    // False when the lock file could not be opened (a folder that cannot be
    // written, say); then nothing is locked.
    bool isHeld() const { return m_fd >= 0; }

    static QString LockFilePath(const QString& settingsFile);

private:
    int m_fd = -1;
};
