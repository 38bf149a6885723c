#include "wml/WmlLinks.h"

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
    AppendAttribute(out, "src", m_sSource);
    out.append(" alt=\"");
    AppendText(out, m_sAlternativeText);
    out.append('"');
    AppendAttributeIfSet(out, "align", ImageAlignmentName(m_vAlignment));
    out.append("/>");
}

void WmlImageHolder::AppendImageBeforeTitle(QByteArray& out) const {
    if (m_oImage && !m_bShowImageAfterTitle)
        m_oImage->AppendWML(out);
}

void WmlImageHolder::AppendImageAfterTitle(QByteArray& out) const {
    if (m_oImage && m_bShowImageAfterTitle)
        m_oImage->AppendWML(out);
}

// A link holds only text, line breaks and images, so a bold link is a link
// inside b: the same bold link text, in markup that phones accept.
void CA::AppendWML(QByteArray& out) const {
    if (m_bBold)
        AppendStartTag(out, "b");
    out.append("<a");
    AppendAttribute(out, "href", m_sReference);
    out.append('>');
    AppendImageBeforeTitle(out);
    AppendText(out, m_sTitle);
    AppendImageAfterTitle(out);
    AppendEndTag(out, "a");
    if (m_bBold)
        AppendEndTag(out, "b");
}

void CAnchor::AppendWML(QByteArray& out) const {
    AppendStartTag(out, "anchor");
    AppendImageBeforeTitle(out);
    AppendText(out, m_sTitle);
    AppendImageAfterTitle(out);
    // An anchor may not hold noop; one without a task does nothing either.
    if (TaskType() != TaskNoop)
        AppendSelectedTask(out);
    AppendEndTag(out, "anchor");
}
