#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlImageHolder.h"
#include "wml/WmlTaskHolder.h"

// anchor: a link that carries a task (see WmlTaskHolder). The title is
// escaped, and Reference is only stored: a go task writes its own. A noop
// task is not written (an anchor cannot hold one; without it the anchor does
// nothing all the same).
class CAnchor : public WmlTaskHolder, public WmlImageHolder {
public:
    QByteArray Reference() const { return m_reference; }
    void setReference(const QByteArray& sReference) { m_reference = sReference; }
    QByteArray Title() const { return m_title; }
    void setTitle(const QByteArray& sTitle) { m_title = sTitle; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_reference;
    QByteArray m_title;
};
