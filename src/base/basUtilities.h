#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The text codings the whole server shares. Texts are bytes, one character
// per byte, exactly as they came off the socket or the disk.
namespace basUtilities {

// Replaces the five XML special characters by their entities and, unless
// bKeepDollars, doubles every "$" (WML's escape of a literal dollar). Control
// characters that XML cannot carry (below 0x20 except tab, line feed and
// carriage return) are left out.
QByteArray XmlEscape(const QByteArray& text, bool bKeepDollars);

// Appends XmlEscape(text, bKeepDollars) to out without a temporary.
void AppendXmlEscaped(QByteArray& out, const QByteArray& text, bool bKeepDollars);

// What replaces the character in escaped text: its entity, "$$" for a
// dollar unless bKeepDollars, nothing for a control character that XML
// cannot carry; a null view for every other character, which stays.
inline QByteArrayView XmlReplacement(char c, bool bKeepDollars) {
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
    case '\t':
    case '\n':
    case '\r':
        return {};
    default:
        return static_cast<unsigned char>(c) < 0x20 ? QByteArrayView("") : QByteArrayView();
    }
}

// AppendXmlEscaped for any buffer with append(QByteArrayView). Runs of
// plain characters are appended whole.
template <class Buffer>
void AppendXmlEscapedTo(Buffer& out, QByteArrayView text, bool bKeepDollars) {
    const char* runStart = text.data();
    const char* const end = text.data() + text.size();
    for (const char* p = runStart; p != end; ++p) {
        const QByteArrayView replacement = XmlReplacement(*p, bKeepDollars);
        if (replacement.isNull())
            continue;
        out.append(QByteArrayView(runStart, p - runStart));
        out.append(replacement);
        runStart = p + 1;
    }
    out.append(QByteArrayView(runStart, end - runStart));
}

// Decodes one component of a request path (the path itself, or one name or
// value of the query) in a single pass: "+" is a space and "%" with two
// hexadecimal digits is the character of that code. A decoded "%" is not
// decoded again, so a visitor's "%41" stays "%41" and "%2B" gives "+". A "%"
// with fewer than two characters after it stays as it is. Raises
// PocketlaneError when the two characters are not hexadecimal digits.
QByteArray URLDecode(const QByteArray& text);

// The value of one hexadecimal digit (either case), or -1.
int HexDigitValue(char c);

} // namespace basUtilities
