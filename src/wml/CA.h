#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlImageHolder.h"

// a: a simple link. The href is always written, unchanged; the title is
// XML-escaped with dollars doubled. A bold link is written inside b.
class CA : public WmlElement, public WmlImageHolder {
public:
    QByteArray Reference() const { return m_reference; }
    void setReference(const QByteArray& sReference) { m_reference = sReference; }
    QByteArray Title() const { return m_title; }
    void setTitle(const QByteArray& sTitle) { m_title = sTitle; }
    // Wraps the title in b. Set only: there is no getter.
    void setBold(bool bBold) { m_bold = bBold; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_reference;
    QByteArray m_title;
    bool m_bold = false;
};
