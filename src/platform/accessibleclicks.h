#pragma once

#include <QAccessibleActionInterface>
#include <QAccessibleInterface>

class QAbstractItemView;

/// An accessible item without children and without an object of its own (a list row, a link
/// painted in a view), offering actions: subclasses give its parent, text, place, state and
/// actions.
class AccessibleActionItem : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    QObject *object() const override { return nullptr; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString &) override {}
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface *>(this);
        return nullptr;
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
};

/// Accessibility actions that act as a click.
///
/// Qt's own interfaces answer an assistive technology's "Toggle" on a checkable button with
/// QAbstractButton::toggle(), which never emits `clicked`, and answer "Toggle" on a list row by
/// selecting it, which opens nothing; such a row has no "Press" at all. A screen reader or a
/// voice control (AT-SPI's DoAction) would then leave the application where a click would have
/// moved it. The interfaces registered here make both actions a click, so every control reacts
/// to them through the same connections as to the mouse.
namespace AccessibleClicks {

/// Registers the interfaces; once per process, after the QApplication exists, and before the
/// buttons are made. From then on every button clicks on "Toggle" (offered while it is
/// checkable) and "Press", and opens its menu on "ShowMenu" (and on "Press" where a click would);
/// Qt's own tool button interface leaves a menu that pops up at once closed. A checkable button
/// of an exclusive group reads as a radio button.
void install();

/// Gives the rows of `view` (a QListView or a subclass such as QListWidget) the actions "Press"
/// and "Toggle", each making the row current as a mouse press does and emitting `pressed` and
/// `clicked` for it. Also installs the interfaces; call it where the view is made.
void activateRowsOnAction(QAbstractItemView *view);

} // namespace AccessibleClicks
