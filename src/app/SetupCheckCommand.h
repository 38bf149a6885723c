#pragma once

#include "net/Reachability.h"

struct CommandLineOptions;

// The reachability settings the command line asks for.
Reachability::Options ReachabilityOptions(const CommandLineOptions& options);

// --check-setup: the LAN test, the public-address lookup and the setup check,
// without serving; prints each question with its answer on one line to
// stdout (log lines go to stderr) and returns the exit code: 0 when phones
// on the internet can reach this PC, 1 when they cannot or it is not known.
int RunSetupCheck(const CommandLineOptions& options);
