#pragma once

#include <QByteArray>
#include <QLocalSocket>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QLocalServer;
class SharedFolderList;
class Settings;
class StatusLog;

// What a running program answers to an administration command line.
struct AdminReply {
    int exitCode = 1;
    QString out;
    QString err;
};

// The running program's end of the administration channel: a local socket,
// readable and writable by the user only, in the user's runtime folder and
// named after the settings file, so that programs on different settings files
// never hear each other's commands. Each connection sends one command line
// (the administration arguments); the server runs it at once on the live
// settings and shared folders, which write the store, and answers with the
// exit code and the texts the command prints. Connections from another user
// are closed unanswered.
class AdminServer : public QObject {
    Q_OBJECT
public:
    AdminServer(QString settingsFile, Settings& settings, SharedFolderList& folders, StatusLog& log,
                QObject* parent = nullptr);
    ~AdminServer() override;

    // Starts listening, replacing a socket a program that ended left behind.
    // False (logged at level 1) when the socket cannot be made.
    bool Listen();

    static QString SocketPath(const QString& settingsFile);

private:
    void acceptConnections();
    void readRequest(QLocalSocket* socket);

    QString m_settingsFile;
    Settings& m_settings;
    SharedFolderList& m_folders;
    StatusLog& m_log;
    QLocalServer* m_server;
};

// A command's end of the channel.
class AdminConnection {
public:
    enum State { NoProgram, Connected, Busy };
    // Starts connecting to the program that runs on the settings file without
    // waiting: Connected, Busy when it runs but has not taken the connection
    // yet (finish with waitUntilConnected), NoProgram when none runs.
    State connectTo(const QString& settingsFile);
    bool waitUntilConnected();
    // Sends the arguments and waits for the answer; nothing when the program
    // did not answer.
    std::optional<AdminReply> ask(const QStringList& arguments);

private:
    QLocalSocket m_socket;
};
