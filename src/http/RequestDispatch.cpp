#include "http/RequestDispatch.h"

#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "http/ConnectionTable.h"
#include "http/RequestHandler.h"
#include "http/ServerMessages.h"

RequestDispatch::RequestDispatch(StatusLog& log, ConnectionTable& elements)
    : m_log(log)
    , m_elements(elements) {}

void RequestDispatch::OnReadable(Connection& connection) {
    const Connection::ReadOutcome outcome = connection.ReadWaiting();
    if (outcome == Connection::ReadOutcome::Nothing)
        return;
    m_log.LogStatus(LogDetail, QStringLiteral("Incoming data on Socket"));
    switch (outcome) {
    case Connection::ReadOutcome::Arrived:
        ServeWaitingRequests(connection);
        break;
    case Connection::ReadOutcome::PeerClosed:
        // The phone has closed its end: an answer still on its way is
        // finished, nothing further is read.
        connection.StopReading();
        connection.CloseAfterSending();
        break;
    case Connection::ReadOutcome::Failed:
        m_log.LogStatus(
            LogError, ServerMessages::SocketFailure(connection.Index(), connection.ErrorString()));
        connection.Close();
        break;
    case Connection::ReadOutcome::Nothing:
        break;
    }
}

void RequestDispatch::ServeWaitingRequests(Connection& connection) {
    const std::shared_ptr<Connection> held = m_elements.At(connection.Index());
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
        m_elements.MarkBusy(connection, ConnectionTable::Now());
        handleRequest(held, frame.request);
    }
}

void RequestDispatch::handleRequest(const std::shared_ptr<Connection>& connection,
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

void RequestDispatch::answerBadRequest(Connection& connection, const QByteArray& request) {
    connection.Write(HttpAnswer::BadRequest(request), true);
    connection.CloseAfterSending();
}
