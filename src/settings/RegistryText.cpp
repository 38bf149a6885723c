#include "settings/RegistryText.h"

#include "base/SafeText.h"
#include "base/basUtilities.h"

namespace RegistryText {

namespace {

constexpr QByteArrayView Header =
    "; Pocketlane settings. Each [section] is a key, each \"name\"=\"text\" line one of its\n"
    "; values; expand:\"text\" marks a text whose %VARIABLE% references are expanded.\n"
    "; In quotes, \\\\ \\\" \\n \\r \\t and \\xHH stand for a backslash, a quote and other bytes.\n"
    "; Keep the last line: a file without it is taken as cut short.\n";
constexpr QByteArrayView EndLine = "; end of settings";
constexpr QByteArrayView ExpandMarker = "expand:";

bool isValidKeyPath(QByteArrayView path) {
    return !path.isEmpty();
}

// Whether the key path can stand in its section line as it is.
bool isPlainKeyPath(QByteArrayView path) {
    for (const char c : path) {
        if (c < 0x20 || c > 0x7E || c == '"')
            return false;
    }
    return !path.isEmpty();
}

void appendHexEscape(QByteArray& out, unsigned char byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    out.append("\\x", 2);
    out.append(digits[byte >> 4]);
    out.append(digits[byte & 0xF]);
}

// The text in quotes, with every byte that would break the line or the
// file's UTF-8 written as an escape.
void appendQuoted(QByteArray& out, const QByteArray& text) {
    out.append('"');
    const char* p = text.constData();
    const char* const end = p + text.size();
    while (p < end) {
        const auto byte = static_cast<unsigned char>(*p);
        char32_t ignored = 0;
        const int length = byte >= 0x80 ? SafeText::DecodeUtf8(p, end, ignored) : 1;
        if (byte == '\\' || byte == '"') {
            out.append('\\').append(char(byte));
        } else if (byte == '\n') {
            out.append("\\n", 2);
        } else if (byte == '\r') {
            out.append("\\r", 2);
        } else if (byte == '\t') {
            out.append("\\t", 2);
        } else if (byte < 0x20 || byte == 0x7F || length == 0) {
            appendHexEscape(out, byte);
        } else {
            out.append(p, length);
            p += length;
            continue;
        }
        ++p;
    }
    out.append('"');
}

// Reads a quoted text starting at line[pos] (the opening quote); moves pos
// past the closing quote. Nothing when the text is not well formed.
std::optional<QByteArray> readQuoted(QByteArrayView line, qsizetype& pos) {
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    QByteArray text;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return text;
        }
        if (c != '\\') {
            text.append(c);
            continue;
        }
        if (++pos >= line.size())
            return std::nullopt;
        switch (line[pos]) {
        case '\\':
        case '"':
            text.append(line[pos]);
            break;
        case 'n':
            text.append('\n');
            break;
        case 'r':
            text.append('\r');
            break;
        case 't':
            text.append('\t');
            break;
        case 'x': {
            const int high =
                pos + 1 < line.size() ? basUtilities::HexDigitValue(line[pos + 1]) : -1;
            const int low = pos + 2 < line.size() ? basUtilities::HexDigitValue(line[pos + 2]) : -1;
            if (high < 0 || low < 0)
                return std::nullopt;
            text.append(char(high * 16 + low));
            pos += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Parses one `"name"=["expand:"]"data"` line.
std::optional<RegistryKeys::Value> parseValueLine(QByteArrayView line) {
    qsizetype pos = 0;
    RegistryKeys::Value value;
    const auto name = readQuoted(line, pos);
    if (!name || pos >= line.size() || line[pos] != '=')
        return std::nullopt;
    ++pos;
    if (line.sliced(pos).startsWith(ExpandMarker)) {
        value.expandable = true;
        pos += ExpandMarker.size();
    }
    const auto data = readQuoted(line, pos);
    if (!data || pos != line.size())
        return std::nullopt;
    value.name = *name;
    value.data = *data;
    return value;
}

// The key path of a "[path]" or "[\"quoted path\"]" line.
std::optional<QByteArray> parseSectionLine(QByteArrayView line) {
    if (line.size() < 3 || !line.startsWith('[') || !line.endsWith(']'))
        return std::nullopt;
    const QByteArrayView inside = line.sliced(1, line.size() - 2);
    if (!inside.startsWith('"'))
        return inside.toByteArray();
    qsizetype pos = 0;
    auto path = readQuoted(inside, pos);
    if (!path || pos != inside.size() || !isValidKeyPath(*path))
        return std::nullopt;
    return path;
}

QList<QByteArrayView> splitLines(QByteArrayView text) {
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
        start = end + 1;
    }
    return lines;
}

} // namespace

QByteArray serialize(const QList<RegistryKeys::Key>& keys) {
    QByteArray text(Header.data(), Header.size());
    for (const RegistryKeys::Key& key : keys) {
        text.append("\n[");
        if (isPlainKeyPath(key.path))
            text.append(key.path);
        else
            appendQuoted(text, key.path);
        text.append("]\n");
        for (const RegistryKeys::Value& value : key.values) {
            appendQuoted(text, value.name);
            text.append('=');
            if (value.expandable)
                text.append(ExpandMarker.data(), ExpandMarker.size());
            appendQuoted(text, value.data);
            text.append('\n');
        }
    }
    text.append('\n').append(EndLine.data(), EndLine.size()).append('\n');
    return text;
}

std::optional<RegistryKeys> parse(QByteArrayView text, QString* error) {
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    const QList<QByteArrayView> lines = splitLines(text);
    if (!lines.contains(EndLine))
        return fail(QStringLiteral("the file has no end line; it may have been cut short"));

    RegistryKeys keys;
    qsizetype current = -1;
    for (qsizetype number = 1; number <= lines.size(); ++number) {
        const QByteArrayView line = lines.at(number - 1);
        if (line.trimmed().isEmpty() || line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            const auto path = parseSectionLine(line);
            if (!path)
                return fail(QStringLiteral("line %1 cannot be read").arg(number));
            current = keys.ensure(*path);
            continue;
        }
        const auto value = line.startsWith('"') ? parseValueLine(line) : std::nullopt;
        if (!value || current < 0)
            return fail(QStringLiteral("line %1 cannot be read").arg(number));
        keys.setValue(current, *value);
    }
    return keys;
}

} // namespace RegistryText
