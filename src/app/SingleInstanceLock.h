#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// The user's own runtime folder: $XDG_RUNTIME_DIR, else /run/user/<uid>,
// else a private folder in the temporary folder.
QString UserRuntimeFolder();

// Makes sure only one Pocketlane runs per user: a lock file in the user's
// runtime folder ($XDG_RUNTIME_DIR), held while the program runs. A lock
// left by a program that died is taken over.
class SingleInstanceLock {
public:
    SingleInstanceLock();
    // False when another running instance holds the lock.
    bool TryLock();
    QString LockFilePath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
