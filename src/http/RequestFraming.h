#pragma once

#include <QByteArray>

// Cuts the bytes a connection receives into requests: each request is the
// text up to and including the blank line that ends its headers. A line may
// end with a bare LF instead of CR LF; such a request is handed on with CR LF
// line ends, the form the parser reads. A body announced by Content-Length is
// skipped, not read, so that it is not taken for the next request; blank
// lines between requests are dropped.
class RequestFramer {
public:
    // A request whose headers are not complete after this many bytes is
    // refused.
    static constexpr qsizetype MaxRequestHeaderBytes = qsizetype{16} * 1024;

    enum class Outcome {
        Incomplete, // more bytes are needed
        Complete,   // request holds one whole request
        TooLarge,   // the headers run past MaxRequestHeaderBytes
    };
    struct Frame {
        Outcome outcome = Outcome::Incomplete;
        QByteArray request;
    };

    void Append(const char* data, qsizetype size) { m_bytes.append(data, size); }
    // The next request out of what has been received.
    Frame Next();
    // Bytes received and not yet taken (the body being skipped excluded).
    qsizetype Buffered() const { return m_bytes.size(); }
    void Reset();

    // The length of the body announced by a request's headers (0 if none).
    static qint64 AnnouncedBodyLength(const QByteArray& request);

private:
    void skipBody();
    void dropBlankLines();
    // The length of the first request (up to and including its blank line);
    // -1 while it has not all arrived.
    qsizetype requestLength();

    QByteArray m_bytes;
    qint64 m_bodyBytesToSkip = 0;
    // Where the search for the end of the headers goes on.
    qsizetype m_searchFrom = 0;
};
