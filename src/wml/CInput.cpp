#include "wml/CInput.h"

using namespace WmlWriter;

void CInput::AppendWML(QByteArray& out) const {
    out.append("<input");
    AppendAttributeIfSet(out, "name", m_name);
    AppendAttributeIfSet(out, "format", m_format);
    AppendTextAttributeIfSet(out, "title", m_title);
    AppendAttributeIfSet(out, "value", m_value);
    AppendNumberAttributeIfPositive(out, "maxlength", m_maxLength);
    AppendNumberAttributeIfPositive(out, "size", m_size);
    AppendNumberAttributeIfPositive(out, "tabindex", m_tabIndex);
    if (!m_emptyOK)
        out.append(" emptyok=\"false\"");
    if (m_type == InputTypePassword)
        out.append(" type=\"password\"");
    out.append("/>");
}
