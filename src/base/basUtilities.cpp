#include "base/basUtilities.h"

#include "base/PocketlaneError.h"

#include <QString>

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

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QByteArray URLDecode(const QByteArray& text) {
    QByteArray decoded;
    decoded.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '+') {
            decoded += ' ';
        } else if (c != '%' || text.size() - i - 1 < 2) {
            decoded += c;
        } else {
            const int high = HexDigitValue(text.at(i + 1));
            const int low = HexDigitValue(text.at(i + 2));
            if (high < 0 || low < 0) {
                const PocketlaneError failure(ErrBadEscape,
                                              QStringLiteral("Invalid percent escape \"") +
                                                  QLatin1String(text.mid(i, 3)) + u'"',
                                              QString());
                throw failure.WithSourcePrefix(QStringLiteral("URLDecode(") + QLatin1String(text) +
                                               QStringLiteral(") - "));
            }
            decoded += char(high * 16 + low);
            i += 2;
        }
    }
    return decoded;
}

} // namespace basUtilities
