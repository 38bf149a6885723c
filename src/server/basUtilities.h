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

} // namespace basUtilities
