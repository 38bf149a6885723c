#pragma once

#include <QByteArray>

// Text that enters the site from visitors or from the disk is made safe here,
// once, so that every deck built from it is a well-formed XML document.
namespace SafeText {

// The character that takes the place of every byte that cannot stay: a plain
// "?" shows on every phone's font and keeps the text from growing.
inline constexpr char Replacement = '?';

// Whether the byte continues a UTF-8 sequence rather than starting one.
constexpr bool IsContinuationByte(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Decodes the UTF-8 sequence at p (p < end). Returns its length in bytes
// (1 to 4) and sets codePoint, or 0 when the bytes there are malformed
// (a stray continuation byte, a cut sequence, an overlong form, a surrogate
// or a value above U+10FFFF).
int DecodeUtf8(const char* p, const char* end, char32_t& codePoint);

// Whether XML 1.0 allows the character in a document.
constexpr bool IsXmlCharacter(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The text as valid UTF-8 holding only characters XML allows: each byte that
// begins no valid UTF-8 sequence, and each well-formed character XML forbids
// (controls other than tab, line feed and carriage return; U+FFFE, U+FFFF),
// becomes one Replacement. A text that is already clean is returned as it is (shared, no
// copy).
QByteArray MakeXmlSafe(const QByteArray& text);

// The first `count` characters of the text, where a valid UTF-8 sequence is
// one character and any other byte is one character too, so that the cut
// never splits a multi-byte character.
QByteArray LeftCharacters(const QByteArray& text, qsizetype count);

// A value typed on a phone as UTF-8: phones that send their form text in
// ISO-8859-1 send bytes that are not valid UTF-8, and those are read as
// ISO-8859-1 and converted. Valid UTF-8 is returned as it is.
QByteArray Utf8FromPhone(const QByteArray& value);

// Visitor text as one status-log line shows it: at most maxCharacters
// characters (then CutMark), every control character and every byte that is
// not valid UTF-8 written as a visible escape ("\\n", "\\x01"), so that a
// visitor can neither fill the log nor forge a line of it.
QByteArray ForLog(const QByteArray& text, qsizetype maxCharacters);
inline constexpr char CutMark[] = "[...]";

} // namespace SafeText
