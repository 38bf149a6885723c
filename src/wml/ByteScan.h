#pragma once

#include <QByteArrayView>

#include <bit>
#include <cstdint>
#include <cstring>

// Looks at eight bytes of a text at once to find the first of a few bytes,
// as the scans of a deck's texts do: most words hold none of them.
namespace ByteScan {

constexpr std::uint64_t Ones = 0x0101010101010101u;
constexpr std::uint64_t HighBits = 0x8080808080808080u;

// The eight bytes from at on.
inline std::uint64_t Word(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// The high bit of every byte of the word that is below limit (at most
// 0x80). A borrow can flag a byte above a flagged one as well, but the
// lowest flagged byte is always one that is below the limit.
inline std::uint64_t Below(std::uint64_t word, unsigned char limit) {
    return (word - Ones * limit) & ~word & HighBits;
}

// The same for the bytes that are c.
inline std::uint64_t Equal(std::uint64_t word, char c) {
    return Below(word ^ (Ones * static_cast<unsigned char>(c)), 1);
}

// The first byte from at on that the word mask flags (in the last bytes,
// that isCandidate holds for); end when there is none.
template <class WordMask, class IsCandidate>
const char* FirstCandidate(const char* at, const char* const end, WordMask mask,
                           IsCandidate isCandidate) {
    for (; end - at >= 8; at += 8) {
        if (const std::uint64_t flagged = mask(Word(at)); flagged != 0) {
            const int bit = std::endian::native == std::endian::little ? std::countr_zero(flagged)
                                                                       : std::countl_zero(flagged);
            return at + bit / 8;
        }
    }
    while (at < end && !isCandidate(*at))
        ++at;
    return at;
}

// Where c first stands in the text from from on, -1 when nowhere; a call of
// memchr, without the general search that QByteArrayView::indexOf makes of
// a single character.
inline qsizetype IndexOf(QByteArrayView text, char c, qsizetype from = 0) {
    if (from >= text.size())
        return -1;
    const void* const found = std::memchr(text.data() + from, c, size_t(text.size() - from));
    return found ? static_cast<const char*>(found) - text.data() : -1;
}

// Whether the text starts with known; inline, unlike
// QByteArrayView::startsWith, so that a fixed text compiles to a compare.
inline bool StartsWith(QByteArrayView text, QByteArrayView known) {
    return text.size() >= known.size() &&
           std::memcmp(text.data(), known.data(), size_t(known.size())) == 0;
}

} // namespace ByteScan
