#include "support/Wbxml.h"

#include <optional>

namespace {
enum Token : quint8 {
    SwitchPage = 0x00,
    End = 0x01,
    Entity = 0x02,
    StrI = 0x03,
    Literal = 0x04,
    ExtI0 = 0x40,
    ExtI2 = 0x42,
    Pi = 0x43,
    LiteralC = 0x44,
    ExtT0 = 0x80,
    ExtT2 = 0x82,
    StrT = 0x83,
    LiteralA = 0x84,
    Ext0 = 0xC0,
    Ext2 = 0xC2,
    Opaque = 0xC3,
    LiteralAc = 0xC4,
};
constexpr quint8 TagHasAttributes = 0x80;

// Reads a document front to back, copying it and inlining string references.
class Rewriter {
public:
    explicit Rewriter(const QByteArray& document)
        : m_in(document) {}

    std::optional<QByteArray> run() {
        if (!copyHeader())
            return std::nullopt;
        bool inAttributes = false;
        while (m_pos < m_in.size()) {
            if (!copyToken(inAttributes))
                return std::nullopt;
        }
        return m_out;
    }

private:
    std::optional<quint32> readNumber() {
        quint32 value = 0;
        for (int octets = 0; octets < 5 && m_pos < m_in.size(); ++octets) {
            const auto octet = static_cast<quint8>(m_in[m_pos++]);
            value = (value << 7) | (octet & 0x7F);
            if (!(octet & 0x80))
                return value;
        }
        return std::nullopt;
    }

    // Copies the bytes read since start to the output.
    void copyFrom(qsizetype start) { m_out += m_in.mid(start, m_pos - start); }

    bool copyNumber() {
        const qsizetype start = m_pos;
        if (!readNumber())
            return false;
        copyFrom(start);
        return true;
    }

    bool copyHeader() {
        const qsizetype start = m_pos++; // version
        const std::optional<quint32> publicId = readNumber();
        if (!publicId || (*publicId == 0 && !readNumber()) || !readNumber()) // charset
            return false;
        const std::optional<quint32> tableLength = readNumber();
        if (!tableLength || *tableLength > quint32(m_in.size() - m_pos))
            return false;
        m_table = m_in.mid(m_pos, *tableLength);
        m_pos += *tableLength;
        copyFrom(start);
        return true;
    }

    bool copyInlineString() {
        const qsizetype end = m_in.indexOf('\0', m_pos);
        if (end < 0)
            return false;
        m_pos = end + 1;
        return true;
    }

    bool inlineReference() {
        const std::optional<quint32> index = readNumber();
        if (!index || *index >= quint32(m_table.size()))
            return false;
        const qsizetype end = m_table.indexOf('\0', *index);
        m_out += char(StrI);
        m_out += m_table.mid(*index, end < 0 ? -1 : end - *index);
        m_out += '\0';
        return true;
    }

    bool copyOpaque() {
        const qsizetype start = m_pos;
        const std::optional<quint32> length = readNumber();
        if (!length || *length > quint32(m_in.size() - m_pos))
            return false;
        m_pos += *length;
        copyFrom(start);
        return true;
    }

    bool copyToken(bool& inAttributes) {
        const auto token = static_cast<quint8>(m_in[m_pos]);
        const qsizetype start = m_pos++;
        if (token == StrT)
            return inlineReference();
        m_out += char(token);
        switch (token) {
        case SwitchPage:
            m_pos = qMin(m_pos + 1, m_in.size());
            copyFrom(start + 1);
            return true;
        case End:
            inAttributes = false;
            return true;
        case StrI:
            if (!copyInlineString())
                return false;
            copyFrom(start + 1);
            return true;
        case Entity:
        case Literal:
        case LiteralC:
        case LiteralA:
        case LiteralAc:
            inAttributes = inAttributes || token == LiteralA || token == LiteralAc;
            return copyNumber();
        case Opaque:
            return copyOpaque();
        case Pi:
            inAttributes = true;
            return true;
        default:
            break;
        }
        if (token >= ExtI0 && token <= ExtI2) {
            if (!copyInlineString())
                return false;
            copyFrom(start + 1);
            return true;
        }
        if (token >= ExtT0 && token <= ExtT2)
            return copyNumber();
        if (token >= Ext0 && token <= Ext2)
            return true;
        if (!inAttributes && (token & TagHasAttributes))
            inAttributes = true;
        return true;
    }

    const QByteArray& m_in;
    qsizetype m_pos = 0;
    QByteArray m_table;
    QByteArray m_out;
};
} // namespace

namespace Wbxml {
QByteArray inlineStringReferences(const QByteArray& document) {
    return Rewriter(document).run().value_or(document);
}
} // namespace Wbxml
