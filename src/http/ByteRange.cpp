#include "http/ByteRange.h"

#include "http/CPacket.h"

#include <limits>
#include <optional>

namespace {

constexpr qint64 Largest = std::numeric_limits<qint64>::max();

// A position of the range: decimal digits only; a number beyond every file
// size reads as the largest one.
std::optional<qint64> Position(QByteArrayView text) {
    if (text.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        value = value > (Largest - digit) / 10 ? Largest : value * 10 + digit;
    }
    return value;
}

ByteRange Whole(qint64 size) {
    return {ByteRange::Kind::Whole, 0, size};
}

} // namespace

ByteRange ByteRange::Requested(const CPacket& packet, qint64 size) {
    const TextCollection& headers = packet.Headers();
    if (packet.Method() != "GET" || !headers.Contains("Range") || headers.Contains("If-Range"))
        return Whole(size);
    return Parse(headers.Item("Range").trimmed(), size);
}

ByteRange ByteRange::Parse(QByteArrayView value, qint64 size) {
    constexpr QByteArrayView Unit = "bytes=";
    if (value.size() < Unit.size() ||
        value.first(Unit.size()).compare(Unit, Qt::CaseInsensitive) != 0)
        return Whole(size);
    const QByteArrayView range = value.sliced(Unit.size()).trimmed();
    const qsizetype dash = range.indexOf('-');
    if (range.contains(',') || dash < 0)
        return Whole(size);
    const std::optional<qint64> last = Position(range.sliced(dash + 1));
    if (dash == 0) {
        // The last n bytes.
        if (!last)
            return Whole(size);
        if (*last == 0)
            return {Kind::Unsatisfiable, 0, 0};
        // Nothing can be counted back from an empty file: it goes whole.
        if (size == 0)
            return Whole(size);
        const qint64 first = *last >= size ? 0 : size - *last;
        return {Kind::Part, first, size - first};
    }
    const std::optional<qint64> first = Position(range.first(dash));
    const bool open = dash == range.size() - 1;
    if (!first || (!open && (!last || *last < *first)))
        return Whole(size);
    if (*first >= size)
        return {Kind::Unsatisfiable, 0, 0};
    const qint64 end = open ? size - 1 : std::min(*last, size - 1);
    return {Kind::Part, *first, end - *first + 1};
}

QByteArray ByteRange::StatusLine() const {
    switch (kind) {
    case Kind::Part:
        return "HTTP/1.1 206 Partial Content\r\n";
    case Kind::Unsatisfiable:
        return "HTTP/1.1 416 Range Not Satisfiable\r\n";
    case Kind::Whole:
        break;
    }
    return "HTTP/1.1 200 OK\r\n";
}

QByteArray ByteRange::ContentRangeLine(qint64 size) const {
    const QByteArray total = QByteArray::number(size) + "\r\n";
    switch (kind) {
    case Kind::Part:
        return "Content-Range: bytes " + QByteArray::number(first) + '-' +
               QByteArray::number(first + length - 1) + '/' + total;
    case Kind::Unsatisfiable:
        return "Content-Range: bytes */" + total;
    case Kind::Whole:
        break;
    }
    return {};
}
