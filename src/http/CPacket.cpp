#include "http/CPacket.h"

#include "base/PocketlaneError.h"
#include "base/basUtilities.h"
#include "http/Connection.h"
#include "wml/XhtmlRenderer.h"

#include <QCoreApplication>
#include <QTimer>

#include <unistd.h>

namespace {

constexpr QByteArrayView CrLf = "\r\n";
constexpr QByteArrayView EndOfRequest = "\r\n\r\n";

QByteArrayView TrimSpaces(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == ' ')
        ++begin;
    while (end > begin && text.at(end - 1) == ' ')
        --end;
    return text.sliced(begin, end - begin);
}

// Calls take(piece) for each piece of text between the separators, without
// copying it, until take returns false; an empty text has no pieces. False
// when take refused one.
template <typename Take> bool ForEachPiece(QByteArrayView text, char separator, Take take) {
    if (text.isEmpty())
        return true;
    for (qsizetype from = 0;;) {
        const qsizetype end = text.indexOf(separator, from);
        if (!take(text.sliced(from, (end < 0 ? text.size() : end) - from)))
            return false;
        if (end < 0)
            return true;
        from = end + 1;
    }
}

void AppendTwoDigits(QByteArray& out, int value) {
    out.append(char('0' + value / 10));
    out.append(char('0' + value % 10));
}

// A request target in absolute form ("http://host:port/path?query"), as a
// proxy or a gateway sends it, names this server's own path: the server
// serves one site, so the scheme and authority are dropped, whatever host
// they name. Any other target is kept as it is.
QByteArray WithoutAuthority(const QByteArray& target) {
    const qsizetype schemeEnd = target.indexOf("://");
    if (schemeEnd <= 0 || target.startsWith('/'))
        return target;
    const QByteArray scheme = target.left(schemeEnd).toLower();
    if (scheme != "http" && scheme != "https")
        return target;
    const qsizetype pathStart = target.indexOf('/', schemeEnd + 3);
    const qsizetype queryStart = target.indexOf('?', schemeEnd + 3);
    if (queryStart >= 0 && (pathStart < 0 || queryStart < pathStart))
        return '/' + target.mid(queryStart);
    return pathStart < 0 ? QByteArrayLiteral("/") : target.mid(pathStart);
}

} // namespace

CrackedPacket CPacket::CrackHTTPPacket(const QByteArray& sHTTPPacket) {
    auto packet = std::make_shared<CPacket>();
    QString failure;
    try {
        failure = packet->parse(sHTTPPacket);
    } catch (const PocketlaneError& error) {
        failure = error.Description();
    }
    if (!failure.isEmpty())
        return {nullptr, failure};
    return {std::move(packet), {}};
}

QString CPacket::parse(const QByteArray& sHTTPPacket) {
    const qsizetype requestLineEnd = sHTTPPacket.indexOf(CrLf);
    if (requestLineEnd < 0)
        return QStringLiteral("The request has no line end");
    const QByteArrayView requestLine = QByteArrayView(sHTTPPacket).first(requestLineEnd);
    QString failure = parseHeaderBlock(sHTTPPacket, requestLine.size());
    if (failure.isEmpty() && !requestLine.isEmpty())
        failure = parseRequestLine(requestLine);
    return failure;
}

// The header lines run from after the request line's CR LF up to the last
// four characters of the text (the CR LF CR LF that end the request). A
// request line followed directly by the blank line has no header lines.
QString CPacket::parseHeaderBlock(const QByteArray& sHTTPPacket, qsizetype requestLineLength) {
    const qsizetype count = sHTTPPacket.size() - requestLineLength - 6;
    if (count < 0) {
        const bool endsRightAfterRequestLine =
            sHTTPPacket.size() == requestLineLength + EndOfRequest.size() &&
            sHTTPPacket.endsWith(EndOfRequest);
        return endsRightAfterRequestLine ? QString()
                                         : QStringLiteral("The request has no header line");
    }
    const QByteArrayView block = QByteArrayView(sHTTPPacket).sliced(requestLineLength + 2, count);
    const bool complete = ForEachPiece(block, '\n', [this](QByteArrayView line) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            return false;
        m_oHeaders.Add(line.first(colon).toByteArray(), line.sliced(colon + 1).toByteArray());
        return true;
    });
    return complete ? QString() : QStringLiteral("A header line has no colon");
}

