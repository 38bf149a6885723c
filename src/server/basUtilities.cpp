#include "server/basUtilities.h"

#include "server/PocketlaneError.h"

#include <QString>

namespace basUtilities {

// One pass over the text gives the same result as replacing "&" first and
// the other characters after it, since no entity is escaped twice.
void AppendXmlEscaped(QByteArray& out, const QByteArray& text, bool bKeepDollars) {
    out.reserve(out.size() + text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out.append("&amp;", 5);
            break;
        case '\'':
            out.append("&apos;", 6);
            break;
        case '>':
            out.append("&gt;", 4);
            break;
        case '<':
            out.append("&lt;", 4);
            break;
        case '"':
            out.append("&quot;", 6);
            break;
        case '$':
            out.append(bKeepDollars ? "$" : "$$", bKeepDollars ? 1 : 2);
            break;
        default:
            out.append(c);
        }
    }
}

QByteArray XmlEscape(const QByteArray& text, bool bKeepDollars) {
    QByteArray out;
    AppendXmlEscaped(out, text, bKeepDollars);
    return out;
}

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

QByteArray URLDecode(const QByteArray& text) {
    QByteArray decoded = text;
    for (;;) {
        const qsizetype percent = decoded.indexOf('%');
        if (percent < 0 || decoded.size() - percent - 1 < 2)
            break;
        const QByteArray escape = decoded.mid(percent, 3);
        const int high = HexDigitValue(escape.at(1));
        const int low = HexDigitValue(escape.at(2));
        if (high < 0 || low < 0) {
            const PocketlaneError failure(ErrBadEscape,
                                          QStringLiteral("Invalid percent escape \"") +
                                              QLatin1String(escape) + u'"',
                                          QString());
            throw failure.WithSourcePrefix(QStringLiteral("URLDecode(") + QLatin1String(decoded) +
                                           QStringLiteral(") - "));
        }
        decoded.replace(escape, QByteArray(1, char(high * 16 + low)));
    }
    decoded.replace('+', ' ');
    return decoded;
}

QByteArray ContentTypeForExtension(const QByteArray& upperCaseExtension) {
    struct Row {
        const char* extension;
        const char* contentType;
    };
    static constexpr Row table[] = {
        {"WBMP", "image/vnd.wap.wbmp"}, {"GIF", "image/gif"},
        {"JPG", "image/jpeg"},          {"JPE", "image/jpeg"},
        {"JPEG", "image/jpeg"},         {"MIDI", "audio/midi"},
        {"MID", "audio/midi"},          {"EMY", "audio/imelody"},
        {"IMY", "audio/imelody"},       {"WAV", "audio/x-wav"},
        {"MMF", "application/x-smaf"},  {"JAR", "application/x-compressed"},
    };
    for (const Row& row : table) {
        if (upperCaseExtension == row.extension)
            return QByteArray(row.contentType);
    }
    return {};
}

} // namespace basUtilities
