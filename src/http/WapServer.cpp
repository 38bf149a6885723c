#include "http/WapServer.h"

#include "base/StatusLog.h"
#include "http/ServerMessages.h"

#include <algorithm>
#include <csignal>

#include <sys/epoll.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t ListenerKey = 0;

} // namespace

WapServer::WapServer(StatusLog& log, quint16 port, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_poller([this](std::uint64_t key, std::uint32_t events) { onPollEvent(key, events); })
    , m_port(m_poller, ListenerKey, port)
    , m_elements(m_poller, m_connections)
    , m_dispatch(log, m_elements) {
    // sendfile, unlike send, cannot be told not to raise SIGPIPE when the
    // phone has gone: the signal would end the program.
    std::signal(SIGPIPE, SIG_IGN);
    m_connections.freeSlotFor = [this](const QByteArray& client) {
        return dropStalledDownload(client);
    };
    m_acceptRetry.setSingleShot(true);
    m_acceptRetry.setInterval(AcceptRetryMs);
    connect(&m_acceptRetry, &QTimer::timeout, this, [this] {
        if (m_port.Listener().Descriptor() >= 0)
            m_poller.Change(m_port.Listener().Descriptor(), ListenerKey, EPOLLIN);
    });
    connect(&m_idleSweep, &QTimer::timeout, this, &WapServer::closeIdleConnections);
    SetRequestTimeout(DefaultRequestTimeoutMs);
}

WapServer::~WapServer() = default;

void WapServer::SetRequestTimeout(int milliseconds) {
    m_requestTimeoutMs = milliseconds;
    m_idleSweep.start(std::clamp(milliseconds / 10, 50, 1000));
}

WapServer::ListenResult WapServer::OpenListener() {
    setRunning(true);
    m_log.LogStatus(LogDetail, QStringLiteral("Creating listener socket on port ") +
                                   QString::number(m_port.Asked()));
    if (openListener())
        return ListenResult::Listening;
    setRunning(false);
    return m_port.Failure();
}

void WapServer::LogListening() {
    m_log.LogStatus(LogDetail,
                    QStringLiteral("Socket open and listening on port ") + QString::number(Port()));
}

bool WapServer::openListener() {
    if (!m_port.Open())
        return false;
    if (!m_port.Note().isEmpty())
        m_log.LogStatus(LogNotice, m_port.Note());
    Q_EMIT ListenerOpened(m_port.Served());
    return true;
}

void WapServer::setRunning(bool running) {
    if (m_bRunning == running)
        return;
    m_bRunning = running;
    Q_EMIT RunningChanged(running);
}

void WapServer::StopServer() {
    setRunning(false);
    m_acceptRetry.stop();
    m_port.Close();
    m_elements.CloseAll();
    Q_EMIT Stopped();
    m_log.LogStatus(LogNotice, QStringLiteral("Pocketlane stopped by user"));
}

bool WapServer::StartServer() {
    if (m_bRunning)
        return true;
    setRunning(true);
    if (!openListener()) {
        setRunning(false);
        m_log.LogStatus(LogError, m_port.FailureMessage());
        return false;
    }
    m_log.LogStatus(LogNotice, QStringLiteral("Pocketlane started by user"));
    return true;
}

// A key names the element (low half) and its generation (high half); an
// event for an element that has closed or taken a newer connection since
// is stale and dropped.
void WapServer::onPollEvent(std::uint64_t key, std::uint32_t events) {
    if (key == ListenerKey) {
        acceptWaitingConnection();
        return;
    }
    const int index = int(key & 0xffffffffu);
    if (index > m_elements.HighestIndex())
        return;
    const std::shared_ptr<Connection> connection = m_elements.At(index);
    const auto isCurrent = [&] {
        return connection->IsOpen() && connection->Generation() == std::uint32_t(key >> 32);
    };
    if (!isCurrent())
        return;
    if (events & EPOLLOUT) {
        markBusy(*connection);
        connection->SendQueued();
        if (isCurrent() && !connection->IsSending())
            m_dispatch.ServeWaitingRequests(*connection);
    }
    if (isCurrent() && (events & (EPOLLIN | EPOLLHUP | EPOLLERR)))
        m_dispatch.OnReadable(*connection);
}

// A few connections per wake-up: a flood of new connections does not hold
// up the ones already served for long, and connections still queued make
// the listener ready again at once.
void WapServer::acceptWaitingConnection() {
    ListeningSocket& listener = m_port.Listener();
    ListeningSocket::Accepted accepted;
    for (int i = 0; i < AcceptBatch; ++i) {
        // A request served meanwhile may have stopped the server.
        if (listener.Descriptor() < 0)
            return;
        accepted = listener.Accept();
        if (accepted.outcome != ListeningSocket::AcceptOutcome::Accepted)
            break;
        onConnectionRequest(accepted.descriptor, accepted.client);
    }
    if (accepted.outcome != ListeningSocket::AcceptOutcome::Failed)
        return;
    // Out of descriptors or memory: pause instead of retrying in a busy loop.
    logSocketFailure(0, listener.ErrorString());
    m_poller.Change(listener.Descriptor(), ListenerKey, 0);
    if (m_bRunning)
        m_acceptRetry.start();
}

void WapServer::onConnectionRequest(int descriptor, const QByteArray& client) {
    if (!m_bRunning) {
        m_log.LogStatus(LogDetail,
                        QStringLiteral("Incoming connection request, but Pocketlane stopped!"));
        ::close(descriptor);
        return;
    }
    m_log.LogStatus(LogDetail, QStringLiteral("Incoming connection request on Socket"));
    const ConnectionTable::Opened opened =
        m_elements.Open(descriptor, client, ConnectionTable::Now());
    if (opened.outcome == ConnectionTable::OpenOutcome::NoElementFree) {
        logSocketFailure(0, ServerMessages::NoElementFree(m_elements.MaxElementCount()));
        return;
    }
    // A client usually sends its request right behind its connection:
    // reading at once saves a wake-up, and a connection answered and closed
    // at once is never registered with the poller.
    Connection& connection = *opened.connection;
    m_dispatch.OnReadable(connection);
    if (connection.IsOpen() && !connection.WatchReadiness()) {
        logSocketFailure(0, ServerMessages::NotAccepted());
        connection.Close();
    }
}

void WapServer::logSocketFailure(int index, const QString& description) {
    m_log.LogStatus(LogError, ServerMessages::SocketFailure(index, description));
}

void WapServer::markBusy(const Connection& connection) {
    m_elements.MarkBusy(connection, ConnectionTable::Now());
}

void WapServer::closeIdleConnections() {
    m_elements.CloseIdleSince(ConnectionTable::Now() - m_requestTimeoutMs);
}

// Ends the download that has sent nothing for the longest time, once that
// is long enough to count as stalled, of a client holding more slots than
// `client`; true when one was ended.
bool WapServer::dropStalledDownload(const QByteArray& client) {
    const qint64 stalledSince = ConnectionTable::Now() - m_requestTimeoutMs / DownloadStallDivisor;
    const int held = m_connections.downloads.HeldBy(client);
    Connection* stalled = m_elements.FindIdleSince(stalledSince, [&](const Connection& candidate) {
        return candidate.IsDownloading() &&
               m_connections.downloads.HeldBy(candidate.ClientAddress()) > held;
    });
    if (!stalled)
        return false;
    m_log.LogStatus(LogDetail, ServerMessages::StalledDownloadDropped(stalled->Index()));
    stalled->Close();
    return true;
}
