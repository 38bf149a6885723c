#pragma once

// Raises the process's soft limit on open files to its hard limit, so that
// every connection a busy server holds gets a descriptor. Returns the soft
// limit in force afterwards.
long long RaiseOpenFileLimit();
