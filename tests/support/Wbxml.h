#pragma once

#include <QByteArray>

// Kannel's WML compiler moves repeated words of a deck into the WBXML string
// table; its decompiler leaves such references out of the text it prints.
namespace Wbxml {
// The same document with every string-table reference (STR_T) replaced by
// the inline string it names (STR_I); the document as it was if it cannot
// be read.
QByteArray inlineStringReferences(const QByteArray& document);
} // namespace Wbxml
