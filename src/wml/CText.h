#pragma once

#include "wml/WmlElement.h"

// The tags around a text run; every other value writes the text without tags.
enum WmlTextFormatting : qint32 {
    FormatNormal = 0,
    FormatBold = 1,
    FormatBoldUnderlined = 2,
    FormatBig = 3,
    FormatEmphasised = 4,
    FormatItalic = 5,
    FormatSmall = 6,
    FormatStrong = 7,
    FormatUnderlined = 8,
};

// One run of text, XML-escaped with dollars doubled, inside its formatting
// tags (which an empty text still gets), optionally followed by a line break.
class CText : public WmlElement {
public:
    QByteArray Text() const { return m_text; }
    void setText(const QByteArray& sText) { m_text = sText; }
    bool LineBreak() const { return m_lineBreak; }
    void setLineBreak(bool bLineBreak) { m_lineBreak = bLineBreak; }
    qint32 Formatting() const { return m_formatting; }
    void setFormatting(qint32 eFormatting) { m_formatting = eFormatting; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_text;
    bool m_lineBreak = false;
    qint32 m_formatting = FormatNormal;
};
