#pragma once

#include <QString>

// Paths the tests share: the source tree and the built program.
namespace TestSupport {
QString sourceDir();
QString programPath();
} // namespace TestSupport
