#include "http/ParsedRequest.h"

#include "base/basUtilities.h"

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

QString ParsedRequest::Parse(const QByteArray& text) {
    const qsizetype requestLineEnd = text.indexOf(CrLf);
    if (requestLineEnd < 0)
        return QStringLiteral("The request has no line end");
    const QByteArrayView requestLine = QByteArrayView(text).first(requestLineEnd);
    QString failure = parseHeaderBlock(text, requestLine.size());
    if (failure.isEmpty() && !requestLine.isEmpty())
        failure = parseRequestLine(requestLine);
    return failure;
}

// The header lines run from after the request line's CR LF up to the last
// four characters of the text (the CR LF CR LF that end the request). A
// request line followed directly by the blank line has no header lines.
QString ParsedRequest::parseHeaderBlock(const QByteArray& text, qsizetype requestLineLength) {
    const qsizetype count = text.size() - requestLineLength - 6;
    if (count < 0) {
        const bool endsRightAfterRequestLine =
            text.size() == requestLineLength + EndOfRequest.size() && text.endsWith(EndOfRequest);
        return endsRightAfterRequestLine ? QString()
                                         : QStringLiteral("The request has no header line");
    }
    const QByteArrayView block = QByteArrayView(text).sliced(requestLineLength + 2, count);
    const bool complete = ForEachPiece(block, '\n', [this](QByteArrayView line) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            return false;
        m_headers.Add(line.first(colon).toByteArray(), line.sliced(colon + 1).toByteArray());
        return true;
    });
    return complete ? QString() : QStringLiteral("A header line has no colon");
}

QString ParsedRequest::parseRequestLine(QByteArrayView requestLine) {
    const qsizetype space = requestLine.indexOf(' ');
    if (space < 0)
        return QStringLiteral("The request line has no space");
    const qsizetype methodPartLength = space + 1;
    m_method = TrimSpaces(requestLine.first(methodPartLength)).toByteArray();
    if (m_method == "GET")
        m_packetType = PacketGet;
    else if (m_method == "PUT")
        m_packetType = PacketPut;

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
    m_root = basUtilities::URLDecode((question < 0 ? path : path.first(question)).toByteArray());
    if (question < 0)
        return {};
    const bool complete =
        ForEachPiece(path.sliced(question + 1), '&', [this](QByteArrayView piece) {
            const qsizetype equals = piece.indexOf('=');
            if (equals < 0)
                return false;
            m_variables.Add(basUtilities::URLDecode(piece.first(equals).toByteArray()),
                            basUtilities::URLDecode(piece.sliced(equals + 1).toByteArray()));
            return true;
        });
    return complete ? QString() : QStringLiteral("A query variable has no \"=\"");
}