QString CPacket::parseRequestLine(QByteArrayView requestLine) {
    const qsizetype space = requestLine.indexOf(' ');
    if (space < 0)
        return QStringLiteral("The request line has no space");
    const qsizetype methodPartLength = space + 1;
    m_method = TrimSpaces(requestLine.first(methodPartLength)).toByteArray();
    if (m_method == "GET")
        m_lPacketType = PacketGet;
    else if (m_method == "PUT")
        m_lPacketType = PacketPut;

    // The path runs from the space up to the space and protocol name (nine
    // characters) at the end of the line.
    const qsizetype count = requestLine.size() - methodPartLength - 8;
    if (count < 0)
        return QStringLiteral("The request line has no path");
    m_protocol = requestLine.last(8).toByteArray();
    QByteArrayView target = requestLine.sliced(methodPartLength - 1, count);
    // A fragment names a place within the answer; it is no part of the request.
    if (const qsizetype hash = target.indexOf('#'); hash >= 0)
        target = target.first(hash);
    // The path is split into the root and the query before anything is
    // decoded, and each name and value is decoded once on its own, so that a
    // visitor's "&", "=", "?", "+" or "%" arrives as typed.
    // An origin-form target (the usual "/...") is used in place; only a
    // gateway's absolute-form target is copied to drop its scheme and host.
    QByteArrayView path = TrimSpaces(target);
    QByteArray withoutAuthority;
    if (!path.startsWith('/')) {
        withoutAuthority = WithoutAuthority(path.toByteArray());
        path = withoutAuthority;
    }
    if (path.isEmpty())
        return QStringLiteral("The request path is empty");
    const qsizetype question = path.indexOf('?');
    m_sRoot = basUtilities::URLDecode((question < 0 ? path : path.first(question)).toByteArray());
    if (question < 0)
        return {};
    const bool complete =
        ForEachPiece(path.sliced(question + 1), '&', [this](QByteArrayView piece) {
            const qsizetype equals = piece.indexOf('=');
            if (equals < 0)
                return false;
            m_oVariables.Add(basUtilities::URLDecode(piece.first(equals).toByteArray()),
                             basUtilities::URLDecode(piece.sliced(equals + 1).toByteArray()));
            return true;
        });
    return complete ? QString() : QStringLiteral("A query variable has no \"=\"");
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
    if (m_protocol == "HTTP/1.0" || m_protocol == "HTTP/0.9")
        return BodyFraming::ContentLength;
    return BodyFraming::Chunked;
}

