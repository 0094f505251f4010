#include "app/quillmereapp.h"
#include "calendar/bundledholidays.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillmere"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.quillmere.Quillmere"));

    // A default base folder created on first start gets the shipped holiday table.
    BundledHolidays::installDefaultFolderHandler();
    QuillmereApp app;
    return app.run();
}
