#pragma once

#include <QByteArrayView>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

// Reads a WML deck, as the element classes write it, as a stream of tags
// and text runs without decoding anything: texts and attribute values stay
// escaped as they stand, so that whoever writes them to another XML page
// can copy them. It checks what such a copy relies on: tags nest and close,
// attribute values are quoted with '"', every "&" starts an entity of WML
// (the five of XML, nbsp, shy or a character number), no character that
// XML forbids, valid UTF-8. Anything else is an error, after which the
// stream ends.
class WmlTokenizer {
public:
    // Whether the two names (or values) are the same; written out here so
    // that a comparison with a fixed name compiles to a few instructions.
    static bool Same(QByteArrayView text, QByteArrayView known) {
        return text.size() == known.size() &&
               std::memcmp(text.data(), known.data(), size_t(known.size())) == 0;
    }

    enum Token { StartTag, EndTag, Text, End };

    explicit WmlTokenizer(QByteArrayView deck);

    Token Next();
    // After StartTag: reads up to and with its end tag.
    void SkipElement();
    // Moves to the next child element of the current one, past any text;
    // false at the current one's end.
    bool NextChildElement();
    bool HasError() const { return m_error; }
    bool AtEndTag() const { return m_token == EndTag; }

    // The name of the tag read last.
    QByteArrayView Name() const { return m_name; }
    // The text run read last, escaped as in the deck.
    QByteArrayView TextRun() const { return m_text; }
    // The value of the last start tag's attribute, escaped; a null view
    // when the tag has no such attribute.
    QByteArrayView Attribute(QByteArrayView name) const {
        const qsizetype kept = std::min<qsizetype>(m_attributeCount, KeptAttributes);
        for (qsizetype index = 0; index < kept; ++index) {
            if (Same(m_attributes[size_t(index)].name, name))
                return m_attributes[size_t(index)].value;
        }
        for (const NameAndValue& attribute : m_moreAttributes) {
            if (Same(attribute.name, name))
                return attribute.value;
        }
        return {};
    }

private:
    struct NameAndValue {
        QByteArrayView name;
        QByteArrayView value;
    };

    Token fail();
    Token readMarkup();
    Token readEndTag();
    Token readStartTag();
    bool skipPast(QByteArrayView end);
    const char* readAttributes(const char* at, const char* end);
    void keepAttribute(const NameAndValue& attribute);

    QByteArrayView m_deck;
    qsizetype m_at = 0;
    Token m_token = End;
    QByteArrayView m_name;
    QByteArrayView m_text;
    // The attributes of the last start tag, in their order: the first ones
    // in place, the others (which no deck of the site has) after them.
    static constexpr qsizetype KeptAttributes = 16;
    std::array<NameAndValue, KeptAttributes> m_attributes;
    std::vector<NameAndValue> m_moreAttributes;
    qsizetype m_attributeCount = 0;
    // The open elements, kept without allocating for a usual depth.
    QVarLengthArray<QByteArrayView, 32> m_open;
    bool m_closeNext = false;
    bool m_rootSeen = false;
    bool m_error = false;
};
