#pragma once

#include <QString>

// Makes sure only one Pocketlane runs per settings file: a lock file named
// after the settings file in the user's runtime folder, held while the
// program runs. The system frees the lock when its holder ends however it
// ends, so a lock file left behind, or one put there by hand, holds nothing;
// the holder writes its process number into the file for a second start to
// name.
class SingleInstanceLock {
public:
    enum class Outcome { Locked, HeldByAnother, Refused };

    explicit SingleInstanceLock(const QString& settingsFile);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Locked: this program holds the lock until it ends. HeldByAnother:
    // a running program holds it. Refused: no lock can be taken, Refusal()
    // says why.
    Outcome TryLock();
    QString LockFilePath() const { return m_path; }
    QString Refusal() const { return m_refusal; }
    // The process number the holder wrote, 0 when unknown.
    qint64 HolderProcess() const;

private:
    QString m_path;
    QString m_refusal;
    int m_fd = -1;
};
