#pragma once

#include "http/TextCollection.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Methods told apart by the parse.
enum PacketTypes { PacketGet = 0, PacketPut = 1 };

// One request text taken apart: the request line's method, path (the root
// and the query variables) and protocol, and the header lines. Texts are
// bytes, one character per byte, as they came off the socket.
class ParsedRequest {
public:
    // Parses one complete request text (request line, header lines and the
    // blank line); returns why it failed, empty when it did not. A request
    // without any header line is valid (HTTP/1.0).
    QString Parse(const QByteArray& text);

    const QByteArray& Root() const { return m_root; }
    int PacketType() const { return m_packetType; }
    const QByteArray& Method() const { return m_method; }
    // The protocol name closing the request line, such as "HTTP/1.1".
    const QByteArray& Protocol() const { return m_protocol; }
    const TextCollection& Variables() const { return m_variables; }
    TextCollection& Variables() { return m_variables; }
    const TextCollection& Headers() const { return m_headers; }
    TextCollection& Headers() { return m_headers; }

private:
    QString parseHeaderBlock(const QByteArray& text, qsizetype requestLineLength);
    QString parseRequestLine(QByteArrayView requestLine);

    QByteArray m_root;
    int m_packetType = PacketGet;
    QByteArray m_method;
    QByteArray m_protocol;
    TextCollection m_variables;
    TextCollection m_headers;
};
