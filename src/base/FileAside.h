#pragma once

#include <QString>

namespace FileAside {

// Renames a file that cannot be used to "<path>.unreadable-<date>-<time>"
// (with "-2", "-3", ... when that name is taken), so that its owner can
// recover it and a new file can start in its place. Nothing is ever
// overwritten. Returns the new name, or an empty text when the file could
// not be renamed.
QString KeepAside(const QString& path);

} // namespace FileAside
