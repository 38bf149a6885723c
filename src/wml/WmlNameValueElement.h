#pragma once

#include "wml/WmlElement.h"

// An element written as <tag name="{Name}" value="{Value}"/>, both
// attributes always present, XML-escaped with their dollars kept: the browser
// reads exactly the given text, variable references such as "$(P)" included.
class WmlNameValueElement : public WmlElement {
public:
    QByteArray Name() const { return m_name; }
    void setName(const QByteArray& sName) { m_name = sName; }
    QByteArray Value() const { return m_value; }
    void setValue(const QByteArray& sValue) { m_value = sValue; }

    void AppendWML(QByteArray& out) const override;

protected:
    WmlNameValueElement(QByteArrayView tag, const QByteArray& sName, const QByteArray& sValue);

private:
    QByteArrayView m_tag;
    QByteArray m_name;
    QByteArray m_value;
};
