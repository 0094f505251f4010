#include "app/quillmereapp.h"
#include "calendar/bundledholidays.h"
#include "cli/cli.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // A command (or --help, --version) is answered on the terminal: no display, no window.
    if (Cli::isCommandLine(argc, argv)) {
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Quillmere"));
        return Cli::run(QCoreApplication::arguments());
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillmere"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.quillmere.Quillmere"));

    // A default base folder created on first start gets the shipped holiday table.
    BundledHolidays::installDefaultFolderHandler();
    QuillmereApp app;
    return app.run();
}
