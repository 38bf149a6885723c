#include "http/RequestFraming.h"

#include <algorithm>
#include <utility>

namespace {

// Puts a CR before every LF that has none.
QByteArray WithCrLfLineEnds(QByteArray request) {
    const auto bareAt = [&](qsizetype i) {
        return request.at(i) == '\n' && (i == 0 || request.at(i - 1) != '\r');
    };
    qsizetype bare = 0;
    for (qsizetype i = 0; i < request.size(); ++i)
        bare += bareAt(i);
    if (bare == 0)
        return request;
    QByteArray out;
    out.reserve(request.size() + bare);
    for (qsizetype i = 0; i < request.size(); ++i) {
        if (bareAt(i))
            out.append('\r');
        out.append(request.at(i));
    }
    return out;
}

} // namespace

RequestFramer::Frame RequestFramer::Next() {
    skipBody();
    if (m_bodyBytesToSkip > 0)
        return {};
    dropBlankLines();
    const qsizetype length = requestLength();
    if (length < 0)
        return {m_bytes.size() > MaxRequestHeaderBytes ? Outcome::TooLarge : Outcome::Incomplete,
                {}};
    // A request that is all that arrived (the usual case) is handed on as
    // it is, without a copy.
    QByteArray request;
    if (length == m_bytes.size()) {
        request = std::exchange(m_bytes, QByteArray());
    } else {
        request = m_bytes.left(length);
        m_bytes.remove(0, length);
    }
    m_searchFrom = 0;
    Frame frame{Outcome::Complete, WithCrLfLineEnds(std::move(request))};
    if (frame.request.size() > MaxRequestHeaderBytes)
        return {Outcome::TooLarge, {}};
    m_bodyBytesToSkip = AnnouncedBodyLength(frame.request);
    return frame;
}

// Empty lines before a request (some clients end a body with one) are not
// part of it.
void RequestFramer::dropBlankLines() {
    qsizetype start = 0;
    for (;;) {
        if (m_bytes.size() - start >= 1 && m_bytes.at(start) == '\n')
            start += 1;
        else if (m_bytes.size() - start >= 2 && m_bytes.at(start) == '\r' &&
                 m_bytes.at(start + 1) == '\n')
            start += 2;
        else
            break;
    }
    if (start > 0) {
        m_bytes.remove(0, start);
        m_searchFrom = 0;
    }
}

qsizetype RequestFramer::requestLength() {
    const qsizetype size = m_bytes.size();
    for (qsizetype lf = m_bytes.indexOf('\n', m_searchFrom); lf >= 0;
         lf = m_bytes.indexOf('\n', lf + 1)) {
        if (lf + 1 < size && m_bytes.at(lf + 1) == '\n')
            return lf + 2;
        if (lf + 2 < size && m_bytes.at(lf + 1) == '\r' && m_bytes.at(lf + 2) == '\n')
            return lf + 3;
    }
    // A line end among the last two bytes may still turn out to end the headers.
    m_searchFrom = std::max<qsizetype>(0, size - 2);
    return -1;
}

void RequestFramer::skipBody() {
    if (m_bodyBytesToSkip == 0)
        return;
    const qsizetype skipped = qsizetype(std::min<qint64>(m_bodyBytesToSkip, m_bytes.size()));
    m_bytes.remove(0, skipped);
    m_bodyBytesToSkip -= skipped;
}

void RequestFramer::Reset() {
    m_bytes = QByteArray();
    m_bodyBytesToSkip = 0;
    m_searchFrom = 0;
}

qint64 RequestFramer::AnnouncedBodyLength(const QByteArray& request) {
    qsizetype lineStart = request.indexOf('\n');
    while (lineStart >= 0 && lineStart + 1 < request.size()) {
        const qsizetype from = lineStart + 1;
        const qsizetype lineEnd = request.indexOf('\n', from);
        const QByteArrayView line =
            QByteArrayView(request).sliced(from, (lineEnd < 0 ? request.size() : lineEnd) - from);
        const qsizetype colon = line.indexOf(':');
        if (colon >= 0 &&
            line.first(colon).trimmed().compare("content-length", Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const qint64 length = line.sliced(colon + 1).trimmed().toLongLong(&ok);
            return ok && length > 0 ? length : 0;
        }
        lineStart = lineEnd;
    }
    return 0;
}
