#include "http/WapServer.h"

#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "http/RequestHandler.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <csignal>

#include <sys/epoll.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t ListenerKey = 0;

qint64 MonotonicNow() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

WapServer::WapServer(StatusLog& log, quint16 port, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_port(port)
    , m_servedPort(port)
    , m_poller([this](std::uint64_t key, std::uint32_t events) { onPollEvent(key, events); }) {
    // sendfile, unlike send, cannot be told not to raise SIGPIPE when the
    // phone has gone: the signal would end the program.
    std::signal(SIGPIPE, SIG_IGN);
    g_Winsock.push_back(nullptr);
    m_connections.onClosed = [this](Connection& connection) { takeBack(connection); };
    m_connections.freeSlotFor = [this](const QByteArray& client) {
        return dropStalledDownload(client);
    };
    m_acceptRetry.setSingleShot(true);
    m_acceptRetry.setInterval(AcceptRetryMs);
    connect(&m_acceptRetry, &QTimer::timeout, this, [this] {
        if (m_listener.Descriptor() >= 0)
            m_poller.Change(m_listener.Descriptor(), ListenerKey, EPOLLIN);
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
    m_log.LogStatus(LogDetail,
                    QStringLiteral("Creating listener socket on port ") + QString::number(m_port));
    if (openListener())
        return ListenResult::Listening;
    setRunning(false);
    return m_listenFailure;
}

void WapServer::LogListening() {
    m_log.LogStatus(LogDetail,
                    QStringLiteral("Socket open and listening on port ") + QString::number(Port()));
}

void WapServer::SetPort(quint16 port) {
    m_port = port;
    m_servedPort = port;
}

bool WapServer::openListener() {
    // Once served, a port the system chose is taken again after a stop.
    const quint16 asked = m_port != 0 ? m_port : m_servedPort;
    if (listenOn(asked)) {
        m_portNote.clear();
    } else {
        m_listenFailure = classifyListenFailure(m_listener.Error());
        const QString reason = m_listener.ErrorString();
        if (m_listenFailure != ListenResult::PermissionDenied || !openFallbackListener(asked)) {
            describeListenFailure(asked, reason);
            return false;
        }
    }
    Q_EMIT ListenerOpened(m_servedPort);
    return true;
}

bool WapServer::listenOn(quint16 port) {
    if (m_listener.Listen(port) && m_poller.Watch(m_listener.Descriptor(), ListenerKey, EPOLLIN)) {
        m_servedPort = m_listener.Port();
        m_listenFailureMessage.clear();
        return true;
    }
    m_listener.Close();
    return false;
}

// A user who may not take the port asked for still serves: on the first free
// port from the fallback on, which the router's forward of port 80 reaches
// all the same.
bool WapServer::openFallbackListener(quint16 denied) {
    constexpr int PortsTried = 100;
    if (m_fallbackPort == 0)
        return false;
    const int last = std::min(int(m_fallbackPort) + PortsTried - 1, 65535);
    for (int port = m_fallbackPort; port <= last; ++port) {
        if (listenOn(quint16(port))) {
            m_portNote = QStringLiteral("Port %1 is not allowed for this user, so Pocketlane "
                                        "serves on port %2 instead (the router is asked to "
                                        "forward its port 80 here). To serve on port %1, allow "
                                        "it with: sudo setcap cap_net_bind_service=+ep %3")
                             .arg(denied)
                             .arg(m_servedPort)
                             .arg(QCoreApplication::applicationFilePath());
            m_log.LogStatus(LogNotice, m_portNote);
            return true;
        }
        if (classifyListenFailure(m_listener.Error()) != ListenResult::PortInUse)
            return false;
    }
    return false;
}

void WapServer::describeListenFailure(quint16 asked, const QString& reason) {
    const QString port = QString::number(asked);
    switch (m_listenFailure) {
    case ListenResult::PortInUse:
        m_listenFailureMessage = QStringLiteral("The port ") + port +
                                 QStringLiteral(" is already in use on this machine.");
        break;
    case ListenResult::PermissionDenied:
        m_listenFailureMessage =
            QStringLiteral("Pocketlane is not allowed to listen on port ") + port +
            QStringLiteral(": ports below 1024 need administrator rights. Run Pocketlane as "
                           "root, allow it the port with setcap cap_net_bind_service=+ep, or "
                           "serve on another port, for example with --port 8080.");
        break;
    default:
        m_listenFailureMessage =
            QStringLiteral("The port ") + port + QStringLiteral(" could not be opened: ") + reason;
    }
}

WapServer::ListenResult WapServer::classifyListenFailure(QAbstractSocket::SocketError error) const {
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return ListenResult::PortInUse;
    case QAbstractSocket::SocketAccessError:
        return ListenResult::PermissionDenied;
    default:
        return ListenResult::OtherFailure;
    }
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
    m_listener.Close();
    for (int i = 1; i <= m_lHighestSocket; ++i)
        g_Winsock[i]->Close();
    Q_EMIT Stopped();
    m_log.LogStatus(LogNotice, QStringLiteral("Pocketlane stopped by user"));
}

bool WapServer::StartServer() {
    if (m_bRunning)
        return true;
    setRunning(true);
    if (!openListener()) {
        setRunning(false);
        m_log.LogStatus(LogError, m_listenFailureMessage);
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
    if (index > m_lHighestSocket)
        return;
    const std::shared_ptr<Connection> connection = g_Winsock[index];
    const auto isCurrent = [&] {
        return connection->IsOpen() && connection->Generation() == std::uint32_t(key >> 32);
    };
    if (!isCurrent())
        return;
    if (events & EPOLLOUT) {
        markBusy(*connection);
        connection->SendQueued();
        if (isCurrent() && !connection->IsSending())
            serveWaitingRequests(*connection);
    }
    if (isCurrent() && (events & (EPOLLIN | EPOLLHUP | EPOLLERR)))
        onReadable(*connection);
}

// One connection per wake-up: a flood of new connections does not hold up
// the ones already served, and no attempt is wasted on an empty queue, as
// connections still queued make the listener ready again at once.
void WapServer::acceptWaitingConnection() {
    const ListeningSocket::Accepted accepted = m_listener.Accept();
    if (accepted.outcome == ListeningSocket::AcceptOutcome::Accepted) {
        onConnectionRequest(accepted.descriptor);
        return;
    }
    if (accepted.outcome == ListeningSocket::AcceptOutcome::NoneWaiting)
        return;
    // Out of descriptors or memory: pause instead of retrying in a busy loop.
    logSocketFailure(0, m_listener.ErrorString());
    m_poller.Change(m_listener.Descriptor(), ListenerKey, 0);
    if (m_bRunning)
        m_acceptRetry.start();
}

void WapServer::onConnectionRequest(int descriptor) {
    if (!m_bRunning) {
        m_log.LogStatus(LogDetail,
                        QStringLiteral("Incoming connection request, but Pocketlane stopped!"));
        ::close(descriptor);
        return;
    }
    m_log.LogStatus(LogDetail, QStringLiteral("Incoming connection request on Socket"));
    const int index = takeClosedElement();
    if (index == 0) {
        ::close(descriptor);
        logSocketFailure(0, QStringLiteral("No connection element is free (the limit is ") +
                                QString::number(m_maxElements) + u')');
        return;
    }
    Connection& connection = *g_Winsock[index];
    if (!connection.Open(descriptor)) {
        m_closedElements.push(index);
        logSocketFailure(0, QStringLiteral("The connection could not be accepted"));
        return;
    }
    ++m_openConnections;
    connection.m_olderOpen = connection.m_newerOpen = -1;
    markBusy(connection);
}

// The lowest closed element, or a new one; 0 when the limit is reached.
int WapServer::takeClosedElement() {
    if (!m_closedElements.empty()) {
        const int index = m_closedElements.top();
        m_closedElements.pop();
        return index;
    }
    if (m_lHighestSocket >= m_maxElements)
        return 0;
    g_Winsock.push_back(std::make_shared<Connection>(++m_lHighestSocket, m_poller, m_connections));
    return m_lHighestSocket;
}

void WapServer::onReadable(Connection& connection) {
    m_log.LogStatus(LogDetail, QStringLiteral("Incoming data on Socket"));
    switch (connection.ReadWaiting()) {
    case Connection::ReadOutcome::Arrived:
        serveWaitingRequests(connection);
        break;
    case Connection::ReadOutcome::PeerClosed:
        // The phone has closed its end: an answer still on its way is
        // finished, nothing further is read.
        connection.StopReading();
        connection.CloseAfterSending();
        break;
    case Connection::ReadOutcome::Failed:
        logSocketFailure(connection.Index(), connection.ErrorString());
        connection.Close();
        break;
    case Connection::ReadOutcome::Nothing:
        break;
    }
}

// Handles every complete request that has arrived on the connection, in
// order. While an answer is still being sent, or is still to come, later
// requests wait for it.
void WapServer::serveWaitingRequests(Connection& connection) {
    const std::shared_ptr<Connection> held = g_Winsock[connection.Index()];
    const std::uint32_t generation = connection.Generation();
    while (connection.TakesRequests() && connection.Generation() == generation &&
           !connection.IsSending() && !connection.HoldsRequests()) {
        RequestFramer::Frame frame = connection.Framer().Next();
        if (frame.outcome == RequestFramer::Outcome::Incomplete)
            return;
        if (frame.outcome == RequestFramer::Outcome::TooLarge) {
            answerBadRequest(connection, {});
            return;
        }
        markBusy(connection);
        handleRequest(held, frame.request);
    }
}

void WapServer::handleRequest(const std::shared_ptr<Connection>& connection,
                              const QByteArray& text) {
    const CrackedPacket cracked = CPacket::CrackHTTPPacket(text);
    if (!cracked || cracked.packet->PacketType() != PacketGet) {
        answerBadRequest(*connection, text);
        return;
    }
    const std::uint32_t generation = connection->Generation();
    cracked.packet->Bind(connection, connection->Index());
    try {
        if (m_handler)
            m_handler->HandleRequest(cracked.packet);
    } catch (...) {
        // The site logs its own failures; an unanswered request is dropped.
    }
    if (connection->Generation() != generation || cracked.packet->HasAnswered())
        return;
    if (cracked.packet->IsDeferred())
        connection->HoldRequests();
    else
        connection->Close();
}

void WapServer::answerBadRequest(Connection& connection, const QByteArray& request) {
    connection.Write(CPacket::BadRequestAnswer(request));
    connection.CloseAfterSending();
}

void WapServer::logSocketFailure(int index, const QString& description) {
    m_log.LogStatus(LogError, QStringLiteral("Socket: ") + QString::number(index) +
                                  QStringLiteral("  Reported Error:") + description);
}

void WapServer::takeBack(Connection& connection) {
    unlinkOpen(connection);
    --m_openConnections;
    m_closedElements.push(connection.Index());
}

// Moves the connection to the newest end of the open list.
void WapServer::markBusy(Connection& connection) {
    connection.SetBusySince(MonotonicNow());
    if (m_newestOpen == connection.Index())
        return;
    unlinkOpen(connection);
    connection.m_olderOpen = m_newestOpen;
    if (m_newestOpen >= 0)
        g_Winsock[m_newestOpen]->m_newerOpen = connection.Index();
    m_newestOpen = connection.Index();
    if (m_oldestOpen < 0)
        m_oldestOpen = connection.Index();
}

void WapServer::unlinkOpen(Connection& connection) {
    const int older = connection.m_olderOpen;
    const int newer = connection.m_newerOpen;
    const bool linked = older >= 0 || newer >= 0 || m_oldestOpen == connection.Index();
    if (!linked)
        return;
    (older >= 0 ? g_Winsock[older]->m_newerOpen : m_oldestOpen) = newer;
    (newer >= 0 ? g_Winsock[newer]->m_olderOpen : m_newestOpen) = older;
    connection.m_olderOpen = connection.m_newerOpen = -1;
}

void WapServer::closeIdleConnections() {
    const qint64 now = MonotonicNow();
    while (m_oldestOpen >= 0) {
        Connection& oldest = *g_Winsock[m_oldestOpen];
        if (now - oldest.BusySince() < m_requestTimeoutMs)
            return;
        oldest.Close();
    }
}

// Ends the download that has sent nothing for the longest time, once that
// is long enough to count as stalled, of a client holding more slots than
// `client`; true when one was ended. The open
// list runs from the longest idle, so the search stops at the first
// connection that made progress since.
bool WapServer::dropStalledDownload(const QByteArray& client) {
    const qint64 stalledSince = MonotonicNow() - m_requestTimeoutMs / DownloadStallDivisor;
    const int held = m_connections.downloads.HeldBy(client);
    for (int index = m_oldestOpen; index >= 0;) {
        Connection& candidate = *g_Winsock[index];
        if (candidate.BusySince() > stalledSince)
            return false;
        index = candidate.m_newerOpen;
        if (candidate.IsDownloading() &&
            m_connections.downloads.HeldBy(candidate.ClientAddress()) > held) {
            m_log.LogStatus(LogDetail, QStringLiteral("A stalled download on Socket ") +
                                           QString::number(candidate.Index()) +
                                           QStringLiteral(" gave its slot to another visitor"));
            candidate.Close();
            return true;
        }
    }
    return false;
}
