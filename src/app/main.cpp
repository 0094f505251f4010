#include "app/quillmereapp.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillmere"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.quillmere.Quillmere"));

    QuillmereApp app;
    return app.run();
}
