#include "wml/WmlNameValueElement.h"

using namespace WmlWriter;

WmlNameValueElement::WmlNameValueElement(QByteArrayView tag, const QByteArray& sName,
                                         const QByteArray& sValue)
    : m_tag(tag)
    , m_name(sName)
    , m_value(sValue) {}

void WmlNameValueElement::AppendWML(QByteArray& out) const {
    out.append('<');
    out.append(m_tag);
    AppendVariableAttribute(out, "name", m_name);
    AppendVariableAttribute(out, "value", m_value);
    out.append("/>");
}
