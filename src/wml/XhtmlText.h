#pragma once

#include "wml/XhtmlPageBuffer.h"

#include <QByteArray>
#include <QByteArrayView>

// Texts of a WML deck, escaped as the deck holds them, written into an XHTML
// page: the escaping stays, WML's variables go (a browser has none), and
// the two entities that only WML declares become their characters.
namespace XhtmlText {

// The text of a page being written.
using PageBuffer = XhtmlPageBuffer;

// Appends the escaped text with every "$$" made "$", every variable
// reference ("$(name)", "$name", "$(name:conversion)") left out, and
// "&nbsp;" and "&shy;" written as the characters they stand for.
void AppendResolved(PageBuffer& out, QByteArrayView escaped);

// The text decoded (entities replaced by their characters), in UTF-8.
QByteArray Unescaped(QByteArrayView escaped);

// Whether the escaped text holds a variable reference.
bool HasReference(QByteArrayView escaped);

// Appends ` name="value"`, the value resolved.
void AppendResolvedAttribute(PageBuffer& out, QByteArrayView name, QByteArrayView escaped);
// Appends ` name="value"`, the value escaped here.
void AppendAttribute(PageBuffer& out, QByteArrayView name, QByteArrayView value);

// Appends `<tag>`, or `<tag class="className">` when a class is given.
void AppendStartTag(PageBuffer& out, QByteArrayView tag, QByteArrayView className);

// Whether the id is an XML name without a colon, as element ids must be.
bool IsXmlId(QByteArrayView id);

} // namespace XhtmlText
