#include "http/PageNegotiation.h"

namespace {

// What the Accept header says about the types a page can go out as.
struct AcceptedTypes {
    bool wml = false;
    bool wmlRefused = false;
    bool wapXhtml = false;
    bool xhtml = false;
    bool html = false;
    bool wildCard = false;
};

QByteArrayView Trimmed(QByteArrayView text) {
    while (!text.isEmpty() && static_cast<unsigned char>(text.front()) <= ' ')
        text = text.sliced(1);
    while (!text.isEmpty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.chop(1);
    return text;
}

bool SameLetters(QByteArrayView text, QByteArrayView lowerCase) {
    return text.compare(lowerCase, Qt::CaseInsensitive) == 0;
}

// "q=0", "q=0.0", "q=0.000": the type before it is refused.
bool IsZeroQuality(QByteArrayView parameter) {
    const qsizetype equals = parameter.indexOf('=');
    if (!SameLetters(Trimmed(parameter.first(equals)), "q"))
        return false;
    const QByteArrayView value = Trimmed(parameter.sliced(equals + 1));
    if (value.isEmpty() || value.front() != '0')
        return false;
    for (const char c : value.sliced(1)) {
        if (c != '.' && c != '0')
            return false;
    }
    return true;
}

// Records one media range with whether it was refused.
void Note(AcceptedTypes& types, QByteArrayView range, bool refused) {
    // A client that takes compiled WML reads WML through its gateway.
    if (SameLetters(range, "text/vnd.wap.wml") || SameLetters(range, "application/vnd.wap.wmlc")) {
        types.wml = !refused;
        types.wmlRefused = refused;
    } else if (SameLetters(range, PageNegotiation::WapXhtmlType)) {
        types.wapXhtml = !refused;
    } else if (SameLetters(range, PageNegotiation::XhtmlType)) {
        types.xhtml = !refused;
    } else if (SameLetters(range, PageNegotiation::HtmlType)) {
        types.html = !refused;
    } else if (SameLetters(range, "*/*") || SameLetters(range, "text/*")) {
        types.wildCard = types.wildCard || !refused;
    }
}

AcceptedTypes Parse(QByteArrayView accept) {
    AcceptedTypes types;
    QByteArrayView range;
    bool refused = false;
    const auto finishRange = [&] {
        if (!range.isEmpty())
            Note(types, range, refused);
        range = {};
        refused = false;
    };
    while (!accept.isEmpty()) {
        qsizetype end = 0;
        while (end < accept.size() && accept[end] != ',' && accept[end] != ';')
            ++end;
        const QByteArrayView part = Trimmed(accept.first(end));
        if (part.contains('=')) {
            refused = refused || IsZeroQuality(part);
        } else {
            finishRange();
            range = part;
        }
        if (end < accept.size() && accept[end] == ',')
            finishRange();
        accept = end < accept.size() ? accept.sliced(end + 1) : QByteArrayView();
    }
    finishRange();
    return types;
}

} // namespace

PageType PageNegotiation::ForAccept(QByteArrayView accept) {
    accept = Trimmed(accept);
    if (accept.isEmpty())
        return {};
    const AcceptedTypes types = Parse(accept);
    if (types.wml)
        return {PageType::Wml, {}, true};
    if (types.wapXhtml)
        return {PageType::Xhtml, WapXhtmlType, true};
    if (types.xhtml)
        return {PageType::Xhtml, XhtmlType, true};
    if (types.html || (types.wildCard && types.wmlRefused))
        return {PageType::Xhtml, HtmlType, true};
    if (types.wildCard)
        return {PageType::Wml, {}, true};
    return {PageType::NotAcceptable, {}, true};
}
