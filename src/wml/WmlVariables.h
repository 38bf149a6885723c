#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <utility>
#include <vector>

// WML's variable references in the texts and links of a rendered deck, for a
// browser that has no WML variables: "$$" is a dollar, "$(name)", "$name" and
// "$(name:conversion)" are references.
namespace WmlVariables {

// The text with every "$$" made "$" and every reference replaced by the
// value of a variable that was never set: nothing.
QString Resolve(QStringView text);

// Whether the text holds a reference.
bool HasReference(QStringView text);

// The name of the variable when the whole text is one reference, else empty.
QString WholeReference(QStringView text);

// A link whose query fills parameters from fields of the page, as an HTML
// form sent with GET: the address without its query, the query's fixed
// parameters (decoded, to travel as hidden fields) and the names of the
// fields that the query reads as "name=$(name)".
struct FormTarget {
    QString action;
    std::vector<std::pair<QString, QString>> hiddenFields;
    QStringList fields;
};

// The form for the link, given the names of the page's fields; its fields
// stay empty when the link reads none of them.
FormTarget FormFor(QStringView reference, const QStringList& pageFields);

} // namespace WmlVariables
