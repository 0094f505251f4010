#include "app/quillmereapp.h"
#include "app/singleinstance.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillmere"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.quillmere.Quillmere"));

    // A second start brings the running window forward instead of opening another one on
    // the same notes.
    SingleInstance instance(QDBusConnection::sessionBus());
    if (instance.claim() == SingleInstance::Role::handedOver)
        return 0;

    QuillmereApp app;
    QObject::connect(&instance, &SingleInstance::activationRequested, &app,
                     &QuillmereApp::showWindow);
    return app.run();
}
