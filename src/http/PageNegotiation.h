#pragma once

#include <QByteArrayView>

// The form in which a page goes to a client, chosen from its Accept header:
// a WML deck for WAP browsers (and for clients that name no type, or only
// wild cards), the same page as XHTML for browsers that name XHTML or HTML
// but not WML, or nothing at all for a client that takes neither.
struct PageType {
    enum Form { Wml, Xhtml, NotAcceptable };
    Form form = Wml;
    // The Content-Type of an XHTML page, as the client named it.
    QByteArrayView contentType;
    // The client sent an Accept header, so the form was chosen by it and
    // the answer says so (Vary). An answer to a client that sent none is
    // left as it always was; its Cache-Control keeps any cache asking anew.
    bool negotiated = false;
};

class PageNegotiation {
public:
    static constexpr QByteArrayView WapXhtmlType = "application/vnd.wap.xhtml+xml";
    static constexpr QByteArrayView XhtmlType = "application/xhtml+xml";
    static constexpr QByteArrayView HtmlType = "text/html";

    // The Accept header's value as it arrived (leading space, trailing CR
    // and all); empty when the client sent none. A type with "q=0" counts
    // as refused; a header sent twice arrives joined with ";", so a part
    // without "=" after a ";" is one more type.
    static PageType ForAccept(QByteArrayView accept);
};
