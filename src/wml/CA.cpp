#include "wml/CA.h"

using namespace WmlWriter;

// A link holds only text, line breaks and images, so a bold link is a link
// inside b: the same bold link text, in markup that phones accept.
void CA::AppendWML(QByteArray& out) const {
    if (m_bold)
        AppendStartTag(out, "b");
    out.append("<a");
    AppendAttribute(out, "href", m_reference);
    out.append('>');
    AppendImageBeforeTitle(out);
    AppendText(out, m_title);
    AppendImageAfterTitle(out);
    AppendEndTag(out, "a");
    if (m_bold)
        AppendEndTag(out, "b");
}
