#include "http/SocketElement.h"

#include "http/ListeningSocket.h"
#include "http/TcpConnection.h"

#include <QMetaObject>

#include <chrono>
#include <unistd.h>

qint64 SocketElement::MonotonicNow() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

SocketElement::SocketElement(int index, SocketElementArray& array)
    : QObject(&array)
    , m_index(index)
    , m_array(array) {}

SocketElement::~SocketElement() {
    releaseSocket();
}

quint16 SocketElement::LocalPort() const {
    if (m_listener)
        return m_listener->Port();
    if (m_socket)
        return m_socket->localPort();
    return m_localPort;
}

bool SocketElement::Listen() {
    Close();
    m_listener = new ListeningSocket(
        [this](qintptr descriptor) { m_array.raiseConnectionRequest(m_index, descriptor); },
        [this] { onAcceptError(); }, this);
    if (!m_listener->Listen(m_localPort)) {
        m_listenError = m_listener->Error();
        m_listenErrorString = m_listener->ErrorString();
        delete m_listener;
        m_listener = nullptr;
        return false;
    }
    m_state = SocketState::Listening;
    return true;
}

void SocketElement::ResumeAccepting() {
    if (m_listener)
        m_listener->ResumeAccepting();
}

void SocketElement::onAcceptError() {
    Q_EMIT m_array.Error(m_index, int(m_listener->Error()), m_listener->ErrorString());
}

bool SocketElement::Accept(qintptr requestId) {
    if (m_state != SocketState::Closed || !m_array.takeOfferedConnection(requestId))
        return false;
    auto* socket = new TcpConnection(int(requestId), this);
    socket->setReadBufferSize(ReadBufferSize);
    connect(socket, &TcpConnection::readyRead, this, &SocketElement::onReadyRead);
    connect(socket, &TcpConnection::bytesWritten, this, &SocketElement::onBytesWritten);
    connect(socket, &TcpConnection::errorOccurred, this, &SocketElement::onSocketError);
    connect(socket, &TcpConnection::disconnected, this, &SocketElement::onDisconnected);
    m_socket = socket;
    m_state = SocketState::Connected;
    m_closeWhenSent = false;
    m_lastActivity = MonotonicNow();
    return true;
}

qint64 SocketElement::BytesWaiting() const {
    return m_socket ? m_socket->bytesAvailable() : 0;
}

QByteArray SocketElement::GetData() {
    return m_socket ? m_socket->readAll() : QByteArray();
}

bool SocketElement::SendData(const QByteArray& data) {
    if (m_state != SocketState::Connected || !m_socket)
        return false;
    // The connection sends at once what the system takes: a whole answer
    // usually fits the socket's send buffer, and a connection told to close
    // then closes right away.
    if (m_socket->write(data) > 0)
        m_lastActivity = MonotonicNow();
    return true;
}

bool SocketElement::SendStream(std::unique_ptr<ResponseStream> stream) {
    if (m_state != SocketState::Connected || !m_socket || m_stream)
        return false;
    m_stream = std::move(stream);
    pumpStream();
    return true;
}

qint64 SocketElement::PendingWriteBytes() const {
    return m_socket ? m_socket->bytesToWrite() : 0;
}

void SocketElement::CloseAfterSending() {
    if (m_state != SocketState::Connected || !m_socket)
        return;
    m_closeWhenSent = true;
    m_state = SocketState::Closing;
    if (!m_stream)
        m_socket->disconnectFromHost();
}

void SocketElement::Close() {
    releaseSocket();
    if (m_listener) {
        m_listener->Close();
        m_listener->deleteLater();
        m_listener = nullptr;
    }
    m_state = SocketState::Closed;
}

void SocketElement::onReadyRead() {
    if (m_state == SocketState::Connected)
        Q_EMIT m_array.DataArrival(m_index, m_socket->bytesAvailable());
}

void SocketElement::onBytesWritten() {
    m_lastActivity = MonotonicNow();
    pumpStream();
}

void SocketElement::onSocketError(QAbstractSocket::SocketError error) {
    // The other end closing is no fault and comes as a disconnect, which
    // raises the Close event.
    m_stream.reset();
    m_state = SocketState::Error;
    Q_EMIT m_array.Error(m_index, int(error), m_socket ? m_socket->errorString() : QString());
}

void SocketElement::onDisconnected() {
    m_stream.reset();
    if (m_closeWhenSent) {
        Close();
        return;
    }
    m_state = SocketState::Closing;
    Q_EMIT m_array.Close(m_index);
}

void SocketElement::pumpStream() {
    if (m_pumping)
        return;
    m_pumping = true;
    while (m_stream && m_socket && m_socket->bytesToWrite() < StreamLowWater) {
        if (m_stream->AtEnd()) {
            endStream();
            break;
        }
        QByteArray chunk;
        QString failure;
        try {
            chunk = m_stream->ReadChunk(StreamChunkSize);
        } catch (const std::exception& error) {
            failure = QString::fromLocal8Bit(error.what());
        }
        if (!failure.isEmpty() || (chunk.isEmpty() && !m_stream->AtEnd())) {
            failStream(failure);
            break;
        }
        if (m_socket->write(chunk) > 0)
            m_lastActivity = MonotonicNow();
    }
    m_pumping = false;
}

void SocketElement::endStream() {
    m_stream.reset();
    if (m_closeWhenSent && m_socket)
        m_socket->disconnectFromHost();
    QMetaObject::invokeMethod(
        &m_array, [array = &m_array, index = m_index] { Q_EMIT array->StreamFinished(index); },
        Qt::QueuedConnection);
}

void SocketElement::failStream(const QString& failure) {
    const QString reason = failure.isEmpty() ? m_stream->ErrorString() : failure;
    m_stream.reset();
    m_state = SocketState::Error;
    Q_EMIT m_array.Error(m_index, int(QAbstractSocket::UnknownSocketError),
                         reason.isEmpty() ? QStringLiteral("The streamed answer failed") : reason);
}

void SocketElement::releaseSocket() {
    m_stream.reset();
    if (!m_socket)
        return;
    TcpConnection* socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->Dispose();
}

SocketElementArray::SocketElementArray(QObject* parent)
    : QObject(parent) {
    CreateElement(0);
}

SocketElementArray::~SocketElementArray() = default;

SocketElement& SocketElementArray::CreateElement(int index) {
    Q_ASSERT(index == m_elements.size());
    m_elements.append(new SocketElement(index, *this));
    return *m_elements.constLast();
}

void SocketElementArray::raiseConnectionRequest(int index, qintptr descriptor) {
    m_offeredConnection = descriptor;
    Q_EMIT ConnectionRequest(index, descriptor);
    if (m_offeredConnection == descriptor)
        ::close(int(descriptor));
    m_offeredConnection = -1;
}

bool SocketElementArray::takeOfferedConnection(qintptr requestId) {
    if (requestId < 0 || requestId != m_offeredConnection)
        return false;
    m_offeredConnection = -1;
    return true;
}
