#include "base/SafeText.h"

#include <QString>

namespace SafeText {

namespace {

// The length of the sequence a lead byte announces, 0 for a byte that cannot
// lead one (a continuation byte, or 0xC0, 0xC1 and 0xF5 upwards, which only
// appear in overlong or out-of-range forms).
int sequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// One step through a text: a character to keep, a well-formed character
// XML forbids (replaced as a whole), or a byte that begins no valid sequence
// (replaced alone).
struct Step {
    int length;
    bool keep;
};

Step stepAt(const char* p, const char* end) {
    char32_t codePoint = 0;
    const int length = DecodeUtf8(p, end, codePoint);
    if (length == 0)
        return {1, false};
    return {length, IsXmlCharacter(codePoint)};
}

} // namespace

int DecodeUtf8(const char* p, const char* end, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(*p);
    const int length = sequenceLength(lead);
    if (length == 0 || end - p < length)
        return 0;
    if (length == 1) {
        codePoint = lead;
        return 1;
    }
    char32_t value = lead & (0xFF >> (length + 1));
    for (int i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(p[i]);
        if (!IsContinuationByte(byte))
            return 0;
        value = (value << 6) | (byte & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

QByteArray MakeXmlSafe(const QByteArray& text) {
    const char* const begin = text.constData();
    const char* const end = begin + text.size();
    const char* p = begin;
    Step step{0, true};
    while (p < end && (step = stepAt(p, end)).keep)
        p += step.length;
    if (p == end)
        return text;

    QByteArray safe;
    safe.reserve(text.size());
    safe.append(begin, p - begin);
    for (; p < end; p += step.length) {
        step = stepAt(p, end);
        if (step.keep)
            safe.append(p, step.length);
        else
            safe.append(Replacement);
    }
    return safe;
}

QByteArray LeftCharacters(const QByteArray& text, qsizetype count) {
    const char* const begin = text.constData();
    const char* const end = begin + text.size();
    const char* p = begin;
    for (qsizetype taken = 0; taken < count && p < end; ++taken) {
        char32_t ignored = 0;
        const int length = DecodeUtf8(p, end, ignored);
        p += length > 0 ? length : 1;
    }
    return p == end ? text : text.left(p - begin);
}

QByteArray Utf8FromPhone(const QByteArray& value) {
    const char* p = value.constData();
    const char* const end = p + value.size();
    while (p < end) {
        char32_t ignored = 0;
        const int length = DecodeUtf8(p, end, ignored);
        if (length == 0)
            return QString::fromLatin1(value).toUtf8();
        p += length;
    }
    return value;
}

namespace {
void AppendEscapedByte(QByteArray& out, unsigned char byte) {
    switch (byte) {
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\\':
        out += "\\\\";
        return;
    default:
        static constexpr char Hex[] = "0123456789abcdef";
        out += "\\x";
        out += Hex[byte >> 4];
        out += Hex[byte & 15];
    }
}
} // namespace

QByteArray ForLog(const QByteArray& text, qsizetype maxCharacters) {
    QByteArray out;
    const char* p = text.constData();
    const char* const end = p + text.size();
    for (qsizetype taken = 0; p < end; ++taken) {
        if (taken == maxCharacters)
            return out + CutMark;
        char32_t c = 0;
        const int length = DecodeUtf8(p, end, c);
        const qsizetype bytes = length > 0 ? length : 1;
        const bool visible =
            length > 0 && c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0) && c != '\\';
        if (visible)
            out.append(p, bytes);
        else
            for (qsizetype i = 0; i < bytes; ++i)
                AppendEscapedByte(out, uchar(p[i]));
        p += bytes;
    }
    return out;
}

} // namespace SafeText
