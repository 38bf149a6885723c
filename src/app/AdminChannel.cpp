#include "app/AdminChannel.h"

#include "app/RuntimeFolder.h"

#include <QDeadlineTimer>
#include <QtEndian>

#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int ConnectTimeoutMs = 30000;
// Commands queue up behind each other, each written to the disk.
constexpr int AnswerTimeoutMs = 120000;

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

} // namespace

bool AdminChannel::PeerIsThisUser(const QLocalSocket& socket) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    return ::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials,
                        &length) == 0 &&
           credentials.uid == ::getuid();
}

// One message: its texts, each with its size, in a frame with its size.
QByteArray AdminChannel::Message(const QStringList& texts) {
    QByteArray body;
    for (const QString& text : texts)
        appendSized(body, text.toUtf8());
    QByteArray framed;
    appendSized(framed, body);
    return framed;
}

// The texts of the message complete at the start of `buffer`, which loses it;
// nothing while it is incomplete or when it is malformed (`malformed` set), as
// is one whose frame announces more than `maxBytes`.
std::optional<QStringList> AdminChannel::TakeMessage(QByteArray& buffer, bool& malformed,
                                                     qsizetype maxBytes) {
    qsizetype pos = 0;
    malformed = buffer.size() >= qsizetype(sizeof(quint32)) &&
                qFromBigEndian<quint32>(buffer.constData()) > quint64(maxBytes);
    const auto body = takeSized(buffer, pos);
    if (malformed || !body)
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

QString AdminChannel::SocketPath(const QString& settingsFile) {
    return RuntimeFolder::FileFor(settingsFile, QStringLiteral("pocketlane-admin-"));
}

AdminConnection::State AdminConnection::connectTo(const QString& settingsFile) {
    m_socket.connectToServer(AdminChannel::SocketPath(settingsFile));
    switch (m_socket.state()) {
    case QLocalSocket::ConnectedState:
        return AdminChannel::PeerIsThisUser(m_socket) ? Connected : NoProgram;
    case QLocalSocket::ConnectingState:
        return Busy;
    default:
        return NoProgram;
    }
}

bool AdminConnection::waitUntilConnected() {
    return m_socket.waitForConnected(ConnectTimeoutMs) && AdminChannel::PeerIsThisUser(m_socket);
}

std::optional<AdminReply> AdminConnection::ask(const QStringList& arguments) {
    m_socket.write(AdminChannel::Message(arguments));
    const QDeadlineTimer deadline(AnswerTimeoutMs);
    QByteArray buffer;
    for (;;) {
        buffer += m_socket.readAll();
        bool malformed = false;
        if (const auto texts = AdminChannel::TakeMessage(buffer, malformed)) {
            if (texts->size() != 3)
                return std::nullopt;
            return AdminReply{texts->at(0).toInt(), texts->at(1), texts->at(2)};
        }
        if (malformed || (!m_socket.waitForReadyRead(int(deadline.remainingTime())) &&
                          m_socket.bytesAvailable() == 0))
            return std::nullopt;
    }
}
