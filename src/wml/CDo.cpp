#include "wml/CDo.h"

using namespace WmlWriter;

namespace {
QByteArrayView DoTypeName(qint32 eType) {
    switch (eType) {
    case DoAccept:
        return "accept";
    case DoPrev:
        return "prev";
    case DoHelp:
        return "help";
    case DoReset:
        return "reset";
    case DoOptions:
        return "options";
    case DoDelete:
        return "delete";
    case DoUnknown:
        return "unknown";
    default:
        return {};
    }
}
} // namespace

void CDo::AppendWML(QByteArray& out) const {
    out.append("<do");
    AppendAttributeIfSet(out, "name", m_name);
    AppendTextAttributeIfSet(out, "label", m_label);
    AppendAttributeIfSet(out, "type", DoTypeName(m_type));
    out.append('>');
    AppendSelectedTask(out);
    AppendEndTag(out, "do");
}
