#include "base/TextCasing.h"

#include "base/SafeText.h"

#include <QChar>

namespace TextCasing {

namespace {

void AppendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Calls map on every character of the name: a valid UTF-8 sequence as its
// code point, any other byte as itself with `valid` false.
template <typename Map> void ForEachCharacter(QByteArrayView name, Map map) {
    const char* p = name.data();
    const char* const end = p + name.size();
    while (p < end) {
        char32_t c = 0;
        const int length = SafeText::DecodeUtf8(p, end, c);
        map(length > 0 ? c : char32_t(static_cast<unsigned char>(*p)), length > 0);
        p += length > 0 ? length : 1;
    }
}

} // namespace

QByteArray ProperCase(const QByteArray& name) {
    std::string result;
    result.reserve(size_t(name.size()));
    bool wordStart = true;
    ForEachCharacter(name, [&](char32_t c, bool valid) {
        if (!valid) {
            result += char(c);
            wordStart = false;
            return;
        }
        const bool blank = c == ' ';
        AppendUtf8(blank ? c : wordStart ? QChar::toTitleCase(c) : QChar::toLower(c), result);
        wordStart = blank;
    });
    return QByteArray(result.data(), qsizetype(result.size()));
}

void AppendNameSortKey(QByteArrayView name, std::string& key) {
    ForEachCharacter(name, [&](char32_t c, bool valid) {
        if (c < 0x80)
            key += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        else if (valid)
            AppendUtf8(QChar::toCaseFolded(c), key);
        else
            key += char(c);
    });
}

} // namespace TextCasing
