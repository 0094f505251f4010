#pragma once

struct CliArguments;
class CliOutput;
class HistoryRecorder;

/// The commands on the notes' history: `history NOTE [--show ID]`, `history --deleted`,
/// `restore NOTE ID`. A note is named by its path below the base folder (as search lists it),
/// or by an absolute path; a deleted note by the path it had.
namespace CliHistory {

int history(const CliArguments &arguments, CliOutput &output, HistoryRecorder &recorder);

/// Brings version ID back: into the note through the same checked, merging save as every
/// other, or, when the note is gone, as a new file at its place (a numbered name when taken).
int restore(const CliArguments &arguments, CliOutput &output, HistoryRecorder &recorder);

} // namespace CliHistory
