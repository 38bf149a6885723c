#include "wml/XhtmlText.h"

#include "base/basUtilities.h"
#include "wml/WmlVariables.h"

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
        const qsizetype close = text.indexOf(')', 2);
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

} // namespace

void AppendResolved(PageBuffer& out, QByteArrayView escaped) {
    qsizetype runStart = 0;
    for (qsizetype at = 0; at < escaped.size(); ++at) {
        const char c = escaped.at(at);
        if (c != '$' && c != '&')
            continue;
        QByteArrayView replacement;
        qsizetype length = 0;
        if (c == '$') {
            bool dollar = false;
            length = DollarLength(escaped.sliced(at), &dollar);
            replacement = dollar ? "$" : "";
        } else if (escaped.sliced(at).startsWith("&nbsp;")) {
            replacement = "\xc2\xa0";
            length = 6;
        } else if (escaped.sliced(at).startsWith("&shy;")) {
            replacement = "\xc2\xad";
            length = 5;
        } else {
            continue;
        }
        out.append(escaped.sliced(runStart, at - runStart)).append(replacement);
        at += length - 1;
        runStart = at + 1;
    }
    out.append(escaped.sliced(runStart));
}

QString Unescaped(QByteArrayView escaped) {
    QString text;
    text.reserve(escaped.size());
    qsizetype runStart = 0;
    for (qsizetype at = escaped.indexOf('&'); at >= 0; at = escaped.indexOf('&', runStart)) {
        text += QString::fromUtf8(escaped.sliced(runStart, at - runStart));
        const qsizetype semicolon = escaped.indexOf(';', at);
        if (semicolon < 0)
            break;
        const QByteArrayView name = escaped.sliced(at + 1, semicolon - at - 1);
        static const std::pair<QByteArrayView, char16_t> Named[] = {
            {"amp", u'&'},   {"lt", u'<'},      {"gt", u'>'},    {"quot", u'"'},
            {"apos", u'\''}, {"nbsp", u'\xA0'}, {"shy", u'\xAD'}};
        for (const auto& [entity, character] : Named) {
            if (name == entity)
                text += QChar(character);
        }
        if (name.startsWith('#')) {
            const bool hex = name.size() > 1 && name.at(1) == 'x';
            const char32_t code =
                name.sliced(hex ? 2 : 1).toByteArray().toUInt(nullptr, hex ? 16 : 10);
            text += QString::fromUcs4(&code, 1);
        }
        runStart = semicolon + 1;
    }
    return text + QString::fromUtf8(escaped.sliced(runStart));
}

bool HasReference(QByteArrayView escaped) {
    return !escaped.isEmpty() && std::memchr(escaped.data(), '$', size_t(escaped.size())) &&
           WmlVariables::HasReference(Unescaped(escaped));
}

void AppendResolvedAttribute(PageBuffer& out, QByteArrayView name, QByteArrayView escaped) {
    out.append(' ').append(name).append("=\"");
    AppendResolved(out, escaped);
    out.append('"');
}

void AppendAttribute(PageBuffer& out, QByteArrayView name, const QString& value) {
    out.append(' ').append(name).append("=\"");
    QByteArray escaped;
    basUtilities::AppendXmlEscaped(escaped, value.toUtf8(), true);
    out += escaped;
    out.append('"');
}

} // namespace XhtmlText
