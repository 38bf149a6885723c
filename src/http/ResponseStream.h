#pragma once

#include <QByteArray>
#include <QString>

// An answer whose bytes are produced piece by piece while the connection
// drains, so that a large download never sits in memory as a whole and the
// event loop keeps serving other visitors between the pieces.
class ResponseStream {
public:
    virtual ~ResponseStream() = default;

    // The next piece of the answer, at most maxBytes long. An empty piece
    // while AtEnd() is false means the stream failed (see ErrorString()).
    virtual QByteArray ReadChunk(qint64 maxBytes) = 0;
    virtual bool AtEnd() const = 0;
    virtual QString ErrorString() const { return {}; }
};
