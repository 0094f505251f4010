#include "app/windowframekeeper.h"

#include "app/windowframe.h"
#include "storage/settings.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

QList<WindowFrame::ScreenInfo> attachedScreens()
{
    QList<WindowFrame::ScreenInfo> screens;
    for (QScreen *screen : QGuiApplication::screens()) {
        screens.append({WindowFrame::screenIdentifier(screen->name(), screen->geometry().topLeft()),
                        screen->geometry(), screen->availableGeometry()});
    }
    return screens;
}

} // namespace

WindowFrameKeeper::WindowFrameKeeper(QWidget *window) : QObject(window), m_window(window)
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(250);
    connect(&m_saveTimer, &QTimer::timeout, this, &WindowFrameKeeper::saveWindowFrame);
}

bool WindowFrameKeeper::restoreWindowPosition()
{
    if (!m_recording) {
        m_window->installEventFilter(this);
        m_recording = true;
    }
    const Settings &settings = Settings::instance();
    const std::optional<QRect> frame = settings.windowFrame();
    if (!frame)
        return false;
    const QList<WindowFrame::ScreenInfo> screens = attachedScreens();
    const int primary = int(QGuiApplication::screens().indexOf(QGuiApplication::primaryScreen()));
    const int chosen = WindowFrame::chooseScreen(*frame, settings.windowScreen(), screens, primary);
    const QRect target =
        chosen >= 0 ? WindowFrame::fitIntoVisibleArea(*frame, screens[chosen].availableGeometry)
                    : *frame;
    m_window->resize(target.size());
    m_window->move(target.topLeft());
    m_restored = true;
    return true;
}

void WindowFrameKeeper::saveWindowFrame()
{
    m_saveTimer.stop();
    Settings &settings = Settings::instance();
    settings.setWindowFrame(QRect(m_window->pos(), m_window->size()));
    if (QScreen *screen = m_window->screen()) {
        settings.setWindowScreen(
            WindowFrame::screenIdentifier(screen->name(), screen->geometry().topLeft()));
    }
}

bool WindowFrameKeeper::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        m_window->isVisible())
        m_saveTimer.start();
    return QObject::eventFilter(watched, event);
}
