#pragma once

struct CliArguments;
class CliOutput;

/// The commands, each on the base folder PathManager gives. Each returns its exit status
/// (Cli::ExitCode) and reports its own errors through the output.
namespace CliCommands {

/// The global search's hits in the page's order: match count, path below the base folder and
/// snippet. --remember adds the keyword to the page's history.
int search(const CliArguments &arguments, CliOutput &output);

/// The search index's state (notes, bytes, path, whether it is complete); --rebuild builds it
/// again first.
int index(const CliArguments &arguments, CliOutput &output);

/// today and memo DATE: the daily memo's path; --append adds a line and saves the memo as the
/// editor does, --print adds the body.
int memo(const CliArguments &arguments, CliOutput &output);

/// new [FOLDER/]NAME: a note created as the note list's "+" creates it.
int newNote(const CliArguments &arguments, CliOutput &output);

/// open [QUERY]: the quick-open palette's list.
int open(const CliArguments &arguments, CliOutput &output);

/// holidays [YEAR]: the holidays the calendar shows in that year.
int holidays(const CliArguments &arguments, CliOutput &output);

} // namespace CliCommands
