#pragma once

#include <QList>
#include <QRect>
#include <QString>

#include <optional>

/// Where the main window goes: the stored frame and screen, and the rules that bring a stored
/// frame back onto a screen that may have changed since. Pure logic over rectangles, so the
/// rules are tested without real screens. Coordinates are Qt's (origin at the top left).
namespace WindowFrame {

/// A screen as the rules see it.
struct ScreenInfo
{
    QString identifier;
    QRect geometry;
    QRect availableGeometry;
};

/// "screen_" plus the screen's name, or plus its origin ("screen_0.0_0.0") when it has none.
QString screenIdentifier(const QString &name, const QPoint &origin);

/// The screen holding the frame's centre, else the one whose centre is nearest to it (the
/// earlier one on a tie); -1 without screens.
int screenForFrame(const QRect &frame, const QList<ScreenInfo> &screens);

/// Index of the screen to restore on: the stored identifier's screen, else screenForFrame,
/// else `primary`, else the first; -1 without screens.
int chooseScreen(const QRect &frame, const QString &storedIdentifier,
                 const QList<ScreenInfo> &screens, int primary);

/// Moves (never resizes) a frame into the visible area: onto it when it lies wholly outside,
/// then right, top, left and bottom edges in that order. A frame taller than the area keeps
/// its top edge (and with it the title bar) inside the area.
QRect fitIntoVisibleArea(QRect frame, const QRect &visible);

} // namespace WindowFrame
