#pragma once

struct CliArguments;
class CliOutput;

/// The commands about links between notes and tags. NOTE operands are paths below the base
/// folder or absolute paths inside it.
namespace CliLinks {

/// links NOTE: each link of the note, what it resolves to (found, missing, ambiguous).
int links(const CliArguments &arguments, CliOutput &output);

/// backlinks NOTE: the notes linking to it, newest first, with the line of each link.
int backlinks(const CliArguments &arguments, CliOutput &output);

/// tags: every tag with its count; tags TAG: the notes carrying it.
int tags(const CliArguments &arguments, CliOutput &output);

/// rename OLD NEW: renames or moves a note and updates the links to it (not with --no-links).
/// NEW without a folder part stays in OLD's folder; without an extension it keeps OLD's.
int rename(const CliArguments &arguments, CliOutput &output);

} // namespace CliLinks
