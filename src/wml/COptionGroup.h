#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlOptionList.h"

// optgroup: a titled group of options.
class COptionGroup : public WmlElement, public WmlOptionList {
public:
    QByteArray Title() const { return m_title; }
    void setTitle(const QByteArray& sTitle) { m_title = sTitle; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_title;
};
