#pragma once

#include "wml/WmlTokenizer.h"
#include "wml/XhtmlText.h"

#include <QByteArray>
#include <QList>

// The fields of a WML card written as XHTML form fields: text and password
// inputs, and selection lists with their options, flattened groups and the
// options the list's value selects.
class XhtmlFieldWriter {
public:
    XhtmlFieldWriter(WmlTokenizer& tokens, XhtmlText::PageBuffer& page)
        : m_tokens(tokens)
        , m_page(page) {}

    // Each writes the element at the tokenizer, up to its end tag.
    void WriteInput();
    void WriteSelect();

private:
    void appendAttributeIfSet(QByteArrayView name, QByteArrayView escaped);
    void writeOptions(bool inGroup);
    void writeOption();

    WmlTokenizer& m_tokens;
    XhtmlText::PageBuffer& m_page;
    QList<QByteArray> m_preselected;
};
