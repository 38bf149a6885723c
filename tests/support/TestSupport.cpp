#include "support/TestSupport.h"

namespace TestSupport {
QString sourceDir() {
    return QStringLiteral(POCKETLANE_SOURCE_DIR);
}

QString programPath() {
    return QStringLiteral(POCKETLANE_BINARY);
}
} // namespace TestSupport
