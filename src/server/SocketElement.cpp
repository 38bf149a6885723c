#include "server/SocketElement.h"

#include "server/PrimaryAddress.h"

#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <chrono>
#include <unistd.h>

namespace {

// Connections the system may queue while the program is busy: with a
// small backlog, a burst of phones turns into refused connections and
// second-long retries.
constexpr int ListenBacklog = 1024;

} // namespace

// The listening socket of an element. It hands each incoming connection's
// descriptor to its element instead of queueing a QTcpSocket for it.
class ListeningServer : public QTcpServer {
public:
    explicit ListeningServer(SocketElement& element)
        : QTcpServer(&element)
        , m_element(element)
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override { m_element.offerConnection(descriptor); }

private:
    SocketElement& m_element;
};

qint64 SocketElement::MonotonicNow()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

SocketElement::SocketElement(int index, SocketElementArray& array)
    : QObject(&array)
    , m_index(index)
    , m_array(array)
{
}

SocketElement::~SocketElement()
{
    releaseSocket();
}

quint16 SocketElement::LocalPort() const
{
    if (m_listener && m_listener->isListening())
        return m_listener->serverPort();
    if (m_socket)
        return m_socket->localPort();
    return m_localPort;
}

bool SocketElement::Listen()
{
    Close();
    m_listener = new ListeningServer(*this);
    m_listener->setListenBacklogSize(ListenBacklog);
    connect(m_listener, &QTcpServer::acceptError, this, &SocketElement::onAcceptError);
    if (!m_listener->listen(QHostAddress::Any, m_localPort)) {
        m_listenError = m_listener->serverError();
        m_listenErrorString = m_listener->errorString();
        delete m_listener;
        m_listener = nullptr;
        return false;
    }
    m_state = SocketState::Listening;
    return true;
}

void SocketElement::ResumeAccepting()
{
    if (m_listener)
        m_listener->resumeAccepting();
}

void SocketElement::offerConnection(qintptr descriptor)
{
    m_array.raiseConnectionRequest(m_index, descriptor);
}

void SocketElement::onAcceptError()
{
    // Qt has paused accepting; the owner decides when to resume, so that a
    // lack of descriptors does not turn into a busy loop.
    Q_EMIT m_array.Error(m_index, int(m_listener->serverError()), m_listener->errorString());
}

bool SocketElement::Accept(qintptr requestId)
{
    if (m_state != SocketState::Closed || !m_array.takeOfferedConnection(requestId))
        return false;
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(requestId)) {
        ::close(int(requestId));
        delete socket;
        return false;
    }
    socket->setReadBufferSize(ReadBufferSize);
    connect(socket, &QTcpSocket::readyRead, this, &SocketElement::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &SocketElement::onBytesWritten);
    connect(socket, &QTcpSocket::errorOccurred, this, &SocketElement::onSocketError);
    connect(socket, &QTcpSocket::disconnected, this, &SocketElement::onDisconnected);
    m_socket = socket;
    m_state = SocketState::Connected;
    m_closeWhenSent = false;
    m_lastActivity = MonotonicNow();
    return true;
}

qint64 SocketElement::BytesWaiting() const
{
    return m_socket ? m_socket->bytesAvailable() : 0;
}

QByteArray SocketElement::GetData()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

bool SocketElement::SendData(const QByteArray& data)
{
    if (m_state != SocketState::Connected || !m_socket)
        return false;
    m_socket->write(data);
    return true;
}

bool SocketElement::SendStream(std::unique_ptr<ResponseStream> stream)
{
    if (m_state != SocketState::Connected || !m_socket || m_stream)
        return false;
    m_stream = std::move(stream);
    pumpStream();
    return true;
}

qint64 SocketElement::PendingWriteBytes() const
{
    return m_socket ? m_socket->bytesToWrite() : 0;
}

void SocketElement::CloseAfterSending()
{
    if (m_state != SocketState::Connected || !m_socket)
        return;
    m_closeWhenSent = true;
    m_state = SocketState::Closing;
    if (!m_stream)
        m_socket->disconnectFromHost();
}

void SocketElement::Close()
{
    releaseSocket();
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
    }
    m_state = SocketState::Closed;
}

QString SocketElement::LocalIP() const
{
    return PrimaryIPv4Address();
}

void SocketElement::onReadyRead()
{
    if (m_state == SocketState::Connected)
        Q_EMIT m_array.DataArrival(m_index, m_socket->bytesAvailable());
}

void SocketElement::onBytesWritten()
{
    m_lastActivity = MonotonicNow();
    pumpStream();
}

void SocketElement::onSocketError(QAbstractSocket::SocketError error)
{
    // The other end closing is no fault: the disconnect that follows once
    // the queued bytes are written raises the Close event.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    m_stream.reset();
    m_state = SocketState::Error;
    Q_EMIT m_array.Error(m_index, int(error), m_socket ? m_socket->errorString() : QString());
}

void SocketElement::onDisconnected()
{
    m_stream.reset();
    if (m_closeWhenSent) {
        Close();
        return;
    }
    m_state = SocketState::Closing;
    Q_EMIT m_array.Close(m_index);
}

void SocketElement::pumpStream()
{
    if (m_pumping)
        return;
    m_pumping = true;
    while (m_stream && m_socket && m_socket->bytesToWrite() < StreamLowWater) {
        if (m_stream->AtEnd()) {
            endStream();
            break;
        }
        const QByteArray chunk = m_stream->ReadChunk(StreamChunkSize);
        if (chunk.isEmpty() && !m_stream->AtEnd()) {
            failStream();
            break;
        }
        m_socket->write(chunk);
    }
    m_pumping = false;
}

void SocketElement::endStream()
{
    m_stream.reset();
    if (m_closeWhenSent && m_socket)
        m_socket->disconnectFromHost();
    QMetaObject::invokeMethod(
        &m_array, [array = &m_array, index = m_index] { Q_EMIT array->StreamFinished(index); },
        Qt::QueuedConnection);
}

void SocketElement::failStream()
{
    const QString reason = m_stream->ErrorString();
    m_stream.reset();
    m_state = SocketState::Error;
    Q_EMIT m_array.Error(m_index, int(QAbstractSocket::UnknownSocketError),
                         reason.isEmpty() ? QStringLiteral("The streamed answer failed") : reason);
}

void SocketElement::releaseSocket()
{
    m_stream.reset();
    if (!m_socket)
        return;
    QTcpSocket* socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

SocketElementArray::SocketElementArray(QObject* parent)
    : QObject(parent)
{
    CreateElement(0);
}

SocketElementArray::~SocketElementArray() = default;

SocketElement& SocketElementArray::CreateElement(int index)
{
    Q_ASSERT(index == m_elements.size());
    m_elements.append(new SocketElement(index, *this));
    return *m_elements.constLast();
}

void SocketElementArray::raiseConnectionRequest(int index, qintptr descriptor)
{
    m_offeredConnection = descriptor;
    Q_EMIT ConnectionRequest(index, descriptor);
    if (m_offeredConnection == descriptor)
        ::close(int(descriptor));
    m_offeredConnection = -1;
}

bool SocketElementArray::takeOfferedConnection(qintptr requestId)
{
    if (requestId < 0 || requestId != m_offeredConnection)
        return false;
    m_offeredConnection = -1;
    return true;
}
