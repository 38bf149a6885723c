#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlImageHolder.h"

// option: one entry of a selection list; its text is escaped. An option holds
// text only, so its image is written as the image's alternative text.
class COption : public WmlElement, public WmlImageHolder {
public:
    QByteArray Text() const { return m_text; }
    void setText(const QByteArray& sText) { m_text = sText; }
    QByteArray OnPick() const { return m_onPick; }
    void setOnPick(const QByteArray& sOnPick) { m_onPick = sOnPick; }
    QByteArray Title() const { return m_title; }
    void setTitle(const QByteArray& sTitle) { m_title = sTitle; }
    QByteArray Value() const { return m_value; }
    void setValue(const QByteArray& sValue) { m_value = sValue; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_text;
    QByteArray m_onPick;
    QByteArray m_title;
    QByteArray m_value;
};
