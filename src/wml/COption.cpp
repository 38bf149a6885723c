#include "wml/COption.h"

using namespace WmlWriter;

void COption::AppendWML(QByteArray& out) const {
    out.append("<option");
    AppendAttributeIfSet(out, "onpick", m_onPick);
    AppendTextAttributeIfSet(out, "title", m_title);
    AppendAttributeIfSet(out, "value", m_value);
    out.append('>');
    // An option holds text only: its image shows as its alternative text.
    const QByteArray imageText = Image() ? Image()->AlternativeText() : QByteArray();
    if (!ShowImageAfterTitle())
        AppendText(out, imageText);
    AppendText(out, m_text);
    if (ShowImageAfterTitle())
        AppendText(out, imageText);
    AppendEndTag(out, "option");
}
