#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// How a second start of the program reaches the running one: the running
// program listens on a local socket beside its single-instance lock, and a
// second start rings it (the running program then shows its window) before
// it ends.
class InstanceDoorbell : public QObject {
    Q_OBJECT
public:
    // path: the socket's path, beside the lock file.
    explicit InstanceDoorbell(const QString& path, QObject* parent = nullptr);

    // The running program: starts listening (a socket left by a program that
    // died is replaced). False when the socket cannot be made.
    bool Listen();

    // A second start: rings the running program; false when nothing answers.
    static bool Ring(const QString& path, int timeoutMs = 2000);

    // The socket's path for a lock file path.
    static QString PathBeside(const QString& lockFilePath);

Q_SIGNALS:
    void Rung();

private:
    void onConnection();

    QString m_path;
    QLocalServer m_server;
};
