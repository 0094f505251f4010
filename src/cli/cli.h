#pragma once

#include <QStringList>

/// The program's command-line face: `quillmere search|today|memo|new|open|holidays|history|
/// restore`, answered on the terminal without a window, from the same code the window uses.
namespace Cli {

/// Exit statuses.
enum ExitCode : int {
    success = 0,
    /// search, open and holidays found nothing; history and restore found no such version.
    nothingFound = 1,
    /// The command, an option or an argument is wrong; nothing was changed.
    usageError = 2,
    /// A file could not be read or written, or the output could not be written.
    fileError = 3,
};

/// Whether the program was started as a command rather than as the window: --help or
/// --version anywhere, or a first argument that is a word (a command, or a mistyped one that
/// deserves an error) or one of our own options. Anything else, such as Qt's "-platform", is
/// left to the window.
bool isCommandLine(int argc, const char *const *argv);

/// Runs the command in `arguments` (the program's name first) and returns the exit status.
/// Needs a QCoreApplication; results go to standard output, errors to standard error as one
/// Japanese line.
int run(const QStringList &arguments);

} // namespace Cli
