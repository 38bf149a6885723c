#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class Connection;
class ConnectionTable;
class RequestHandler;
class StatusLog;

// Takes what a connection has received to the request handler: reads the
// waiting bytes, cuts them into requests, parses each and hands it on, one
// at a time and in order, and answers what cannot be parsed itself.
class RequestDispatch {
public:
    RequestDispatch(StatusLog& log, ConnectionTable& elements);

    void SetRequestHandler(RequestHandler* handler) { m_handler = handler; }
    // The connection has bytes to read (or has closed or failed).
    void OnReadable(Connection& connection);
    // Handles every complete request that has arrived on the connection, in
    // order. While an answer is still being sent, or is still to come, later
    // requests wait for it.
    void ServeWaitingRequests(Connection& connection);

private:
    void handleRequest(const std::shared_ptr<Connection>& connection, const QByteArray& text);
    void answerBadRequest(Connection& connection, const QByteArray& request);

    StatusLog& m_log;
    ConnectionTable& m_elements;
    RequestHandler* m_handler = nullptr;
};
