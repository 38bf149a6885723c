#include "wml/WmlElement.h"

#include "base/basUtilities.h"

#include <charconv>

namespace {
// Large enough for most pages of the site, so that a whole deck is usually
// written without the buffer growing.
constexpr qsizetype InitialRenderCapacity = 2048;
} // namespace

QByteArray WmlElement::GetWML() const {
    QByteArray out;
    out.reserve(InitialRenderCapacity);
    AppendWML(out);
    return out;
}

namespace WmlWriter {

void AppendNumber(QByteArray& out, qint32 value) {
    char digits[12];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr - digits);
}

void AppendAttribute(QByteArray& out, QByteArrayView name, QByteArrayView value) {
    out.append(' ');
    out.append(name);
    out.append("=\"");
    out.append(value);
    out.append('"');
}

void AppendText(QByteArray& out, const QByteArray& text) {
    basUtilities::AppendXmlEscaped(out, text, false);
}

void AppendVariableAttribute(QByteArray& out, QByteArrayView name, const QByteArray& value) {
    out.append(' ');
    out.append(name);
    out.append("=\"");
    basUtilities::AppendXmlEscaped(out, value, true);
    out.append('"');
}

void AppendTextAttributeIfSet(QByteArray& out, QByteArrayView name, const QByteArray& text) {
    if (text.isEmpty())
        return;
    out.append(' ');
    out.append(name);
    out.append("=\"");
    AppendText(out, text);
    out.append('"');
}

void AppendAttributeIfSet(QByteArray& out, QByteArrayView name, QByteArrayView value) {
    if (!value.isEmpty())
        AppendAttribute(out, name, value);
}

void AppendNumberAttribute(QByteArray& out, QByteArrayView name, qint32 value) {
    out.append(' ');
    out.append(name);
    out.append("=\"");
    AppendNumber(out, value);
    out.append('"');
}

void AppendNumberAttributeIfPositive(QByteArray& out, QByteArrayView name, qint32 value) {
    if (value > 0)
        AppendNumberAttribute(out, name, value);
}

void AppendStartTag(QByteArray& out, QByteArrayView tag) {
    out.append('<');
    out.append(tag);
    out.append('>');
}

void AppendEndTag(QByteArray& out, QByteArrayView tag) {
    out.append("</");
    out.append(tag);
    out.append('>');
}

void AppendEmptyTag(QByteArray& out, QByteArrayView tag) {
    out.append('<');
    out.append(tag);
    out.append("/>");
}

} // namespace WmlWriter
