#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <span>
#include <utility>
#include <vector>

// WML's variable references in the texts and links of a rendered deck, for a
// browser that has no WML variables: "$$" is a dollar, "$(name)", "$name" and
// "$(name:conversion)" are references. Texts are UTF-8; names are ASCII, so
// the bytes are read as they stand.
namespace WmlVariables {

// The text with every "$$" made "$" and every reference replaced by the
// value of a variable that was never set: nothing.
QByteArray Resolve(QByteArrayView text);

// Whether the text holds a reference.
bool HasReference(QByteArrayView text);

// The name of the variable when the whole text is one reference, else empty.
QByteArrayView WholeReference(QByteArrayView text);

// A link whose query fills parameters from fields of the page, as an HTML
// form sent with GET: the address without its query, the query's fixed
// parameters (decoded, to travel as hidden fields) and how many parameters
// the query fills from fields of the page as "name=$(name)".
struct FormTarget {
    QByteArray action;
    std::vector<std::pair<QByteArray, QByteArray>> hiddenFields;
    int fieldsRead = 0;
};

// The form for the link, given the names of the page's fields; it reads no
// fields when the link reads none of them.
FormTarget FormFor(QByteArrayView reference, std::span<const QByteArray> pageFields);

} // namespace WmlVariables
