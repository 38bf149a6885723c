#include "http/RequestFraming.h"

#include <QByteArrayView>

#include <algorithm>

namespace {
constexpr QByteArrayView EndOfHeaders = "\r\n\r\n";
} // namespace

RequestFramer::Frame RequestFramer::Next() {
    skipBody();
    if (m_bodyBytesToSkip > 0)
        return {};
    // Empty lines before a request (some clients end a body with one) are
    // not part of it.
    qsizetype start = 0;
    while (m_bytes.size() - start >= 2 && m_bytes.at(start) == '\r' &&
           m_bytes.at(start + 1) == '\n')
        start += 2;
    if (start > 0) {
        m_bytes.remove(0, start);
        m_searchFrom = 0;
    }
    const qsizetype end = m_bytes.indexOf(EndOfHeaders, m_searchFrom);
    if (end < 0) {
        if (m_bytes.size() > MaxRequestHeaderBytes)
            return {Outcome::TooLarge, {}};
        m_searchFrom = std::max<qsizetype>(0, m_bytes.size() - (EndOfHeaders.size() - 1));
        return {};
    }
    const qsizetype length = end + EndOfHeaders.size();
    if (length > MaxRequestHeaderBytes)
        return {Outcome::TooLarge, {}};
    Frame frame{Outcome::Complete, {}};
    if (length == m_bytes.size()) {
        frame.request = std::exchange(m_bytes, QByteArray());
    } else {
        frame.request = m_bytes.left(length);
        m_bytes.remove(0, length);
    }
    m_searchFrom = 0;
    m_bodyBytesToSkip = AnnouncedBodyLength(frame.request);
    return frame;
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
