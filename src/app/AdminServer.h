#pragma once

#include <QObject>
#include <QString>

class GraffitiBoard;
class QLocalServer;
class QLocalSocket;
class SharedFolderList;
class Settings;
class StatusLog;

// The running program's end of the administration channel: a local socket,
// readable and writable by the user only, in the user's runtime folder and
// named after the settings file, so that programs on different settings files
// never hear each other's commands. Each connection sends one command line
// (the administration arguments); the server runs it at once on the live
// settings, shared folders and Graffiti board, which write the store, and answers with the
// exit code and the texts the command prints. Connections from another user
// are closed unanswered, and so are those that announce a message too long for
// a command line or have not sent theirs within a few seconds.
class AdminServer : public QObject {
    Q_OBJECT
public:
    AdminServer(QString settingsFile, Settings& settings, SharedFolderList& folders,
                GraffitiBoard& board, StatusLog& log, QObject* parent = nullptr);
    ~AdminServer() override;

    // Starts listening, replacing a socket a program that ended left behind.
    // False (logged at level 1) when the socket cannot be made.
    bool Listen();

private:
    void acceptConnections();
    enum RequestState { Waiting, Answered };
    RequestState readRequest(QLocalSocket* socket);

    QString m_settingsFile;
    Settings& m_settings;
    SharedFolderList& m_folders;
    GraffitiBoard& m_board;
    StatusLog& m_log;
    QLocalServer* m_server;
};
