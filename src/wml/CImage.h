#pragma once

#include "wml/WmlElement.h"

// The align attribute of an image; every other value, 0 included, writes none.
enum WmlImageAlignment : qint32 {
    ImageAlignTop = 1,
    ImageAlignMiddle = 2,
    ImageAlignBottom = 3,
};

// img: src and alt are always written (both are required), unchanged.
class CImage : public WmlElement {
public:
    qint32 Alignment() const { return m_alignment; }
    void setAlignment(qint32 vAlignment) { m_alignment = vAlignment; }
    QByteArray Source() const { return m_source; }
    void setSource(const QByteArray& sSource) { m_source = sSource; }
    QByteArray AlternativeText() const { return m_alternativeText; }
    void setAlternativeText(const QByteArray& sAlternativeText) {
        m_alternativeText = sAlternativeText;
    }

    void AppendWML(QByteArray& out) const override;

private:
    qint32 m_alignment = 0;
    QByteArray m_source;
    QByteArray m_alternativeText;
};
