#include "server/basUtilities.h"

namespace basUtilities {

namespace {
// What replaces a character in escaped text; empty for every other one.
QByteArrayView Entity(char c, bool bKeepDollars) {
    switch (c) {
    case '&':
        return "&amp;";
    case '\'':
        return "&apos;";
    case '>':
        return "&gt;";
    case '<':
        return "&lt;";
    case '"':
        return "&quot;";
    case '$':
        return bKeepDollars ? QByteArrayView() : QByteArrayView("$$");
    default:
        return {};
    }
}

// The control characters that XML cannot carry: every byte below 0x20 but
// tab, line feed and carriage return. A single one of them makes the whole
// document unreadable for a parser, so escaped text leaves them out.
bool IsLeftOut(char c) {
    return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
}
} // namespace

// One pass over the text gives the same result as replacing "&" first and
// the other characters after it, since no entity is escaped twice. Runs of
// plain characters are appended whole, and the buffer grows by the usual
// doubling, so that appending many texts to one buffer stays linear.
void AppendXmlEscaped(QByteArray& out, const QByteArray& text, bool bKeepDollars) {
    const char* const begin = text.constData();
    const char* runStart = begin;
    const char* const end = begin + text.size();
    for (const char* p = begin; p != end; ++p) {
        const QByteArrayView entity = Entity(*p, bKeepDollars);
        if (entity.isEmpty() && !IsLeftOut(*p))
            continue;
        out.append(runStart, p - runStart);
        out.append(entity);
        runStart = p + 1;
    }
    out.append(runStart, end - runStart);
}

QByteArray XmlEscape(const QByteArray& text, bool bKeepDollars) {
    QByteArray out;
    AppendXmlEscaped(out, text, bKeepDollars);
    return out;
}

} // namespace basUtilities
