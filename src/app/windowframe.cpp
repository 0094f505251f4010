#include "app/windowframe.h"

#include <cmath>
#include <limits>

namespace WindowFrame {

namespace {

QString originNumber(int value)
{
    // Always with a fractional part, like "0.0" or "-1440.0".
    return QString::number(value) + QStringLiteral(".0");
}

} // namespace

QString screenIdentifier(const QString &name, const QPoint &origin)
{
    if (!name.isEmpty())
        return QStringLiteral("screen_") + name;
    return QStringLiteral("screen_") + originNumber(origin.x()) + QLatin1Char('_') +
           originNumber(origin.y());
}

int screenForFrame(const QRect &frame, const QList<ScreenInfo> &screens)
{
    const QPointF centre = QRectF(frame).center();
    for (int i = 0; i < screens.size(); ++i) {
        if (QRectF(screens[i].geometry).contains(centre))
            return i;
    }
    int nearest = -1;
    double nearestDistance = std::numeric_limits<double>::infinity();
    for (int i = 0; i < screens.size(); ++i) {
        const QPointF delta = QRectF(screens[i].geometry).center() - centre;
        const double distance = std::hypot(delta.x(), delta.y());
        if (distance < nearestDistance) {
            nearest = i;
            nearestDistance = distance;
        }
    }
    return nearest;
}

int chooseScreen(const QRect &frame, const QString &storedIdentifier,
                 const QList<ScreenInfo> &screens, int primary)
{
    if (!storedIdentifier.isEmpty()) {
        for (int i = 0; i < screens.size(); ++i) {
            if (screens[i].identifier == storedIdentifier)
                return i;
        }
    }
    if (const int byFrame = screenForFrame(frame, screens); byFrame >= 0)
        return byFrame;
    if (primary >= 0 && primary < screens.size())
        return primary;
    return screens.isEmpty() ? -1 : 0;
}

QRect fitIntoVisibleArea(QRect frame, const QRect &visible)
{
    if (!frame.intersects(visible))
        frame.moveTopLeft(visible.topLeft());
    if (frame.x() + frame.width() > visible.x() + visible.width())
        frame.moveLeft(visible.x() + visible.width() - frame.width());
    if (frame.y() < visible.y())
        frame.moveTop(visible.y());
    if (frame.x() < visible.x())
        frame.moveLeft(visible.x());
    if (frame.y() + frame.height() > visible.y() + visible.height())
        frame.moveTop(visible.y() + visible.height() - frame.height());
    // A window taller than the area would otherwise end with its title bar out of reach.
    if (frame.y() < visible.y())
        frame.moveTop(visible.y());
    return frame;
}

} // namespace WindowFrame
