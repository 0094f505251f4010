#include "platform/accessibleclicks.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QButtonGroup>
#include <QCheckBox>
#include <QHash>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QWindow>

namespace AccessibleClicks {
namespace {

constexpr char rowActivationProperty[] = "quillmereRowsClickOnAction";

// "&Save" reads "Save", "A && B" reads "A & B", as Qt's own buttons are read.
QString withoutMnemonic(const QString &text)
{
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        plain.append(text[i]);
    }
    return plain;
}

/// A button, read as Qt reads it, acting as the mouse does: "Toggle" and "Press" click it (or
/// open its menu where a click would), "ShowMenu" opens its menu. Whether it is checkable or
/// has a menu is asked anew each time, since the interface is often made before the button is
/// set up.
class ClickableButtonAccessible : public QAccessibleWidget
{
public:
    explicit ClickableButtonAccessible(QAbstractButton *button)
        : QAccessibleWidget(button, QAccessible::Button)
    {
        addControllingSignal(QStringLiteral("clicked(bool)"));
    }

    QAccessible::Role role() const override
    {
        const QAbstractButton *b = button();
        const auto *tool = qobject_cast<const QToolButton *>(b);
        if (menu()) {
            return tool && tool->popupMode() == QToolButton::DelayedPopup
                       ? QAccessible::ButtonDropDown
                       : QAccessible::ButtonMenu;
        }
        if (!b->isCheckable())
            return tool ? QAccessible::PushButton : QAccessible::Button;
        // One of a group where exactly one is on reads as a radio button, as it behaves.
        const bool exclusive = b->autoExclusive() || (b->group() && b->group()->exclusive());
        return exclusive ? QAccessible::RadioButton : QAccessible::CheckBox;
    }

    QString text(QAccessible::Text t) const override
    {
        QString value;
        if (t == QAccessible::Name) {
            value = widget()->accessibleName();
            if (value.isEmpty())
                value = withoutMnemonic(button()->text());
        } else if (t == QAccessible::Accelerator) {
            value = QKeySequence::mnemonic(button()->text()).toString(QKeySequence::NativeText);
        }
        return value.isEmpty() ? QAccessibleWidget::text(t) : value;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        const QAbstractButton *b = button();
        s.checkable = b->isCheckable();
        s.checked = b->isChecked();
        if (const auto *box = qobject_cast<const QCheckBox *>(b))
            s.checkStateMixed = box->checkState() == Qt::PartiallyChecked;
        s.pressed = b->isDown();
        if (const auto *push = qobject_cast<const QPushButton *>(b))
            s.defaultButton = push->isDefault();
        s.hasPopup = menu() != nullptr;
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (widget()->isEnabled()) {
            if (menu())
                names << showMenuAction();
            if (button()->isCheckable())
                names << toggleAction();
            names << pressAction();
        }
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &actionName) override
    {
        const bool known = actionName == showMenuAction() || actionName == pressAction() ||
                           actionName == toggleAction();
        if (!known) {
            QAccessibleWidget::doAction(actionName);
            return;
        }
        if (!widget()->isEnabled())
            return;
        if (actionName == showMenuAction() || (actionName == pressAction() && pressOpensMenu()))
            showMenu();
        else
            // click() rather than toggle(): `clicked` (and a group's idClicked) is what the
            // application listens to, as for the mouse.
            button()->click();
    }

private:
    QAbstractButton *button() const { return static_cast<QAbstractButton *>(widget()); }
    QMenu *menu() const
    {
        if (const auto *push = qobject_cast<const QPushButton *>(widget()))
            return push->menu();
        if (const auto *tool = qobject_cast<const QToolButton *>(widget()))
            return tool->menu();
        return nullptr;
    }
    // As for the mouse: a push button with a menu and a tool button that pops its menu at once
    // open it; other tool buttons run their own action and keep the menu for its arrow.
    bool pressOpensMenu() const
    {
        if (!menu())
            return false;
        const auto *tool = qobject_cast<const QToolButton *>(widget());
        return !tool || tool->popupMode() == QToolButton::InstantPopup;
    }
    void showMenu()
    {
        // Qt's own tool button interface ignores "ShowMenu" for a menu that pops up at once.
        if (auto *tool = qobject_cast<QToolButton *>(widget()))
            tool->showMenu();
        else if (auto *push = qobject_cast<QPushButton *>(widget()))
            push->showMenu();
    }
};

/// Makes `index` current as a mouse press does, then reports the click.
void clickRow(QAbstractItemView *view, const QModelIndex &index)
{
    if (!index.isValid() || !(index.flags() & Qt::ItemIsEnabled))
        return;
    view->setCurrentIndex(index);
    Q_EMIT view->pressed(index);
    Q_EMIT view->clicked(index);
}

/// One row of a list. It is the row at its position whatever the model holds there now, as a
/// list read aloud is; it turns invalid when the list gets shorter.
class ClickableRowAccessible : public AccessibleActionItem
{
public:
    ClickableRowAccessible(QListView *view, int row) : m_view(view), m_row(row) {}

