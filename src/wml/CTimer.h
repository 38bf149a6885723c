#pragma once

#include "wml/WmlElement.h"

// timer: starts the card's timer, in tenths of a second.
class CTimer : public WmlElement {
public:
    qint16 Value() const { return m_value; }
    void setValue(qint16 iValue) { m_value = iValue; }

    void AppendWML(QByteArray& out) const override;

private:
    qint16 m_value = 0;
};
