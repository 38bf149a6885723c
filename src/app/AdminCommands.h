#pragma once

#include "app/AdminTarget.h"

#include <QString>
#include <QStringList>

class QCommandLineParser;
class QTextStream;

// Administration from the command line, for a machine without a display:
//   --settings FILE      use this settings file
//   --set NAME=VALUE     set an option (repeatable; a switch takes Y or N)
//   --show-settings      print every option and the shared folders
//   --share PATH         share a folder (repeatable)
//   --unshare PATH       stop sharing a folder (repeatable)
//   --graffiti           print the Graffiti board, one message a line
// The commands go through the same settings operations as the window, with
// the same log lines, and the program exits after them. When a program runs
// on the same settings file, the commands go to it (AdminServer), which
// applies them at once; otherwise they edit the file under its lock, so that
// commands run at the same time never lose each other's changes.

void addAdminOptions(QCommandLineParser& parser);

// The --settings value (empty when not given), for the server's own start.
QString settingsOptionValue(const QCommandLineParser& parser);

// Whether the command line asks for an administration command.
bool wantsAdminCommand(const QCommandLineParser& parser);

// Runs the commands: first every --set, then --unshare, then --share, then
// --show-settings, then --graffiti. Results go to `out`, refusals and log lines to `err`.
// Returns the exit code: 0 when everything was done, 1 when something was
// refused or could not be saved (or the running program did not answer), 2
// when a --set names an option or value outside the table (then nothing is
// changed).
int runAdminCommands(const QCommandLineParser& parser, QTextStream& out, QTextStream& err);

// Runs the administration arguments (without the program name; folder paths
// absolute) on the target, as runAdminCommands describes; the lines logged
// meanwhile go to `err` too.
int executeAdminCommands(const QStringList& arguments, const AdminTarget& target, QTextStream& out,
                         QTextStream& err);
