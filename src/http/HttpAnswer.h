#pragma once

#include "http/PageNegotiation.h"

#include <QByteArray>

#include <ctime>

// Status lines of SendResponse.
enum HttpResponse { HttpOk = 200, HttpBadRequest = 400 };

// The bytes of the answers the server writes itself: a page with its
// headers, the refusals, and the Date header's text.
class HttpAnswer {
public:
    // How an answer's body is delimited.
    enum class BodyFraming {
        Chunked,       // HTTP/1.1: the deck as one chunk and the last chunk
        ContentLength, // HTTP/1.0 clients, which cannot read chunks
    };

    // The answer for a page (a WML deck, or the XHTML page of the type
    // given) with the given Date value; without the body, only the headers
    // it would have come with (HEAD).
    static QByteArray Page(const QByteArray& page, int status, const QByteArray& date,
                           BodyFraming framing = BodyFraming::Chunked, const PageType& type = {},
                           bool withBody = true);
    // The answer to a client that takes no type a page comes in.
    static QByteArray NotAcceptable(const QByteArray& date);
    // The answer to a request that cannot be parsed (given as far as it
    // came): status 400 and a one-line deck, by its length for a request
    // line that names HTTP/1.0, chunked otherwise like every other deck.
    static QByteArray BadRequest(const QByteArray& request);
    // Whether the header block of a raw answer says "Connection: close".
    static bool SaysConnectionClose(const QByteArray& rawAnswer);

    // The "Date: " header value: RFC 1123 date in GMT with a space after GMT.
    static QByteArray Date(std::time_t secondsSinceEpoch);
    // Date of now, formatted once per second.
    static const QByteArray& CurrentDate();
};