QByteArray CPacket::HttpDate(std::time_t secondsSinceEpoch) {
    static constexpr char Days[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr char Months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm utc{};
    ::gmtime_r(&secondsSinceEpoch, &utc);
    QByteArray out;
    out.reserve(30);
    out.append(Days[utc.tm_wday]).append(", ");
    AppendTwoDigits(out, utc.tm_mday);
    out.append(' ').append(Months[utc.tm_mon]).append(' ');
    out.append(QByteArray::number(utc.tm_year + 1900).rightJustified(4, '0')).append(' ');
    AppendTwoDigits(out, utc.tm_hour);
    out.append(':');
    AppendTwoDigits(out, utc.tm_min);
    out.append(':');
    AppendTwoDigits(out, utc.tm_sec);
    out.append(" GMT ");
    return out;
}

// The Date header changes once a second; formatting it anew for every
// answer would be wasted work. Only the event loop's thread answers.
const QByteArray& CPacket::CurrentHttpDate() {
    static std::time_t formattedSecond = -1;
    static QByteArray formatted;
    const std::time_t now = std::time(nullptr);
    if (now != formattedSecond) {
        formatted = HttpDate(now);
        formattedSecond = now;
    }
    return formatted;
}

QByteArray CPacket::BuildResponse(const QByteArray& sResponse, int eHTTPResponse,
                                  const QByteArray& date, BodyFraming framing, const PageType& type,
                                  bool bWithBody) {
    QByteArray out;
    out.reserve(sResponse.size() + 256);
    out.append(eHTTPResponse == HttpBadRequest ? "HTTP/1.1 400 Bad Request\r\n"
                                               : "HTTP/1.1 200 OK\r\n");
    out.append("Date: ").append(date).append(CrLf);
    out.append("Server: Quill\r\n"
               "Cache-Control: no-cache\r\n"
               "Connection: Close\r\n");
    QByteArray contentType = "Content-Type: text/vnd.wap.wml; charset=utf-8\r\n";
    if (type.form == PageType::Xhtml) {
        out.append("Vary: Accept\r\n");
        contentType = "Content-Type: " + type.contentType.toByteArray() + "; charset=utf-8\r\n";
    }
    if (framing == BodyFraming::ContentLength) {
        out.append(contentType)
            .append("Content-Length: ")
            .append(QByteArray::number(sResponse.size()))
            .append("\r\n\r\n");
        return bWithBody ? out.append(sResponse) : out;
    }
    out.append("Transfer-Encoding: chunked\r\n").append(contentType).append(CrLf);
    if (!bWithBody)
        return out;
    out.append(QByteArray::number(sResponse.size(), 16).toUpper())
        .append(" \r\n")
        .append(sResponse)
        .append("\r\n0\r\n\r\n");
    return out;
}

QByteArray CPacket::NotAcceptableAnswer(const QByteArray& date) {
    static const QByteArray text = "This site's pages are WML, XHTML or HTML.\n";
    return "HTTP/1.1 406 Not Acceptable\r\nDate: " + date +
           "\r\nServer: Quill\r\nCache-Control: no-cache\r\nConnection: Close\r\n"
           "Vary: Accept\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(text.size()) + "\r\n\r\n" + text;
}

QByteArray CPacket::BadRequestAnswer(const QByteArray& request) {
    static const QByteArray deck =
        "<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
        "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n"
        "<wml><card id=\"BadRequest\" title=\"Bad Request\"><p>This request could not be "
        "understood.</p></card></wml>";
    const qsizetype lineEnd = request.indexOf(CrLf);
    const bool http10 = lineEnd >= 0 && QByteArrayView(request).first(lineEnd).endsWith("HTTP/1.0");
    return BuildResponse(deck, HttpBadRequest, CurrentHttpDate(),
                         http10 ? BodyFraming::ContentLength : BodyFraming::Chunked);
}

bool CPacket::SaysConnectionClose(const QByteArray& rawResponse) {
    const qsizetype headerEnd = rawResponse.indexOf(EndOfRequest);
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

std::shared_ptr<Connection> CPacket::connectedSocket(const char* operation) const {
    if (!IsConnected())
        throw PocketlaneError(ErrNotConnected, QStringLiteral("The connection is closed"),
                              QStringLiteral("CPacket.") + QLatin1String(operation));
    return m_connection.lock();
}

void CPacket::SendResponse(const QByteArray& sResponse, int eHTTPResponse) {
    const auto connection = connectedSocket("SendResponse");
    const PageType type = PageNegotiation::ForAccept(m_oHeaders.Value("Accept"));
    if (type.form == PageType::NotAcceptable) {
        SendRawResponse(NotAcceptableAnswer(CurrentHttpDate()));
        return;
    }
    const QByteArray page =
        type.form == PageType::Wml ? sResponse : XhtmlRenderer::FromWml(sResponse);
    connection->Write(
        BuildResponse(page, eHTTPResponse, CurrentHttpDate(), ResponseFraming(), type, !IsHead()));
    markAnswered(*connection);
    connection->CloseAfterSending();
}

void CPacket::SendRawResponse(const QByteArray& sRawResponse) {
    const auto connection = connectedSocket("SendRawResponse");
    if (IsHead()) {
        const qsizetype headerEnd = sRawResponse.indexOf(EndOfRequest);
        connection->Write(headerEnd < 0 ? sRawResponse
                                        : sRawResponse.left(headerEnd + EndOfRequest.size()));
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
    return ResponseFraming() == BodyFraming::ContentLength || SaysConnectionClose(headers);
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
