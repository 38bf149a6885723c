#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

class CPacket;

// The part of a file that a GET request's Range header asks for. One range
// of bytes is served ("bytes=a-b", "bytes=a-", "bytes=-n"); several ranges,
// another unit, a malformed value, or an If-Range the server cannot check
// ask for the whole file, as a server may always answer a Range with the
// whole representation.
struct ByteRange {
    enum class Kind { Whole, Part, Unsatisfiable };

    Kind kind = Kind::Whole;
    // The bytes to send: from first, length of them.
    qint64 first = 0;
    qint64 length = 0;

    // The range a request asks of a file of size bytes.
    static ByteRange Requested(const CPacket& packet, qint64 size);
    // The range a Range header's value (without surrounding spaces) asks of
    // a file of size bytes.
    static ByteRange Parse(QByteArrayView value, qint64 size);

    // The status line of the answer, CR LF included.
    QByteArray StatusLine() const;
    // The Content-Range header line (CR LF included) of the answer, or
    // nothing for the whole file.
    QByteArray ContentRangeLine(qint64 size) const;
};
