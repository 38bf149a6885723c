#include "app/AdminServer.h"

#include "app/AdminCommands.h"
#include "app/SingleInstanceLock.h"
#include "base/StatusLog.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QTextStream>
#include <QtEndian>

#include <limits>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A command line is a few lines; anything longer is not a command.
constexpr qsizetype MaxRequestBytes = 1 << 20;
constexpr int ListenBacklog = 256;
constexpr int ConnectTimeoutMs = 30000;
// Commands queue up behind each other, each written to the disk.
constexpr int AnswerTimeoutMs = 120000;

bool peerIsThisUser(const QLocalSocket& socket) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    return ::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials,
                        &length) == 0 &&
           credentials.uid == ::getuid();
}

void appendSized(QByteArray& out, QByteArrayView bytes) {
    const quint32 size = qToBigEndian(quint32(bytes.size()));
    out.append(reinterpret_cast<const char*>(&size), sizeof size);
    out.append(bytes);
}

// Reads a size-prefixed piece at pos; nothing when the bytes end first.
std::optional<QByteArrayView> takeSized(QByteArrayView bytes, qsizetype& pos) {
    if (bytes.size() - pos < qsizetype(sizeof(quint32)))
        return std::nullopt;
    const quint32 size = qFromBigEndian<quint32>(bytes.data() + pos);
    pos += sizeof(quint32);
    if (size > quint64(bytes.size() - pos))
        return std::nullopt;
    const QByteArrayView piece = bytes.sliced(pos, size);
    pos += size;
    return piece;
}

// One message: its texts, each with its size, in a frame with its size.
QByteArray message(const QStringList& texts) {
    QByteArray body;
    for (const QString& text : texts)
        appendSized(body, text.toUtf8());
    QByteArray framed;
    appendSized(framed, body);
    return framed;
}

// The texts of the message complete at the start of `buffer`, which loses it;
// nothing while it is incomplete or when it is malformed (`malformed` set),
// as is an incomplete one past `maxBytes`.
std::optional<QStringList> takeMessage(QByteArray& buffer, bool& malformed,
                                       qsizetype maxBytes = std::numeric_limits<qsizetype>::max()) {
    qsizetype pos = 0;
    const auto body = takeSized(buffer, pos);
    malformed = !body && buffer.size() > maxBytes;
    if (!body)
        return std::nullopt;
    QStringList texts;
    qsizetype inner = 0;
    while (inner < body->size()) {
        const auto text = takeSized(*body, inner);
        if (!text) {
            malformed = true;
            return std::nullopt;
        }
        texts << QString::fromUtf8(*text);
    }
    buffer.remove(0, pos);
    return texts;
}

} // namespace

AdminServer::AdminServer(QString settingsFile, Settings& settings, SharedFolderList& folders,
                         StatusLog& log, QObject* parent)
    : QObject(parent)
    , m_settingsFile(std::move(settingsFile))
    , m_settings(settings)
    , m_folders(folders)
    , m_log(log)
    , m_server(new QLocalServer(this)) {
    connect(m_server, &QLocalServer::newConnection, this, &AdminServer::acceptConnections);
}

AdminServer::~AdminServer() = default;

QString AdminServer::SocketPath(const QString& settingsFile) {
    const QFileInfo file(settingsFile);
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    const QString path = (folder.isEmpty() ? file.absolutePath() : folder) + u'/' + file.fileName();
    const QByteArray digest =
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QDir(UserRuntimeFolder())
        .filePath(QStringLiteral("pocketlane-admin-") + QString::fromLatin1(digest));
}

bool AdminServer::Listen() {
    const QString path = SocketPath(m_settingsFile);
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
        if (!peerIsThisUser(*socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        if (socket->bytesAvailable() > 0)
            readRequest(socket);
    }
}

void AdminServer::readRequest(QLocalSocket* socket) {
    QByteArray buffer = socket->property("request").toByteArray() + socket->readAll();
    bool malformed = false;
    const auto arguments = takeMessage(buffer, malformed, MaxRequestBytes);
    if (!arguments) {
        if (malformed)
            socket->abort();
        else
            socket->setProperty("request", buffer);
        return;
    }
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    QString out;
    QString err;
    int exitCode = 0;
    {
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        exitCode = executeAdminCommands(*arguments, {m_settings, m_folders, m_log, m_settingsFile},
                                        outStream, errStream);
    }
    socket->write(message({QString::number(exitCode), out, err}));
    socket->disconnectFromServer();
}

AdminConnection::State AdminConnection::connectTo(const QString& settingsFile) {
    m_socket.connectToServer(AdminServer::SocketPath(settingsFile));
    switch (m_socket.state()) {
    case QLocalSocket::ConnectedState:
        return peerIsThisUser(m_socket) ? Connected : NoProgram;
    case QLocalSocket::ConnectingState:
        return Busy;
    default:
        return NoProgram;
    }
}

bool AdminConnection::waitUntilConnected() {
    return m_socket.waitForConnected(ConnectTimeoutMs) && peerIsThisUser(m_socket);
}

std::optional<AdminReply> AdminConnection::ask(const QStringList& arguments) {
    m_socket.write(message(arguments));
    const QDeadlineTimer deadline(AnswerTimeoutMs);
    QByteArray buffer;
    for (;;) {
        buffer += m_socket.readAll();
        bool malformed = false;
        if (const auto texts = takeMessage(buffer, malformed)) {
            if (texts->size() != 3)
                return std::nullopt;
            return AdminReply{texts->at(0).toInt(), texts->at(1), texts->at(2)};
        }
        if (malformed || (!m_socket.waitForReadyRead(int(deadline.remainingTime())) &&
                          m_socket.bytesAvailable() == 0))
            return std::nullopt;
    }
}
