#include "wml/CTimer.h"

using namespace WmlWriter;

void CTimer::AppendWML(QByteArray& out) const {
    out.append("<timer");
    AppendNumberAttribute(out, "value", m_value);
    out.append("/>");
}
