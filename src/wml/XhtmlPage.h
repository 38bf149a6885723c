#pragma once

#include "wml/XhtmlText.h"

#include <QByteArray>
#include <QByteArrayView>

// The text of one XHTML Basic page being written: the head with its style
// sheet is written first, the body follows as it comes, and the title goes
// into the head once it is known. What the body holds is written straight
// to its end, so the page is copied once, when it is done.
class XhtmlPage {
public:
    // Reserves room for a page of about bodySize characters.
    explicit XhtmlPage(qsizetype bodySize);

    // The page's text, to which the body is appended.
    XhtmlText::PageBuffer& Text() { return m_text; }
    // Sets the title, only the first time, to what the text holds from
    // start on.
    void SetTitleFrom(qsizetype start);
    // Drops the title and what the body holds.
    void Clear();
    // The whole page, with tail appended to the body.
    QByteArray Finish(const XhtmlText::PageBuffer& tail);

private:
    XhtmlText::PageBuffer m_text;
    qsizetype m_titleAt = 0;
    qsizetype m_bodyStart = 0;
    bool m_titleSet = false;
};
