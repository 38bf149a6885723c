#include "wml/XhtmlText.h"

#include "base/basUtilities.h"
#include "wml/ByteScan.h"
#include "wml/WmlVariables.h"

#include <QString>

#include <algorithm>
#include <cstring>

namespace XhtmlText {

namespace {

bool IsNameStart(char c) {
    return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsNameCharacter(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

// The length of what the "$" at text[0] stands for: a reference ("$(x)",
// "$x"), "$$"; 1 for a lone dollar. Sets dollar when it stands for one.
qsizetype DollarLength(QByteArrayView text, bool* dollar) {
    *dollar = false;
    if (text.size() > 1 && text.at(1) == '$') {
        *dollar = true;
        return 2;
    }
    if (text.size() > 1 && text.at(1) == '(') {
        const qsizetype close = ByteScan::IndexOf(text, ')', 2);
        if (close >= 3)
            return close + 1;
    } else if (text.size() > 1 && IsNameStart(text.at(1))) {
        qsizetype end = 2;
        while (end < text.size() && IsNameCharacter(text.at(end)))
            ++end;
        return end;
    }
    *dollar = true;
    return 1;
}

// The first "$" or "&" from at on, end when there is none.
const char* NextSpecial(const char* at, const char* end) {
    return ByteScan::FirstCandidate(
        at, end,
        [](std::uint64_t word) { return ByteScan::Equal(word, '$') | ByteScan::Equal(word, '&'); },
        [](char c) { return c == '$' || c == '&'; });
}

} // namespace

void AppendResolved(PageBuffer& out, QByteArrayView escaped) {
    const char* const end = escaped.data() + escaped.size();
    const char* runStart = escaped.data();
    for (const char* at = NextSpecial(runStart, end); at < end; at = NextSpecial(at, end)) {
        const QByteArrayView rest(at, end - at);
        QByteArrayView replacement;
        qsizetype length = 0;
        if (*at == '$') {
            bool dollar = false;
            length = DollarLength(rest, &dollar);
            replacement = dollar ? "$" : "";
        } else if (ByteScan::StartsWith(rest, "&nbsp;")) {
            replacement = "\xc2\xa0";
            length = 6;
        } else if (ByteScan::StartsWith(rest, "&shy;")) {
            replacement = "\xc2\xad";
            length = 5;
        } else {
            ++at;
            continue;
        }
        out.append(QByteArrayView(runStart, at - runStart)).append(replacement);
        at += length;
        runStart = at;
    }
    out.append(QByteArrayView(runStart, end - runStart));
}

QByteArray Unescaped(QByteArrayView escaped) {
    qsizetype runStart = 0;
    qsizetype at = ByteScan::IndexOf(escaped, '&');
    if (at < 0)
        return escaped.toByteArray();
    QByteArray text;
    text.reserve(escaped.size());
    for (; at >= 0; at = ByteScan::IndexOf(escaped, '&', runStart)) {
        text += escaped.sliced(runStart, at - runStart);
        const qsizetype semicolon = ByteScan::IndexOf(escaped, ';', at);
        if (semicolon < 0)
            break;
        const QByteArrayView name = escaped.sliced(at + 1, semicolon - at - 1);
        static const std::pair<QByteArrayView, QByteArrayView> Named[] = {
            {"amp", "&"},  {"lt", "<"},          {"gt", ">"},        {"quot", "\""},
            {"apos", "'"}, {"nbsp", "\xc2\xa0"}, {"shy", "\xc2\xad"}};
        for (const auto& [entity, character] : Named) {
            if (name == entity)
                text += character;
        }
        if (name.startsWith('#')) {
            const bool hex = name.size() > 1 && name.at(1) == 'x';
            const char32_t code = name.sliced(hex ? 2 : 1).toUInt(nullptr, hex ? 16 : 10);
            text += QString::fromUcs4(&code, 1).toUtf8();
        }
        runStart = semicolon + 1;
    }
    return text.append(escaped.sliced(runStart));
}

bool HasReference(QByteArrayView escaped) {
    if (escaped.isEmpty() || !std::memchr(escaped.data(), '$', size_t(escaped.size())))
        return false;
    return WmlVariables::HasReference(ByteScan::IndexOf(escaped, '&') >= 0 ? Unescaped(escaped)
                                                                           : escaped);
}

void AppendResolvedAttribute(PageBuffer& out, QByteArrayView name, QByteArrayView escaped) {
    out.append(' ').append(name).append("=\"");
    AppendResolved(out, escaped);
    out.append('"');
}

void AppendAttribute(PageBuffer& out, QByteArrayView name, QByteArrayView value) {
    out.append(' ').append(name).append("=\"");
    basUtilities::AppendXmlEscapedTo(out, value, true);
    out.append('"');
}

void AppendStartTag(PageBuffer& out, QByteArrayView tag, QByteArrayView className) {
    out.append('<').append(tag);
    if (!className.isEmpty())
        out.append(" class=\"").append(className).append('"');
    out += '>';
}

bool IsXmlId(QByteArrayView id) {
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (id.isEmpty() || !(letter(id.front()) || id.front() == '_'))
        return false;
    return std::all_of(id.begin(), id.end(), [&](char c) {
        return letter(c) || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
    });
}

} // namespace XhtmlText