    bool isValid() const override { return index().isValid(); }
    QWindow *window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_view.data());
    }

    QString text(QAccessible::Text t) const override
    {
        const QModelIndex i = index();
        if (!i.isValid())
            return {};
        if (t == QAccessible::Name) {
            const QString name = i.data(Qt::AccessibleTextRole).toString();
            return name.isEmpty() ? i.data(Qt::DisplayRole).toString() : name;
        }
        if (t == QAccessible::Description)
            return i.data(Qt::AccessibleDescriptionRole).toString();
        return {};
    }

    QRect rect() const override
    {
        const QModelIndex i = index();
        if (!i.isValid())
            return {};
        const QRect local = m_view->visualRect(i);
        if (local.isNull())
            return {};
        const QPoint topLeft = m_view->viewport()->mapToGlobal(local.topLeft());
        return QRect(topLeft, local.size());
    }

    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        const QModelIndex i = index();
        if (!i.isValid()) {
            s.invalid = true;
            return s;
        }
        const QRect shown(m_view->mapToGlobal(QPoint(0, 0)), m_view->size());
        s.invisible = !m_view->isVisible() || !shown.intersects(rect());
        const QItemSelectionModel *selection = m_view->selectionModel();
        s.selected = selection && selection->isSelected(i);
        // The current row has the keyboard only while its list has: otherwise every list's
        // current row would claim the one focus of the window.
        s.focused = selection && selection->currentIndex() == i && m_view->hasFocus();
        s.checked = i.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        s.disabled = !(i.flags() & Qt::ItemIsEnabled);
        if (i.flags() & Qt::ItemIsSelectable) {
            s.selectable = m_view->selectionMode() != QAbstractItemView::NoSelection;
            s.focusable = true;
        }
        return s;
    }

    QStringList actionNames() const override
    {
        if (!(index().flags() & Qt::ItemIsEnabled))
            return {};
        return {pressAction(), toggleAction()};
    }
    void doAction(const QString &actionName) override
    {
        if (actionName == pressAction() || actionName == toggleAction())
            clickRow(m_view, index());
    }

    const QListView *view() const { return m_view; }
    int row() const { return m_row; }

private:
    QModelIndex index() const
    {
        if (!m_view || !m_view->model())
            return {};
        return m_view->model()->index(m_row, m_view->modelColumn(), m_view->rootIndex());
    }

    QPointer<QListView> m_view;
    int m_row;
};

/// A list whose rows are ClickableRowAccessible, one per model row, made when first asked for.
class ClickableListAccessible : public QAccessibleWidget
{
public:
    explicit ClickableListAccessible(QListView *view) : QAccessibleWidget(view, QAccessible::List)
    {
    }
    ~ClickableListAccessible() override
    {
        for (const QAccessible::Id id : std::as_const(m_rows))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override
    {
        const QAbstractItemModel *model = view()->model();
        return model ? model->rowCount(view()->rootIndex()) : 0;
    }

    QAccessibleInterface *child(int row) const override
    {
        if (row < 0 || row >= childCount())
            return nullptr;
        const auto known = m_rows.constFind(row);
        if (known != m_rows.constEnd())
            return QAccessible::accessibleInterface(*known);
        auto *made = new ClickableRowAccessible(view(), row);
        m_rows.insert(row, QAccessible::registerAccessibleInterface(made));
        return made;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto *row = dynamic_cast<const ClickableRowAccessible *>(child);
        return row && row->view() == view() && row->row() < childCount() ? row->row() : -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QModelIndex at = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
        return at.isValid() ? child(at.row()) : nullptr;
    }

    QAccessibleInterface *focusChild() const override
    {
        const QModelIndex current = view()->currentIndex();
        return view()->hasFocus() && current.isValid() ? child(current.row()) : nullptr;
    }

private:
    QListView *view() const { return static_cast<QListView *>(widget()); }

    mutable QHash<int, QAccessible::Id> m_rows;
};

QAccessibleInterface *factory(const QString &, QObject *object)
{
    if (auto *list = qobject_cast<QListView *>(object);
        list && list->property(rowActivationProperty).toBool())
        return new ClickableListAccessible(list);
    if (auto *button = qobject_cast<QAbstractButton *>(object))
        return new ClickableButtonAccessible(button);
    return nullptr;
}

} // namespace

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

void activateRowsOnAction(QAbstractItemView *view)
{
    install();
    view->setProperty(rowActivationProperty, true);
    // An assistive technology that is running has had Qt's interface made already, when the
    // view was: it goes, and the next request makes the clickable one.
    QAccessibleInterface *existing = QAccessible::queryAccessibleInterface(view);
    if (existing && !dynamic_cast<ClickableListAccessible *>(existing))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(existing));
}

} // namespace AccessibleClicks
