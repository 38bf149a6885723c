#include "http/WapServer.h"

#include "base/PocketlaneError.h"
#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "http/RequestHandler.h"

#include <algorithm>

namespace {

const QByteArray EndOfHeaders("\r\n\r\n");

// The length of the body announced by a request's headers (0 if none); the
// body is not read, only skipped so that it is not taken for the next
// request.
qint64 AnnouncedBodyLength(const QByteArray& request) {
    for (const QByteArray& line : request.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed().toLower() != "content-length")
            continue;
        bool ok = false;
        const qint64 length = line.mid(colon + 1).trimmed().toLongLong(&ok);
        return ok && length > 0 ? length : 0;
    }
    return 0;
}

} // namespace

WapServer::WapServer(StatusLog& log, quint16 port, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_port(port)
    , m_servedPort(port) {
    m_pendingInputs.resize(1);
    connect(&g_Winsock, &SocketElementArray::ConnectionRequest, this,
            &WapServer::onConnectionRequest);
    connect(&g_Winsock, &SocketElementArray::DataArrival, this, &WapServer::onDataArrival);
    connect(&g_Winsock, &SocketElementArray::Error, this, &WapServer::onError);
    connect(&g_Winsock, &SocketElementArray::Close, this, &WapServer::onClose);
    connect(&g_Winsock, &SocketElementArray::StreamFinished, this,
            &WapServer::serveWaitingRequests);

    m_acceptRetry.setSingleShot(true);
    m_acceptRetry.setInterval(AcceptRetryMs);
    connect(&m_acceptRetry, &QTimer::timeout, this, [this] { g_Winsock[0].ResumeAccepting(); });
    connect(&m_idleSweep, &QTimer::timeout, this, &WapServer::closeIdleConnections);
    SetRequestTimeout(DefaultRequestTimeoutMs);
}

WapServer::~WapServer() = default;

void WapServer::SetRequestTimeout(int milliseconds) {
    m_requestTimeoutMs = milliseconds;
    m_idleSweep.start(std::clamp(milliseconds / 10, 50, 1000));
}

quint16 WapServer::Port() const {
    return m_servedPort;
}

WapServer::ListenResult WapServer::OpenListener() {
    setRunning(true);
    m_log.LogStatus(LogDetail,
                    QStringLiteral("Creating listener socket on port ") + QString::number(m_port));
    m_lHighestSocket = 0;
    if (listen())
        return ListenResult::Listening;
    setRunning(false);
    return classifyListenFailure(g_Winsock[0].ListenError());
}

void WapServer::LogListening() {
    m_log.LogStatus(LogDetail,
                    QStringLiteral("Socket open and listening on port ") + QString::number(Port()));
}

bool WapServer::listen() {
    // Once served, the same port is taken again after a stop, also when the
    // system chose it.
    SocketElement& listener = g_Winsock[0];
    listener.SetLocalPort(m_servedPort);
    if (listener.Listen()) {
        m_servedPort = listener.LocalPort();
        m_listenFailureMessage.clear();
        return true;
    }
    const QString port = QString::number(m_servedPort);
    switch (classifyListenFailure(listener.ListenError())) {
    case ListenResult::PortInUse:
        m_listenFailureMessage = QStringLiteral("The port ") + port +
                                 QStringLiteral(" is already in use on this machine.");
        break;
    case ListenResult::PermissionDenied:
        m_listenFailureMessage =
            QStringLiteral("Pocketlane is not allowed to listen on port ") + port +
            QStringLiteral(": ports below 1024 need administrator rights. Run Pocketlane as "
                           "root, or on another port, for example with --port 8080.");
        break;
    default:
        m_listenFailureMessage = QStringLiteral("The port ") + port +
                                 QStringLiteral(" could not be opened: ") +
                                 listener.ListenErrorString();
    }
    return false;
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
    for (int i = 0; i <= m_lHighestSocket; ++i)
        dropConnection(i);
    Q_EMIT Stopped();
    m_log.LogStatus(LogNotice, QStringLiteral("Pocketlane stopped by user"));
}

bool WapServer::StartServer() {
    if (m_bRunning)
        return true;
    setRunning(true);
    if (!listen()) {
        setRunning(false);
        m_log.LogStatus(LogError, m_listenFailureMessage);
        return false;
    }
    m_log.LogStatus(LogNotice, QStringLiteral("Pocketlane started by user"));
    return true;
}

void WapServer::onConnectionRequest(int index, qintptr requestId) {
    if (!m_bRunning) {
        m_log.LogStatus(LogDetail,
                        QStringLiteral("Incoming connection request, but Pocketlane stopped!"));
        return;
    }
    m_log.LogStatus(LogDetail, QStringLiteral("Incoming connection request on Socket"));
    if (index != 0)
        return;
    int element = closedConnectionElement();
    if (element == 0) {
        if (m_lHighestSocket >= m_maxElements) {
            logSocketFailure(index, QStringLiteral("No connection element is free (the limit is ") +
                                        QString::number(m_maxElements) + u')');
            return;
        }
        element = ++m_lHighestSocket;
        g_Winsock.CreateElement(element);
        m_pendingInputs.resize(element + 1);
    }
    if (!acceptOn(element, requestId))
        logSocketFailure(index, QStringLiteral("The connection could not be accepted"));
}

int WapServer::closedConnectionElement() const {
    for (int i = 1; i <= m_lHighestSocket; ++i) {
        if (g_Winsock[i].IsClosed())
            return i;
    }
    return 0;
}

bool WapServer::acceptOn(int index, qintptr requestId) {
    SocketElement& element = g_Winsock[index];
    element.SetLocalPort(0);
    if (!element.Accept(requestId))
        return false;
    pendingInput(index) = PendingInput{};
    return true;
}

void WapServer::onDataArrival(int index, qint64 /*bytesTotal*/) {
    if (!m_bRunning) {
        m_log.LogStatus(LogDetail,
                        QStringLiteral("Incoming connection request, but Pocketlane stopped!"));
        return;
    }
    m_log.LogStatus(LogDetail, QStringLiteral("Incoming data on Socket"));
    serveWaitingRequests(index);
}

// Handles every complete request that has arrived on the connection, in
// order. Bytes of a request whose headers are not complete yet are kept for
// the next arrival; while an answer is streamed, requests wait for its end.
void WapServer::serveWaitingRequests(int index) {
    if (!g_Winsock.Exists(index) || index == 0)
        return;
    SocketElement& element = g_Winsock[index];
    if (element.State() != int(SocketState::Connected) || element.IsStreaming())
        return;
    PendingInput& input = pendingInput(index);
    input.bytes += element.GetData();
    QByteArray request;
    while (takeCompleteRequest(input, request)) {
        input.lastRequestAt = SocketElement::MonotonicNow();
        ProcessRequest(index, request);
        if (element.State() != int(SocketState::Connected) || element.IsStreaming())
            return;
    }
    if (input.bytes.size() > MaxRequestHeaderBytes)
        dropConnection(index);
}

bool WapServer::takeCompleteRequest(PendingInput& input, QByteArray& request) {
    const qint64 skipped = std::min<qint64>(input.bodyBytesToSkip, input.bytes.size());
    input.bytes.remove(0, skipped);
    input.bodyBytesToSkip -= skipped;
    if (input.bodyBytesToSkip > 0)
        return false;
    // Empty lines before a request (some clients end a body with one) are
    // not part of it.
    while (input.bytes.startsWith("\r\n")) {
        input.bytes.remove(0, 2);
        input.searchFrom = 0;
    }
    const qsizetype end = input.bytes.indexOf(EndOfHeaders, input.searchFrom);
    if (end < 0 || end + EndOfHeaders.size() > MaxRequestHeaderBytes) {
        input.searchFrom = std::max<qsizetype>(0, input.bytes.size() - (EndOfHeaders.size() - 1));
        return false;
    }
    request = input.bytes.left(end + EndOfHeaders.size());
    input.bytes.remove(0, request.size());
    input.searchFrom = 0;
    input.bodyBytesToSkip = AnnouncedBodyLength(request);
    return true;
}

void WapServer::ProcessRequest(int index, const QByteArray& text) {
    if (index <= 0 || !g_Winsock.Exists(index))
        return;
    auto packet = std::make_shared<CPacket>();
    try {
        packet->CrackHTTPPacket(text);
    } catch (const PocketlaneError&) {
        dropConnection(index);
        return;
    }
    packet->SetSocket(&g_Winsock[index]);
    if (packet->PacketType() != PacketGet) {
        dropConnection(index);
        return;
    }
    try {
        if (m_handler)
            m_handler->HandleRequest(packet);
    } catch (...) {
        // The site logs its own failures; an unanswered request is dropped.
    }
    if (!packet->HasAnswered() && !packet->IsDeferred())
        dropConnection(index);
}

void WapServer::onError(int index, int /*number*/, const QString& description) {
    logSocketFailure(index, description);
    if (index == 0) {
        if (m_bRunning)
            m_acceptRetry.start();
        return;
    }
    dropConnection(index);
}

void WapServer::onClose(int index) {
    dropConnection(index);
}

void WapServer::logSocketFailure(int index, const QString& description) {
    m_log.LogStatus(LogError, QStringLiteral("Socket: ") + QString::number(index) +
                                  QStringLiteral("  Reported Error:") + description);
}

void WapServer::dropConnection(int index) {
    if (!g_Winsock.Exists(index))
        return;
    g_Winsock[index].Close();
    pendingInput(index) = PendingInput{};
}

void WapServer::closeIdleConnections() {
    const qint64 now = SocketElement::MonotonicNow();
    for (int i = 1; i <= m_lHighestSocket; ++i) {
        const SocketElement& element = g_Winsock[i];
        if (element.IsClosed())
            continue;
        const qint64 busySince = std::max(element.LastActivity(), pendingInput(i).lastRequestAt);
        if (now - busySince >= m_requestTimeoutMs)
            dropConnection(i);
    }
}

WapServer::PendingInput& WapServer::pendingInput(int index) {
    return m_pendingInputs[index];
}
