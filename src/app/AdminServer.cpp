#include "app/AdminServer.h"

#include "app/AdminChannel.h"
#include "app/AdminCommands.h"
#include "base/StatusLog.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTextStream>
#include <QTimer>

namespace {

// A command line is a few lines; anything longer is not a command.
constexpr qsizetype MaxRequestBytes = qsizetype{64} * 1024;
// A command sends its whole line at once; a connection still short of one
// after this long is dropped with what it sent.
constexpr int RequestTimeoutMs = 10 * 1000;
constexpr int ListenBacklog = 256;

} // namespace

AdminServer::AdminServer(QString settingsFile, Settings& settings, SharedFolderList& folders,
                         GraffitiBoard& board, StatusLog& log, QObject* parent)
    : QObject(parent)
    , m_settingsFile(std::move(settingsFile))
    , m_settings(settings)
    , m_folders(folders)
    , m_board(board)
    , m_log(log)
    , m_server(new QLocalServer(this)) {
    connect(m_server, &QLocalServer::newConnection, this, &AdminServer::acceptConnections);
}

AdminServer::~AdminServer() = default;

bool AdminServer::Listen() {
    const QString path = AdminChannel::SocketPath(m_settingsFile);
    if (path.isEmpty())
        return false;
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setListenBacklogSize(ListenBacklog);
    QLocalServer::removeServer(path);
    if (m_server->listen(path))
        return true;
    m_log.LogStatus(LogError, QStringLiteral("The administration socket ") + path +
                                  QStringLiteral(" cannot be opened (") + m_server->errorString() +
                                  QStringLiteral("); commands from the command line will not "
                                                 "reach the running program."));
    return false;
}

void AdminServer::acceptConnections() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!AdminChannel::PeerIsThisUser(*socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        auto* deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, this, [this, socket] {
            if (readRequest(socket) == Waiting)
                socket->abort();
        });
        deadline->start(RequestTimeoutMs);
        if (socket->bytesAvailable() > 0)
            readRequest(socket);
    }
}

AdminServer::RequestState AdminServer::readRequest(QLocalSocket* socket) {
    if (socket->property("answered").toBool())
        return Answered;
    QByteArray buffer = socket->property("request").toByteArray() + socket->readAll();
    bool malformed = false;
    const auto arguments = AdminChannel::TakeMessage(buffer, malformed, MaxRequestBytes);
    if (!arguments) {
        if (!malformed) {
            socket->setProperty("request", buffer);
            return Waiting;
        }
        socket->abort();
        return Answered;
    }
    socket->setProperty("answered", true);
    socket->setProperty("request", QVariant());
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    QString out;
    QString err;
    int exitCode = 0;
    {
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        exitCode = executeAdminCommands(*arguments,
                                        {m_settings, m_folders, m_board, m_log, m_settingsFile},
                                        outStream, errStream);
    }
    socket->write(AdminChannel::Message({QString::number(exitCode), out, err}));
    socket->disconnectFromServer();
    return Answered;
}
