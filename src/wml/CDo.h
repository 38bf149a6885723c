#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlTaskHolder.h"

// The softkey kind of a do element; every other value writes no type.
enum WmlDoType : qint32 {
    DoAccept = 0,
    DoPrev = 1,
    DoHelp = 2,
    DoReset = 3,
    DoOptions = 4,
    DoDelete = 5,
    DoUnknown = 6,
};

// do: a softkey with a label and a task. A new one is an accept softkey.
class CDo : public WmlTaskHolder {
public:
    QByteArray Name() const { return m_name; }
    void setName(const QByteArray& sName) { m_name = sName; }
    QByteArray Label() const { return m_label; }
    void setLabel(const QByteArray& sLabel) { m_label = sLabel; }
    qint32 DoType() const { return m_type; }
    void setDoType(qint32 eType) { m_type = eType; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_name;
    QByteArray m_label;
    qint32 m_type = DoAccept;
};
