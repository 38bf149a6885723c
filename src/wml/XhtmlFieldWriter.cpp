#include "wml/XhtmlFieldWriter.h"

#include <algorithm>

using namespace XhtmlText;

namespace {
bool IsNumber(QByteArrayView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}
} // namespace

void XhtmlFieldWriter::WriteInput() {
    m_page += m_tokens.Attribute("type") == "password" ? "<input type=\"password\""
                                                       : "<input type=\"text\"";
    if (const QByteArrayView name = m_tokens.Attribute("name"); !name.isEmpty())
        m_page.append(" name=\"").append(name).append('"');
    appendAttributeIfSet("value", m_tokens.Attribute("value"));
    for (const QByteArrayView number : {QByteArrayView("maxlength"), QByteArrayView("size")}) {
        if (const QByteArrayView value = m_tokens.Attribute(number); IsNumber(value))
            m_page.append(' ').append(number).append("=\"").append(value).append('"');
    }
    appendAttributeIfSet("title", m_tokens.Attribute("title"));
    m_page += "/>";
}

// An attribute whose value is empty once resolved is left out.
void XhtmlFieldWriter::appendAttributeIfSet(QByteArrayView name, QByteArrayView escaped) {
    const qsizetype before = m_page.size();
    AppendResolvedAttribute(m_page, name, escaped);
    if (m_page.size() == before + name.size() + 4)
        m_page.truncate(before);
}

void XhtmlFieldWriter::WriteSelect() {
    m_page += "<select";
    if (const QByteArrayView name = m_tokens.Attribute("name"); !name.isEmpty())
        m_page.append(" name=\"").append(name).append('"');
    if (m_tokens.Attribute("multiple") == "true")
        m_page += " multiple=\"multiple\"";
    m_page += '>';
    PageBuffer preselected;
    AppendResolved(preselected, m_tokens.Attribute("value"));
    m_preselected =
        preselected.isEmpty() ? QList<QByteArray>() : preselected.view().toByteArray().split(';');
    writeOptions(false);
    m_page += "</select>";
}

// XHTML groups do not nest: the options of an inner group join the outer
// one. A list or group without options gets an empty one, which both need.
void XhtmlFieldWriter::writeOptions(bool inGroup) {
    const qsizetype start = m_page.size();
    while (m_tokens.NextChildElement()) {
        if (m_tokens.Name() == "option") {
            writeOption();
        } else if (m_tokens.Name() == "optgroup" && inGroup) {
            writeOptions(true);
        } else if (m_tokens.Name() == "optgroup") {
            m_page += "<optgroup";
            AppendResolvedAttribute(m_page, "label", m_tokens.Attribute("title"));
            m_page += '>';
            writeOptions(true);
            m_page += "</optgroup>";
        } else {
            m_tokens.SkipElement();
        }
    }
    if (m_page.size() == start)
        m_page += "<option></option>";
}

void XhtmlFieldWriter::writeOption() {
    m_page += "<option";
    if (const QByteArrayView value = m_tokens.Attribute("value"); !value.isNull()) {
        const qsizetype valueStart = m_page.size() + 8;
        AppendResolvedAttribute(m_page, "value", value);
        if (m_preselected.contains(m_page.sliced(valueStart, m_page.size() - valueStart - 1)))
            m_page += " selected=\"selected\"";
    }
    m_page += '>';
    while (true) {
        const WmlTokenizer::Token token = m_tokens.Next();
        if (token == WmlTokenizer::Text)
            AppendResolved(m_page, m_tokens.TextRun());
        else if (token == WmlTokenizer::StartTag)
            m_tokens.SkipElement();
        else
            break;
    }
    m_page += "</option>";
}
