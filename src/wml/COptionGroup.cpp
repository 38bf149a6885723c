#include "wml/COptionGroup.h"

using namespace WmlWriter;

void COptionGroup::AppendWML(QByteArray& out) const {
    out.append("<optgroup");
    AppendTextAttributeIfSet(out, "title", m_title);
    out.append('>');
    AppendOptions(out);
    AppendEndTag(out, "optgroup");
}
