#include "http/CPacket.h"

#include "base/PocketlaneError.h"
#include "http/Connection.h"
#include "wml/XhtmlRenderer.h"

#include <QCoreApplication>
#include <QTimer>

#include <unistd.h>

namespace {

constexpr QByteArrayView EndOfHeaders = "\r\n\r\n";

} // namespace

CrackedPacket CPacket::CrackHTTPPacket(const QByteArray& sHTTPPacket) {
    auto packet = std::make_shared<CPacket>();
    QString failure;
    try {
        failure = packet->m_request.Parse(sHTTPPacket);
    } catch (const PocketlaneError& error) {
        failure = error.Description();
    }
    if (!failure.isEmpty())
        return {nullptr, failure};
    return {std::move(packet), {}};
}

void CPacket::Bind(std::weak_ptr<Connection> connection, int socketIndex) {
    if (const auto open = connection.lock())
        m_generation = open->Generation();
    m_connection = std::move(connection);
    m_iSocketIndex = socketIndex;
}

CPacket::~CPacket() {
    if (!m_bDeferred || m_bAnswered)
        return;
    if (const auto connection = m_connection.lock();
        connection && connection->Generation() == m_generation)
        connection->Close();
}

CPacket::BodyFraming CPacket::ResponseFraming() const {
    if (Protocol() == "HTTP/1.0" || Protocol() == "HTTP/0.9")
        return BodyFraming::ContentLength;
    return BodyFraming::Chunked;
}

std::shared_ptr<Connection> CPacket::connectedSocket(const char* operation) const {
    if (!IsConnected())
        throw PocketlaneError(ErrNotConnected, QStringLiteral("The connection is closed"),
                              QStringLiteral("CPacket.") + QLatin1String(operation));
    return m_connection.lock();
}

void CPacket::SendResponse(const QByteArray& sResponse, int eHTTPResponse) {
    const auto connection = connectedSocket("SendResponse");
    const PageType type = PageNegotiation::ForAccept(Headers().Value("Accept"));
    if (type.form == PageType::NotAcceptable) {
        SendRawResponse(HttpAnswer::NotAcceptable(HttpAnswer::CurrentDate()));
        return;
    }
    const QByteArray page =
        type.form == PageType::Wml ? sResponse : XhtmlRenderer::FromWml(sResponse);
    // Held back until the close below, so that the answer leaves together
    // with the end of the connection.
    connection->Write(HttpAnswer::Page(page, eHTTPResponse, HttpAnswer::CurrentDate(),
                                       ResponseFraming(), type, !IsHead()),
                      true);
    markAnswered(*connection);
    connection->CloseAfterSending();
}

void CPacket::SendRawResponse(const QByteArray& sRawResponse) {
    const auto connection = connectedSocket("SendRawResponse");
    if (IsHead()) {
        const qsizetype headerEnd = sRawResponse.indexOf(EndOfHeaders);
        connection->Write(headerEnd < 0 ? sRawResponse
                                        : sRawResponse.left(headerEnd + EndOfHeaders.size()));
    } else {
        connection->Write(sRawResponse);
    }
    markAnswered(*connection);
    if (closesAfter(sRawResponse))
        connection->CloseAfterSending();
}

void CPacket::SendRawResponse(const QByteArray& headers, const QByteArray& body) {
    const auto connection = connectedSocket("SendRawResponse");
    const bool withBody = !IsHead() && !body.isEmpty();
    connection->Write(headers, withBody);
    if (withBody)
        connection->Write(body);
    markAnswered(*connection);
    if (closesAfter(headers))
        connection->CloseAfterSending();
}

bool CPacket::DownloadSlotAvailable() {
    const auto connection = m_connection.lock();
    return connection && connection->DownloadSlotAvailable();
}

bool CPacket::IsConnected() const {
    const auto connection = m_connection.lock();
    return connection && connection->Generation() == m_generation && connection->TakesRequests();
}

QByteArray CPacket::ClientAddress() const {
    const auto connection = m_connection.lock();
    return connection && connection->Generation() == m_generation ? connection->ClientAddress()
                                                                  : QByteArray();
}

void CPacket::SendFile(const QByteArray& headers, int fileFd, qint64 offset, qint64 length) {
    std::shared_ptr<Connection> connection;
    try {
        connection = connectedSocket("SendFile");
        if (!IsHead() && length > 0 && !connection->DownloadSlotAvailable())
            throw PocketlaneError(ErrTooManyDownloads, QStringLiteral("Too many downloads at once"),
                                  QStringLiteral("CPacket.SendFile"));
    } catch (...) {
        ::close(fileFd);
        throw;
    }
    if (IsHead() || length <= 0) {
        ::close(fileFd);
        connection->Write(headers);
    } else {
        connection->Write(headers, true);
        connection->SendFile(fileFd, offset, length);
    }
    markAnswered(*connection);
    if (closesAfter(headers))
        connection->CloseAfterSending();
}

bool CPacket::closesAfter(const QByteArray& headers) const {
    return ResponseFraming() == BodyFraming::ContentLength ||
           HttpAnswer::SaysConnectionClose(headers);
}

// The requests that waited behind a deferred answer are taken once it has
// been written.
void CPacket::markAnswered(Connection& connection) {
    m_bAnswered = true;
    if (m_bDeferred)
        connection.ReleaseRequests();
}

void CPacket::WhenAnswerDelivered(std::function<void()> done, int waitLimitMs) const {
    // Several of the events below may come; done is called on the first only.
    const auto once = [done = std::move(done), called = std::make_shared<bool>(false)] {
        if (!std::exchange(*called, true))
            done();
    };
    const auto connection = m_connection.lock();
    if (!connection || connection->Generation() != m_generation || !connection->IsOpen() ||
        connection->BytesToWrite() == 0) {
        QTimer::singleShot(0, QCoreApplication::instance(), once);
        return;
    }
    connection->WhenDrained(once);
    QTimer::singleShot(waitLimitMs, QCoreApplication::instance(), once);
}
