#include "wml/WmlImageHolder.h"

using namespace WmlWriter;

void WmlImageHolder::AppendImageBeforeTitle(QByteArray& out) const {
    if (m_image && !m_showImageAfterTitle)
        m_image->AppendWML(out);
}

void WmlImageHolder::AppendImageAfterTitle(QByteArray& out) const {
    if (m_image && m_showImageAfterTitle)
        m_image->AppendWML(out);
}
