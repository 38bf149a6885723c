#include "http/CPacket.h"

#include "base/PocketlaneError.h"
#include "base/basUtilities.h"
#include "http/SocketElement.h"
#include "http/TcpConnection.h"

#include <QCoreApplication>
#include <QTimer>

#include <QLocale>

namespace {

const QByteArray CrLf("\r\n");

[[noreturn]] void FailParse(const char* reason) {
    throw PocketlaneError(ErrBadRequest, QString::fromLatin1(reason),
                          QStringLiteral("CPacket.CrackHTTPPacket"));
}

QByteArray TrimSpaces(const QByteArray& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == ' ')
        ++begin;
    while (end > begin && text.at(end - 1) == ' ')
        --end;
    return text.mid(begin, end - begin);
}

// The pieces of text between the separators; an empty text has no pieces.
QList<QByteArray> SplitPieces(const QByteArray& text, char separator) {
    return text.isEmpty() ? QList<QByteArray>() : text.split(separator);
}

} // namespace

CPacket::CPacket() = default;

void CPacket::CrackHTTPPacket(const QByteArray& sHTTPPacket) {
    m_sRoot.clear();
    const qsizetype requestLineEnd = sHTTPPacket.indexOf(CrLf);
    if (requestLineEnd < 0)
        FailParse("The request has no line end");
    const QByteArray requestLine = sHTTPPacket.left(requestLineEnd);
    parseHeaderBlock(sHTTPPacket, requestLine.size());
    if (!requestLine.isEmpty())
        parseRequestLine(requestLine);
}

// The header lines run from after the request line's CR LF up to the last
// four characters of the text (the CR LF CR LF that end the request).
void CPacket::parseHeaderBlock(const QByteArray& sHTTPPacket, qsizetype requestLineLength) {
    const qsizetype count = sHTTPPacket.size() - requestLineLength - 6;
    if (count < 0)
        FailParse("The request has no header line");
    const QByteArray block = sHTTPPacket.mid(requestLineLength + 2, count);
    for (const QByteArray& line : SplitPieces(block, '\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            FailParse("A header line has no colon");
        m_oHeaders.Add(line.left(colon), line.mid(colon + 1));
    }
}

void CPacket::parseRequestLine(const QByteArray& requestLine) {
    const qsizetype space = requestLine.indexOf(' ');
    if (space < 0)
        FailParse("The request line has no space");
    const qsizetype methodPartLength = space + 1;
    const QByteArray method = TrimSpaces(requestLine.left(methodPartLength));
    if (method == "GET")
        m_lPacketType = PacketGet;
    else if (method == "PUT")
        m_lPacketType = PacketPut;

    // The path runs from the space up to the space and protocol name (nine
    // characters) at the end of the line.
    const qsizetype count = requestLine.size() - methodPartLength - 8;
    if (count < 0)
        FailParse("The request line has no path");
    // The path is split into the root and the query before anything is
    // decoded, and each name and value is decoded once on its own, so that a
    // visitor's "&", "=", "?", "+" or "%" arrives as typed.
    const QByteArray path = TrimSpaces(requestLine.mid(methodPartLength - 1, count));
    if (path.isEmpty())
        FailParse("The request path is empty");
    const qsizetype question = path.indexOf('?');
    m_sRoot = basUtilities::URLDecode(question < 0 ? path : path.left(question));
    if (question >= 0)
        parseQuery(path.mid(question + 1));
}

void CPacket::parseQuery(const QByteArray& query) {
    for (const QByteArray& piece : SplitPieces(query, '&')) {
        const qsizetype equals = piece.indexOf('=');
        if (equals < 0)
            FailParse("A query variable has no \"=\"");
        m_oVariables.Add(basUtilities::URLDecode(piece.left(equals)),
                         basUtilities::URLDecode(piece.mid(equals + 1)));
    }
}

QByteArray CPacket::HttpDate(const QDateTime& whenUtc) {
    const QString text = QLocale::c().toString(whenUtc.toUTC(), u"ddd, dd MMM yyyy HH:mm:ss");
    return text.toLatin1() + " GMT ";
}

QByteArray CPacket::BuildResponse(const QByteArray& sResponse, int eHTTPResponse,
                                  const QDateTime& whenUtc) {
    QByteArray out;
    out.reserve(sResponse.size() + 256);
    out += eHTTPResponse == HttpBadRequest ? "HTTP/1.1 400 OK\r\n" : "HTTP/1.1 200 OK\r\n";
    out += "Date: " + HttpDate(whenUtc) + CrLf;
    out += "Server: Quill\r\n";
    out += "Cache-Control: no-cache\r\n";
    out += "Connection: Close\r\n";
    out += "Transfer-Encoding: chunked\r\n";
    out += "Content-Type: text/vnd.wap.wml\r\n\r\n";
    out += QByteArray::number(sResponse.size(), 16).toUpper() + " \r\n";
    out += sResponse;
    out += "\r\n0\r\n\r\n";
    return out;
}

bool CPacket::SaysConnectionClose(const QByteArray& rawResponse) {
    const qsizetype headerEnd = rawResponse.indexOf("\r\n\r\n");
    const QByteArray block = headerEnd < 0 ? rawResponse : rawResponse.left(headerEnd);
    for (const QByteArray& line : block.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed().toLower() != "connection")
            continue;
        for (const QByteArray& token : line.mid(colon + 1).split(',')) {
            if (token.trimmed().toLower() == "close")
                return true;
        }
    }
    return false;
}

