#include "cli/cli.h"
#include "cli/windowlauncher.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // Without a command the window answers. It lives in a program of its own, so that a command
    // never pays for loading a window system it does not use.
    if (!Cli::isCommandLine(argc, argv))
        return WindowLauncher::replaceWithWindow(argc, argv);

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillmere"));
    return Cli::run(QCoreApplication::arguments());
}
