#pragma once

#include "http/ResponseStream.h"
#include "http/SocketElement.h"
#include "http/TextCollection.h"

#include <QByteArray>
#include <QDateTime>
#include <QPointer>

#include <functional>
#include <memory>

// Status lines of SendResponse.
enum HttpResponse { HttpOk = 200, HttpBadRequest = 400 };
// Methods told apart by CrackHTTPPacket.
enum PacketTypes { PacketGet = 0, PacketPut = 1 };

// One request and its answer: the parsed request (path, method, query
// variables, headers) and the connection element every answer is written
// to. Texts are bytes, one character per byte, as they came off the socket.
class CPacket : public std::enable_shared_from_this<CPacket> {
public:
    CPacket();

    // Parses one complete request text (request line, header lines and the
    // blank line). Raises PocketlaneError when the text cannot be parsed.
    void CrackHTTPPacket(const QByteArray& sHTTPPacket);

    // The whole HTTP answer for a WML deck in one write: the fixed headers,
    // the deck as one chunk and the last chunk. The connection closes once
    // it has been written, as its "Connection: Close" header says. Raises
    // PocketlaneError when the connection is gone.
    void SendResponse(const QByteArray& sResponse, int eHTTPResponse);
    // Writes the text unchanged; the caller builds status line and headers.
    // The connection closes after it only when its headers say
    // "Connection: close".
    void SendRawResponse(const QByteArray& sRawResponse);
    // Sends an answer piece by piece (headers included) as the connection
    // drains. Requests that follow on the connection wait until it ends.
    void SendStream(std::unique_ptr<ResponseStream> stream);

    // Calls done once the answer written so far has left for the other end
    // (handed to the system), the connection has closed or gone, or after
    // waitLimitMs at the latest; from the event loop, never from within this
    // call. With no connection or nothing left to send, done follows as soon
    // as the current event is finished.
    void WhenAnswerDelivered(std::function<void()> done, int waitLimitMs) const;

    // Whether any answer was written or started for this request.
    bool HasAnswered() const { return m_bAnswered; }
    // The handler answers later (it keeps the packet, which the server hands
    // it as a shared pointer): the connection stays open meanwhile.
    void Defer() { m_bDeferred = true; }
    bool IsDeferred() const { return m_bDeferred; }

    // The bytes SendResponse writes for a deck at the given time.
    static QByteArray BuildResponse(const QByteArray& sResponse, int eHTTPResponse,
                                    const QDateTime& whenUtc);
    // The "Date: " header value: RFC 1123 date in GMT with a space after GMT.
    static QByteArray HttpDate(const QDateTime& whenUtc);
    // Whether the header block of a raw answer says "Connection: close".
    static bool SaysConnectionClose(const QByteArray& rawResponse);

    SocketElement* Socket() const { return m_oSocket; }
    void SetSocket(SocketElement* oSocket) { m_oSocket = oSocket; }
    int SocketIndex() const { return m_iSocketIndex; }
    void SetSocketIndex(int iSocketIndex) { m_iSocketIndex = iSocketIndex; }
    const QByteArray& Root() const { return m_sRoot; }
    void SetRoot(const QByteArray& sRoot) { m_sRoot = sRoot; }
    int PacketType() const { return m_lPacketType; }
    void SetPacketType(int lPacketType) { m_lPacketType = lPacketType; }
    const TextCollection& Variables() const { return m_oVariables; }
    TextCollection& Variables() { return m_oVariables; }
    const TextCollection& Headers() const { return m_oHeaders; }
    TextCollection& Headers() { return m_oHeaders; }

private:
    SocketElement& connectedSocket(const char* operation) const;
    void parseHeaderBlock(const QByteArray& sHTTPPacket, qsizetype requestLineLength);
    void parseRequestLine(const QByteArray& requestLine);
    void parseQuery(const QByteArray& query);

    QPointer<SocketElement> m_oSocket;
    int m_iSocketIndex = 0;
    QByteArray m_sRoot;
    int m_lPacketType = PacketGet;
    TextCollection m_oVariables;
    TextCollection m_oHeaders;
    bool m_bAnswered = false;
    bool m_bDeferred = false;
};
