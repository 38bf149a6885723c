#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <string>

// Letter case of names as the file system stores them (bytes, UTF-8 where
// they are valid).
namespace TextCasing {

// The first letter of every blank-separated word in title case, every other
// letter in lower case, by Unicode's case mapping. Bytes that are not UTF-8
// stay as they are.
QByteArray ProperCase(const QByteArray& name);

// A key that orders names case-insensitively when compared byte by byte: the
// name with every character case-folded (as UTF-8); bytes that are not UTF-8
// are kept as they are, so that such names sort deterministically too.
void AppendNameSortKey(QByteArrayView name, std::string& key);

} // namespace TextCasing
