#include "wml/WmlTokenizer.h"

#include "wml/ByteScan.h"

#include <QByteArray>

#include <array>
#include <cstring>

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The characters that start a name (1) and the further ones of a name (2).
constexpr std::array<char, 256> NameCharacters = [] {
    std::array<char, 256> kinds{};
    for (int c = 0; c < 256; ++c) {
        const bool start = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
        kinds[c] = start ? 1 : (c >= '0' && c <= '9') || c == '-' || c == '.' ? 2 : 0;
    }
    return kinds;
}();

bool IsNameStart(char c) {
    return NameCharacters[static_cast<unsigned char>(c)] == 1;
}

bool IsNameCharacter(char c) {
    return NameCharacters[static_cast<unsigned char>(c)] != 0;
}

// The end of the name that starts at at; at itself when none starts there.
const char* NameEnd(const char* at, const char* const end) {
    if (at >= end || !IsNameStart(*at))
        return at;
    ++at;
    while (at < end && IsNameCharacter(*at))
        ++at;
    return at;
}

// The characters a text or attribute value cannot hold as they stand: the
// ones XML forbids, "<", "&" (checked as an entity) and '"' (which would end
// the value when copied into an attribute).
constexpr std::array<bool, 256> StopCharacters = [] {
    std::array<bool, 256> stops{};
    for (int c = 0; c < 0x20; ++c)
        stops[c] = c != '\t' && c != '\n' && c != '\r';
    stops['<'] = stops['&'] = stops['"'] = true;
    return stops;
}();

// The length of the entity at the start of text, 0 when it is none of WML's.
qsizetype EntityLength(QByteArrayView text) {
    if (ByteScan::StartsWith(text, "&amp;")) // by far the most frequent one
        return 5;
    const void* const found =
        std::memchr(text.data(), ';', size_t(std::min<qsizetype>(text.size(), 12)));
    const qsizetype semicolon = found ? static_cast<const char*>(found) - text.data() : -1;
    if (semicolon < 2)
        return 0;
    const QByteArrayView name = text.sliced(1, semicolon - 1);
    for (const QByteArrayView known : {"amp", "lt", "gt", "quot", "apos", "nbsp", "shy"}) {
        if (WmlTokenizer::Same(name, known))
            return semicolon + 1;
    }
    if (name.front() != '#' || name.size() < 2)
        return 0;
    const bool hex = name.at(1) == 'x';
    const QByteArrayView digits = name.sliced(hex ? 2 : 1);
    bool ok = !digits.isEmpty();
    const uint code = digits.toUInt(&ok, hex ? 16 : 10);
    const bool allowed = code == 0x9 || code == 0xA || code == 0xD ||
                         (code >= 0x20 && code <= 0xD7FF) || (code >= 0xE000 && code <= 0xFFFD) ||
                         (code >= 0x10000 && code <= 0x10FFFF);
    return ok && allowed ? semicolon + 1 : 0;
}

// The high bits of the bytes of the word that may be characters that a text
// or value cannot hold as they stand (tab, line feed and carriage return
// are flagged too).
std::uint64_t MayStop(std::uint64_t word) {
    return ByteScan::Below(word, 0x20) | ByteScan::Equal(word, '<') | ByteScan::Equal(word, '&') |
           ByteScan::Equal(word, '"');
}

bool IsStop(char c) {
    return StopCharacters[static_cast<unsigned char>(c)];
}

// Where the text from at ends: at the first character that it cannot hold as
// it stands (past the entities that it may hold), or at end.
const char* StopAt(const char* at, const char* const end) {
    while ((at = ByteScan::FirstCandidate(at, end, MayStop, IsStop)) < end) {
        if (!IsStop(*at)) {
            ++at;
            continue;
        }
        const qsizetype length = *at == '&' ? EntityLength(QByteArrayView(at, end - at)) : 0;
        if (length == 0)
            return at;
        at += length;
    }
    return end;
}

// Where the valid text from at ends: at the first "<" or at end; nullptr
// when the text holds a character that it cannot hold as it stands.
const char* TextEnd(const char* at, const char* const end) {
    const char* const stop = StopAt(at, end);
    return stop == end || *stop == '<' ? stop : nullptr;
}

// Where the valid attribute value from at ends: at its closing '"';
// nullptr when it has none or holds a character that it cannot hold.
const char* ValueEnd(const char* at, const char* const end) {
    const char* const stop = StopAt(at, end);
    return stop != end && *stop == '"' ? stop : nullptr;
}

// Where pattern starts in text from from on, -1 when nowhere.
qsizetype Find(QByteArrayView text, qsizetype from, QByteArrayView pattern) {
    const char* const end = text.data() + text.size();
    for (const char* at = text.data() + from; end - at >= pattern.size(); ++at) {
        at = static_cast<const char*>(std::memchr(at, pattern.front(), size_t(end - at)));
        if (!at || end - at < pattern.size())
            return -1;
        if (std::memcmp(at, pattern.data(), size_t(pattern.size())) == 0)
            return at - text.data();
    }
    return -1;
}

} // namespace

WmlTokenizer::WmlTokenizer(QByteArrayView deck)
    : m_deck(deck) {
    m_error = !deck.isValidUtf8();
}

WmlTokenizer::Token WmlTokenizer::fail() {
    m_error = true;
    m_open.clear();
    return m_token = End;
}

