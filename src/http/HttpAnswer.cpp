#include "http/HttpAnswer.h"

#include <QList>

namespace {

constexpr QByteArrayView CrLf = "\r\n";
constexpr QByteArrayView EndOfHeaders = "\r\n\r\n";

void AppendTwoDigits(QByteArray& out, int value) {
    out.append(char('0' + value / 10));
    out.append(char('0' + value % 10));
}

// The chunk size line's number, written into the answer without a text of
// its own.
void AppendUpperHex(QByteArray& out, qsizetype value) {
    char digits[2 * sizeof(qsizetype)];
    int count = 0;
    do {
        digits[count++] = "0123456789ABCDEF"[value & 15];
        value >>= 4;
    } while (value > 0);
    while (count > 0)
        out.append(digits[--count]);
}

} // namespace

QByteArray HttpAnswer::Date(std::time_t secondsSinceEpoch) {
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
const QByteArray& HttpAnswer::CurrentDate() {
    static std::time_t formattedSecond = -1;
    static QByteArray formatted;
    const std::time_t now = std::time(nullptr);
    if (now != formattedSecond) {
        formatted = Date(now);
        formattedSecond = now;
    }
    return formatted;
}

QByteArray HttpAnswer::Page(const QByteArray& page, int status, const QByteArray& date,
                            BodyFraming framing, const PageType& type, bool withBody) {
    QByteArray out;
    out.reserve(page.size() + 256);
    out.append(status == HttpBadRequest ? "HTTP/1.1 400 Bad Request\r\n" : "HTTP/1.1 200 OK\r\n");
    out.append("Date: ").append(date).append(CrLf);
    out.append("Server: Quill\r\n"
               "Cache-Control: no-cache\r\n"
               "Connection: Close\r\n");
    QByteArrayView contentType = "Content-Type: text/vnd.wap.wml; charset=utf-8\r\n";
    QByteArray xhtmlType;
    if (type.negotiated)
        out.append("Vary: Accept\r\n");
    if (type.form == PageType::Xhtml) {
        xhtmlType = "Content-Type: " + type.contentType.toByteArray() + "; charset=utf-8\r\n";
        contentType = xhtmlType;
    }
    if (framing == BodyFraming::ContentLength) {
        out.append(contentType)
            .append("Content-Length: ")
            .append(QByteArray::number(page.size()))
            .append("\r\n\r\n");
        return withBody ? out.append(page) : out;
    }
    out.append("Transfer-Encoding: chunked\r\n").append(contentType).append(CrLf);
    if (!withBody)
        return out;
    AppendUpperHex(out, page.size());
    out.append(" \r\n").append(page).append("\r\n0\r\n\r\n");
    return out;
}

QByteArray HttpAnswer::NotAcceptable(const QByteArray& date) {
    static const QByteArray text = "This site's pages are WML, XHTML or HTML.\n";
    return "HTTP/1.1 406 Not Acceptable\r\nDate: " + date +
           "\r\nServer: Quill\r\nCache-Control: no-cache\r\nConnection: Close\r\n"
           "Vary: Accept\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(text.size()) + "\r\n\r\n" + text;
}

QByteArray HttpAnswer::BadRequest(const QByteArray& request) {
    static const QByteArray deck =
        "<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
        "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n"
        "<wml><card id=\"BadRequest\" title=\"Bad Request\"><p>This request could not be "
        "understood.</p></card></wml>";
    const qsizetype lineEnd = request.indexOf(CrLf);
    const bool http10 = lineEnd >= 0 && QByteArrayView(request).first(lineEnd).endsWith("HTTP/1.0");
    return Page(deck, HttpBadRequest, CurrentDate(),
                http10 ? BodyFraming::ContentLength : BodyFraming::Chunked);
}

bool HttpAnswer::SaysConnectionClose(const QByteArray& rawAnswer) {
    const qsizetype headerEnd = rawAnswer.indexOf(EndOfHeaders);
    const QByteArray block = headerEnd < 0 ? rawAnswer : rawAnswer.left(headerEnd);
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