SocketElement& CPacket::connectedSocket(const char* operation) const {
    if (!m_oSocket || m_oSocket->State() != int(SocketState::Connected))
        throw PocketlaneError(ErrNotConnected, QStringLiteral("The connection is closed"),
                              QStringLiteral("CPacket.") + QLatin1String(operation));
    return *m_oSocket;
}

void CPacket::SendResponse(const QByteArray& sResponse, int eHTTPResponse) {
    SocketElement& socket = connectedSocket("SendResponse");
    socket.SendData(BuildResponse(sResponse, eHTTPResponse, QDateTime::currentDateTimeUtc()));
    socket.CloseAfterSending();
    m_bAnswered = true;
}

void CPacket::SendRawResponse(const QByteArray& sRawResponse) {
    SocketElement& socket = connectedSocket("SendRawResponse");
    socket.SendData(sRawResponse);
    if (SaysConnectionClose(sRawResponse))
        socket.CloseAfterSending();
    m_bAnswered = true;
}

void CPacket::SendStream(std::unique_ptr<ResponseStream> stream) {
    SocketElement& socket = connectedSocket("SendStream");
    socket.SendStream(std::move(stream));
    m_bAnswered = true;
}

void CPacket::WhenAnswerDelivered(std::function<void()> done, int waitLimitMs) const {
    // Several of the events below may come; done is called on the first only.
    const auto once = [done = std::move(done), called = std::make_shared<bool>(false)] {
        if (!std::exchange(*called, true))
            done();
    };
    // A connection told to close once its answer is written is in the
    // closing state until then: its bytes still have to leave too.
    TcpConnection* connection = m_oSocket ? m_oSocket->Connection() : nullptr;
    if (!connection || !connection->isOpen() || connection->bytesToWrite() == 0) {
        QTimer::singleShot(0, QCoreApplication::instance(), once);
        return;
    }
    auto* waitLimit = new QTimer(connection);
    waitLimit->setSingleShot(true);
    QObject::connect(waitLimit, &QTimer::timeout, once);
    QObject::connect(connection, &TcpConnection::bytesWritten, waitLimit, [connection, once] {
        if (connection->bytesToWrite() == 0)
            once();
    });
    QObject::connect(connection, &TcpConnection::disconnected, waitLimit, once);
    QObject::connect(connection, &QObject::destroyed, QCoreApplication::instance(), once);
    waitLimit->start(waitLimitMs);
}
