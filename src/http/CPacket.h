#pragma once

#include "http/HttpAnswer.h"
#include "http/ParsedRequest.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class Connection;
class CPacket;

// The failure SendFile raises when every download slot is taken.
constexpr int ErrTooManyDownloads = 40007;

// What CrackHTTPPacket makes of a request text: the parsed request, or the
// reason it could not be parsed.
struct CrackedPacket {
    std::shared_ptr<CPacket> packet;
    QString failure;
    explicit operator bool() const { return packet != nullptr; }
};

// One request and its answer: the parsed request (path, method, query
// variables, headers) and the response writer for the connection it came
// on. Texts are bytes, one character per byte, as they came off the socket.
class CPacket : public std::enable_shared_from_this<CPacket> {
public:
    using BodyFraming = HttpAnswer::BodyFraming;

    // A request that was to be answered later and never was: its connection
    // closes, so that the requests behind it do not wait in vain.
    ~CPacket();

    // Parses one complete request text (request line, header lines and the
    // blank line). A request without any header line is valid (HTTP/1.0).
    static CrackedPacket CrackHTTPPacket(const QByteArray& sHTTPPacket);

    // Binds the request to the connection (element index) its answer goes to.
    void Bind(std::weak_ptr<Connection> connection, int socketIndex);

    // The whole HTTP answer for a WML deck in one write: the fixed headers
    // and the deck, delimited as the client can read it. A client whose
    // Accept header names XHTML or HTML but not WML gets the deck as an
    // XHTML page, one that takes neither gets 406 (both with "Vary:
    // Accept"). The connection closes once it has been written, as its
    // "Connection: Close" header says. Raises PocketlaneError when the
    // connection is gone.
    void SendResponse(const QByteArray& sResponse, int eHTTPResponse);
    // Writes the text unchanged (only its headers for HEAD); the caller
    // builds status line and headers. The connection closes after it when
    // its headers say "Connection: close", or for an HTTP/1.0 client, which
    // takes the end of the connection as the end of the answer.
    void SendRawResponse(const QByteArray& sRawResponse);
    // The same for a header block and a body apart: the body is queued as
    // it is, shared with whoever else holds it, never copied.
    void SendRawResponse(const QByteArray& headers, const QByteArray& body);
    // A download: the header block, then length bytes of the open file
    // fileFd from offset, sent by the system from the file as the
    // connection drains. Exactly length bytes go out: a file that grows
    // meanwhile is cut there, and one that shrinks closes the connection.
    // Takes fileFd over. Requests that follow on the connection wait until
    // the download ends; an HTTP/1.0 client's connection closes then.
    // Raises PocketlaneError when the connection is gone or no download slot
    // is free (ask DownloadSlotAvailable first).
    void SendFile(const QByteArray& headers, int fileFd, qint64 offset, qint64 length);
    // Whether the server takes one more simultaneous download from this
    // client now (each client has a share of the slots); when every slot is
    // taken, a stalled download of a client holding more may be ended to
    // make room.
    bool DownloadSlotAvailable();
    // Whether the connection the answer goes to is still open.
    bool IsConnected() const;
    // Who sent the request (the address its connection came from); empty once the
    // connection has gone.
    QByteArray ClientAddress() const;

    // Calls done once the answer written so far has left for the other end
    // (handed to the system), the connection has closed or gone, or after
    // waitLimitMs at the latest; from the event loop, never from within this
    // call.
    void WhenAnswerDelivered(std::function<void()> done, int waitLimitMs) const;

    // Whether any answer was written or started for this request.
    bool HasAnswered() const { return m_bAnswered; }
    // The handler answers later (it keeps the packet, which the server hands
    // it as a shared pointer): the connection stays open meanwhile, and the
    // requests behind this one wait for its answer.
    void Defer() { m_bDeferred = true; }
    bool IsDeferred() const { return m_bDeferred; }

    int SocketIndex() const { return m_iSocketIndex; }
    const QByteArray& Root() const { return m_request.Root(); }
    int PacketType() const { return m_request.PacketType(); }
    const QByteArray& Method() const { return m_request.Method(); }
    // The protocol name closing the request line, such as "HTTP/1.1".
    const QByteArray& Protocol() const { return m_request.Protocol(); }
    // How an answer of SendResponse is delimited for this request.
    BodyFraming ResponseFraming() const;
    // A HEAD request: answers carry their headers only.
    bool IsHead() const { return Method() == "HEAD"; }
    const TextCollection& Variables() const { return m_request.Variables(); }
    TextCollection& Variables() { return m_request.Variables(); }
    const TextCollection& Headers() const { return m_request.Headers(); }
    TextCollection& Headers() { return m_request.Headers(); }

private:
    std::shared_ptr<Connection> connectedSocket(const char* operation) const;
    bool closesAfter(const QByteArray& headers) const;
    void markAnswered(Connection& connection);

    std::weak_ptr<Connection> m_connection;
    std::uint32_t m_generation = 0;
    int m_iSocketIndex = 0;
    ParsedRequest m_request;
    bool m_bAnswered = false;
    bool m_bDeferred = false;
};
