#include "base/FolderPaths.h"

namespace FolderPaths {

bool IsWithinFolder(const QByteArray& canonicalPath, const QByteArray& canonicalFolder) {
    if (canonicalPath.isEmpty() || canonicalFolder.isEmpty())
        return false;
    if (!canonicalPath.startsWith(canonicalFolder))
        return false;
    return canonicalPath.size() == canonicalFolder.size() || canonicalFolder.endsWith('/') ||
           canonicalPath.at(canonicalFolder.size()) == '/';
}

} // namespace FolderPaths
