#include "wml/XhtmlPage.h"

#include <utility>

namespace {
constexpr QByteArrayView PageStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML Basic 1.1//EN\" "
    "\"http://www.w3.org/TR/xhtml-basic/xhtml-basic11.dtd\">\n"
    "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"/>"
    "<meta name=\"viewport\" content=\"width=device-width\"/><title>";

// Readable on a 128-pixel phone screen and on a desktop alike.
constexpr QByteArrayView StyleAndBodyStart =
    "</title><style type=\"text/css\">\n"
    "body{margin:0;padding:0.5em;font-family:sans-serif;line-height:1.4;max-width:40em}\n"
    "h1{font-size:1.2em;margin:0 0 0.4em}p{margin:0 0 0.6em}\n"
    "img{max-width:100%;height:auto;vertical-align:middle}\n"
    "input,select{max-width:100%;font-size:1em}\n"
    "table{border-collapse:collapse}td{padding:0.1em 0.4em;border:1px solid #ccc}\n"
    ".u{text-decoration:underline}.center{text-align:center}.right{text-align:right}"
    ".nowrap{white-space:nowrap}\n"
    "</style></head><body>";

constexpr QByteArrayView PageEnd = "</body></html>";
} // namespace

XhtmlPage::XhtmlPage(qsizetype bodySize) {
    m_text.reserve(PageStart.size() + StyleAndBodyStart.size() + bodySize + PageEnd.size() + 64);
    m_text += PageStart;
    m_titleAt = m_text.size();
    m_text += StyleAndBodyStart;
    m_bodyStart = m_text.size();
}

// The title is met early, at the first card, so little of the body moves.
void XhtmlPage::SetTitleFrom(qsizetype start) {
    if (std::exchange(m_titleSet, true))
        return;
    const qsizetype length = m_text.size() - start;
    m_text.insertCopy(m_titleAt, start, length);
    m_bodyStart += length;
}

void XhtmlPage::Clear() {
    m_text.truncate(m_titleAt);
    m_text += StyleAndBodyStart;
    m_bodyStart = m_text.size();
}

// A body without content gets an empty division, which XHTML Basic needs.
QByteArray XhtmlPage::Finish(const XhtmlText::PageBuffer& tail) {
    m_text += tail;
    if (m_text.size() == m_bodyStart)
        m_text += "<div></div>";
    m_text += PageEnd;
    return m_text.Take();
}
