#include "wml/CImage.h"

using namespace WmlWriter;

namespace {
QByteArrayView ImageAlignmentName(qint32 vAlignment) {
    switch (vAlignment) {
    case ImageAlignTop:
        return "top";
    case ImageAlignMiddle:
        return "middle";
    case ImageAlignBottom:
        return "bottom";
    default:
        return {};
    }
}
} // namespace

void CImage::AppendWML(QByteArray& out) const {
    out.append("<img");
    AppendAttribute(out, "src", m_source);
    out.append(" alt=\"");
    AppendText(out, m_alternativeText);
    out.append('"');
    AppendAttributeIfSet(out, "align", ImageAlignmentName(m_alignment));
    out.append("/>");
}
