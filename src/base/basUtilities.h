#pragma once

#include <QByteArray>

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
