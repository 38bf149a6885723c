#pragma once

#include "wml/WmlElement.h"

// InputTypePassword writes type="password"; every other value writes no type.
enum WmlInputType : qint32 {
    InputTypeText = 0,
    InputTypePassword = 1,
};

// input: a text field. Texts are written unchanged and numbers only when
// above 0; a field whose empty entry is not allowed says so.
class CInput : public WmlElement {
public:
    QByteArray Name() const { return m_name; }
    void setName(const QByteArray& sName) { m_name = sName; }
    bool EmptyOK() const { return m_emptyOK; }
    void setEmptyOK(bool bEmptyOK) { m_emptyOK = bEmptyOK; }
    QByteArray Format() const { return m_format; }
    void setFormat(const QByteArray& sFormat) { m_format = sFormat; }
    qint16 MaxLength() const { return m_maxLength; }
    void setMaxLength(qint16 iMaxLength) { m_maxLength = iMaxLength; }
    qint16 Size() const { return m_size; }
    void setSize(qint16 iSize) { m_size = iSize; }
    qint16 TabIndex() const { return m_tabIndex; }
    void setTabIndex(qint16 iTabIndex) { m_tabIndex = iTabIndex; }
    QByteArray Title() const { return m_title; }
    void setTitle(const QByteArray& sTitle) { m_title = sTitle; }
    QByteArray Value() const { return m_value; }
    void setValue(const QByteArray& sValue) { m_value = sValue; }
    qint32 InputType() const { return m_type; }
    void setInputType(qint32 eType) { m_type = eType; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_name;
    bool m_emptyOK = false;
    QByteArray m_format;
    qint16 m_maxLength = 0;
    qint16 m_size = 0;
    qint16 m_tabIndex = 0;
    QByteArray m_title;
    QByteArray m_value;
    qint32 m_type = InputTypeText;
};
