#pragma once

#include <QByteArray>

/// Starting the window from the command-line program: `quillmere` without a command becomes
/// the window's program, which is installed beside it.
namespace WindowLauncher {

/// The window program's file name.
inline constexpr char programName[] = "quillmere-window";

/// The window program beside the running executable (links resolved), or an empty array when
/// the executable's own path cannot be read.
QByteArray windowProgramPath();

/// Replaces this process with the window program, giving it the same arguments. Returns only
/// when that fails, after one Japanese line on standard error, with the status 127 (a shell's
/// "program not found").
int replaceWithWindow(int argc, char *argv[]);

} // namespace WindowLauncher