WmlTokenizer::Token WmlTokenizer::Next() {
    if (m_error)
        return m_token = End;
    if (m_closeNext) {
        m_closeNext = false;
        m_name = m_open.back();
        m_open.pop_back();
        return m_token = EndTag;
    }
    while (m_at < m_deck.size()) {
        if (m_deck.at(m_at) == '<') {
            const Token token = readMarkup();
            if (token != Text)
                return token;
            continue; // a comment, declaration or processing instruction
        }
        const char* const textEnd = TextEnd(m_deck.data() + m_at, m_deck.data() + m_deck.size());
        if (!textEnd)
            return fail();
        const qsizetype end = textEnd - m_deck.data();
        m_text = m_deck.sliced(m_at, end - m_at);
        m_at = end;
        if (!m_open.empty())
            return m_token = Text;
        for (const char c : m_text) {
            if (!IsSpace(c))
                return fail();
        }
    }
    if (!m_open.empty() || !m_rootSeen)
        return fail();
    return m_token = End;
}

void WmlTokenizer::SkipElement() {
    for (int depth = 1; depth > 0;) {
        const Token token = Next();
        if (token == End)
            return;
        depth += token == StartTag ? 1 : token == EndTag ? -1 : 0;
    }
}

bool WmlTokenizer::NextChildElement() {
    while (true) {
        const Token token = Next();
        if (token == StartTag)
            return true;
        if (token != Text)
            return false;
    }
}

// Returns Text for markup that is no tag and has been passed over.
WmlTokenizer::Token WmlTokenizer::readMarkup() {
    const char next = m_at + 1 < m_deck.size() ? m_deck.at(m_at + 1) : '\0';
    if (next != '?' && next != '!' && next != '/')
        return readStartTag();
    if (next == '/')
        return readEndTag();
    if (next == '?')
        return skipPast("?>") ? Text : fail();
    const QByteArrayView rest = m_deck.sliced(m_at);
    if (rest.size() >= 4 && rest.at(2) == '-' && rest.at(3) == '-')
        return skipPast("-->") ? Text : fail();
    if (Same(rest.first(std::min<qsizetype>(rest.size(), 9)), "<!DOCTYPE") && m_open.empty() &&
        !m_rootSeen)
        return skipPast(">") ? Text : fail();
    return fail();
}

bool WmlTokenizer::skipPast(QByteArrayView end) {
    const qsizetype found = Find(m_deck, m_at, end);
    if (found < 0)
        return false;
    m_at = found + end.size();
    return true;
}

WmlTokenizer::Token WmlTokenizer::readEndTag() {
    const char* const end = m_deck.data() + m_deck.size();
    const char* const name = m_deck.data() + m_at + 2;
    const char* at = NameEnd(name, end);
    const QByteArrayView closed(name, at - name);
    while (at < end && IsSpace(*at))
        ++at;
    if (closed.isEmpty() || at >= end || *at != '>' || m_open.empty() ||
        !Same(closed, m_open.back()))
        return fail();
    m_name = m_open.back();
    m_open.pop_back();
    m_at = at + 1 - m_deck.data();
    return m_token = EndTag;
}

WmlTokenizer::Token WmlTokenizer::readStartTag() {
    const char* const end = m_deck.data() + m_deck.size();
    const char* const name = m_deck.data() + m_at + 1;
    const char* const nameEnd = NameEnd(name, end);
    if (nameEnd == name || (m_open.empty() && m_rootSeen))
        return fail();
    m_name = QByteArrayView(name, nameEnd - name);
    const char* const tagEnd = readAttributes(nameEnd, end);
    if (!tagEnd)
        return fail();
    m_at = tagEnd - m_deck.data();
    m_rootSeen = true;
    m_open.push_back(m_name);
    return m_token = StartTag;
}

// From after the tag's name up to its ">" or "/>": where the tag ends, or
// nullptr when the attributes are not spaces, a name, "=" and a value in
// '"' each. Their values are checked once, here.
const char* WmlTokenizer::readAttributes(const char* at, const char* const end) {
    m_attributeCount = 0;
    m_moreAttributes.clear();
    while (at < end) {
        const char c = *at;
        if (c == '>' || (c == '/' && end - at >= 2 && at[1] == '>')) {
            m_closeNext = c == '/';
            return at + (m_closeNext ? 2 : 1);
        }
        if (!IsSpace(c) || end - at < 2)
            return nullptr;
        while (at < end && IsSpace(*at))
            ++at;
        if (at < end && (*at == '>' || *at == '/'))
            continue;
        const char* const name = at;
        at = NameEnd(at, end);
        if (at == name || end - at < 2 || at[0] != '=' || at[1] != '"')
            return nullptr;
        const char* const value = at + 2;
        const char* const close = ValueEnd(value, end);
        if (!close)
            return nullptr;
        keepAttribute({QByteArrayView(name, at - name), QByteArrayView(value, close - value)});
        at = close + 1;
    }
    return nullptr;
}

void WmlTokenizer::keepAttribute(const NameAndValue& attribute) {
    if (m_attributeCount < KeptAttributes)
        m_attributes[size_t(m_attributeCount)] = attribute;
    else
        m_moreAttributes.push_back(attribute);
    ++m_attributeCount;
}
