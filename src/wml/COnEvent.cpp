#include "wml/COnEvent.h"

using namespace WmlWriter;

void COnEvent::AppendWML(QByteArray& out) const {
    out.append("<onevent type=\"ontimer\">");
    m_go->AppendWML(out);
    AppendEndTag(out, "onevent");
}
