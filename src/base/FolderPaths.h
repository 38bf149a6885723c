#pragma once

#include <QByteArray>

namespace FolderPaths {

// Whether a path is the folder itself or lies below it, comparing whole path
// components exactly, letter case included ("/a/music" is not inside
// "/a/mus"). Both are taken as written: pass canonical paths to compare
// where links lead.
bool IsWithinFolder(const QByteArray& canonicalPath, const QByteArray& canonicalFolder);

} // namespace FolderPaths
