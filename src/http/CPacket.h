#pragma once

#include "http/PageNegotiation.h"
#include "http/TextCollection.h"

#include <QByteArray>
#include <QString>

#include <ctime>
#include <functional>
#include <memory>

class Connection;
class CPacket;

// Status lines of SendResponse.
enum HttpResponse { HttpOk = 200, HttpBadRequest = 400 };
// The failure SendFile raises when every download slot is taken.
constexpr int ErrTooManyDownloads = 40007;
// Methods told apart by CrackHTTPPacket.
enum PacketTypes { PacketGet = 0, PacketPut = 1 };

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
    // How an answer's body is delimited.
    enum class BodyFraming {
        Chunked,       // HTTP/1.1: the deck as one chunk and the last chunk
        ContentLength, // HTTP/1.0 clients, which cannot read chunks
    };

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

    // The bytes SendResponse writes for a page (a WML deck, or the XHTML
    // page of the type given) with the given Date value; without the body,
    // only the headers it would have come with (HEAD).
    static QByteArray BuildResponse(const QByteArray& sResponse, int eHTTPResponse,
                                    const QByteArray& date,
                                    BodyFraming framing = BodyFraming::Chunked,
                                    const PageType& type = {}, bool bWithBody = true);
    // The answer to a client that takes no type a page comes in.
    static QByteArray NotAcceptableAnswer(const QByteArray& date);
    // The "Date: " header value: RFC 1123 date in GMT with a space after GMT.
    static QByteArray HttpDate(std::time_t secondsSinceEpoch);
    // HttpDate of now, formatted once per second.
    static const QByteArray& CurrentHttpDate();
    // Whether the header block of a raw answer says "Connection: close".
    static bool SaysConnectionClose(const QByteArray& rawResponse);
    // The answer to a request that cannot be parsed (given as far as it
    // came): status 400 and a one-line deck, by its length for a request
    // line that names HTTP/1.0, chunked otherwise like every other deck.
    static QByteArray BadRequestAnswer(const QByteArray& request);

    int SocketIndex() const { return m_iSocketIndex; }
    const QByteArray& Root() const { return m_sRoot; }
    int PacketType() const { return m_lPacketType; }
    const QByteArray& Method() const { return m_method; }
    // The protocol name closing the request line, such as "HTTP/1.1".
    const QByteArray& Protocol() const { return m_protocol; }
    // How an answer of SendResponse is delimited for this request.
    BodyFraming ResponseFraming() const;
    // A HEAD request: answers carry their headers only.
    bool IsHead() const { return m_method == "HEAD"; }
    const TextCollection& Variables() const { return m_oVariables; }
    TextCollection& Variables() { return m_oVariables; }
    const TextCollection& Headers() const { return m_oHeaders; }
    TextCollection& Headers() { return m_oHeaders; }

private:
    std::shared_ptr<Connection> connectedSocket(const char* operation) const;
    QString parse(const QByteArray& sHTTPPacket);
    QString parseHeaderBlock(const QByteArray& sHTTPPacket, qsizetype requestLineLength);
    QString parseRequestLine(QByteArrayView requestLine);
    bool closesAfter(const QByteArray& headers) const;
    void markAnswered(Connection& connection);

    std::weak_ptr<Connection> m_connection;
    std::uint32_t m_generation = 0;
    int m_iSocketIndex = 0;
    QByteArray m_sRoot;
    int m_lPacketType = PacketGet;
    QByteArray m_method;
    QByteArray m_protocol;
    TextCollection m_oVariables;
    TextCollection m_oHeaders;
    bool m_bAnswered = false;
    bool m_bDeferred = false;
};
