#include "wml/WmlLinks.h"

#include "base/basUtilities.h"

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
    AppendAttribute(out, "alt", m_sAlternativeText);
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

void CA::AppendWML(QByteArray& out) const {
    out.append("<a");
    AppendAttribute(out, "href", m_sReference);
    out.append('>');
    AppendImageBeforeTitle(out);
    if (m_bBold)
        AppendStartTag(out, "b");
    basUtilities::AppendXmlEscaped(out, m_sTitle, false);
    if (m_bBold)
        AppendEndTag(out, "b");
    AppendImageAfterTitle(out);
    AppendEndTag(out, "a");
}

void CAnchor::AppendWML(QByteArray& out) const {
    AppendStartTag(out, "anchor");
    AppendImageBeforeTitle(out);
    out.append(m_sTitle);
    AppendImageAfterTitle(out);
    AppendSelectedTask(out);
    AppendEndTag(out, "anchor");
}
