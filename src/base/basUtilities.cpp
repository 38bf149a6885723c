#include "base/basUtilities.h"

#include "base/PocketlaneError.h"

#include <QString>

namespace basUtilities {

// One pass over the text gives the same result as replacing "&" first and
// the other characters after it, since no entity is escaped twice. Runs of
// plain characters are appended whole, and the buffer grows by the usual
// doubling, so that appending many texts to one buffer stays linear.
void AppendXmlEscaped(QByteArray& out, const QByteArray& text, bool bKeepDollars) {
    AppendXmlEscapedTo(out, text, bKeepDollars);
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
