#pragma once

#include <QByteArray>
#include <QLocalSocket>
#include <QString>
#include <QStringList>

#include <limits>
#include <optional>

// The administration channel between a command line and the running
// program: a local socket named after the settings file, messages of
// size-prefixed texts, and only the same user at either end.
namespace AdminChannel {
QString SocketPath(const QString& settingsFile);
bool PeerIsThisUser(const QLocalSocket& socket);
// One message: its texts, each with its size, in a frame with its size.
QByteArray Message(const QStringList& texts);
// The texts of the message complete at the start of `buffer`, which loses
// it; nothing while it is incomplete or when it is malformed (`malformed`
// set), as is one whose frame announces more than `maxBytes`.
std::optional<QStringList> TakeMessage(QByteArray& buffer, bool& malformed,
                                       qsizetype maxBytes = std::numeric_limits<qsizetype>::max());
} // namespace AdminChannel

// What a running program answers to an administration command line.
struct AdminReply {
    int exitCode = 1;
    QString out;
    QString err;
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
