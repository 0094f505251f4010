#include "preview/previewaccessible.h"

#include "platform/accessibleclicks.h"
#include "preview/markdownpreviewview.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QWindow>

namespace {

MarkdownPreviewView *previewOf(QWidget *viewport)
{
    return viewport ? qobject_cast<MarkdownPreviewView *>(viewport->parentWidget()) : nullptr;
}

/// One checkbox, link or picture on screen. It stays valid until the preview's elements change
/// (new text, scrolling, a new layout); the viewport's interface then hands out fresh ones.
class PreviewElementAccessible : public AccessibleActionItem
{
public:
    PreviewElementAccessible(QWidget *viewport, int index, quint64 generation)
        : m_viewport(viewport), m_index(index), m_generation(generation)
    {
    }

    bool isValid() const override { return element().has_value(); }
    QWindow *window() const override
    {
        return m_viewport ? m_viewport->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_viewport.data());
    }

    QString text(QAccessible::Text t) const override
    {
        const auto e = element();
        if (!e)
            return {};
        if (t == QAccessible::Name)
            return e->name;
        if (isImage(*e))
            return {};
        if (t == QAccessible::Description && e->missing)
            return MarkdownPreviewView::missingLinkHelp;
        if (t == QAccessible::Description || t == QAccessible::Help)
            return isCheckbox(*e) ? MarkdownPreviewView::checkboxHelp : e->url;
        if (t == QAccessible::Value && !isCheckbox(*e))
            return e->url;
        return {};
    }

    QRect rect() const override
    {
        const auto e = element();
        if (!e || !m_viewport)
            return {};
        const QRect local = e->rect.toAlignedRect();
        return QRect(m_viewport->mapToGlobal(local.topLeft()), local.size());
    }

    QAccessible::Role role() const override
    {
        const auto e = element();
        if (e && isImage(*e))
            return QAccessible::Graphic;
        return e && isCheckbox(*e) ? QAccessible::CheckBox : QAccessible::Link;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        const auto e = element();
        if (!e) {
            s.invalid = true;
            return s;
        }
        if (isImage(*e)) {
            s.readOnly = true;
            return s;
        }
        s.focusable = true;
        if (isCheckbox(*e)) {
            s.checkable = true;
            s.checked = e->checked;
        } else {
            s.linked = true;
        }
        return s;
    }

    QStringList actionNames() const override
    {
        const auto e = element();
        if (!e || isImage(*e))
            return {};
        if (isCheckbox(*e))
            return {toggleAction(), pressAction()};
        return {pressAction()};
    }
    void doAction(const QString &actionName) override
    {
        const auto e = element();
        MarkdownPreviewView *view = previewOf(m_viewport);
        if (e && view && actionNames().contains(actionName))
            view->activateElement(*e);
    }

private:
    static bool isCheckbox(const PreviewDocument::Element &e)
    {
        return e.type == PreviewDocument::Element::Type::checkbox;
    }
    static bool isImage(const PreviewDocument::Element &e)
    {
        return e.type == PreviewDocument::Element::Type::image;
    }

    std::optional<PreviewDocument::Element> element() const
    {
        MarkdownPreviewView *view = previewOf(m_viewport);
        if (!view || view->elementsGeneration() != m_generation)
            return std::nullopt;
        const auto elements = view->visibleElements();
        if (m_index < 0 || m_index >= elements.size())
            return std::nullopt;
        return elements[m_index];
    }

    QPointer<QWidget> m_viewport;
    int m_index;
    quint64 m_generation;
};

class PreviewViewportAccessible : public QAccessibleWidget
{
public:
    explicit PreviewViewportAccessible(QWidget *viewport)
        : QAccessibleWidget(viewport, QAccessible::Document)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return MarkdownPreviewView::placeholderText;
        return QAccessibleWidget::text(t);
    }

    int childCount() const override
    {
        MarkdownPreviewView *view = previewOf(widget());
        return view ? int(view->visibleElements().size()) : 0;
    }

    QAccessibleInterface *child(int index) const override
    {
        MarkdownPreviewView *view = previewOf(widget());
        if (!view || index < 0 || index >= childCount())
            return nullptr;
        if (view->elementsGeneration() != m_generation) {
            dropChildren();
            m_generation = view->elementsGeneration();
        }
        auto it = m_children.constFind(index);
        if (it != m_children.constEnd())
            return QAccessible::accessibleInterface(*it);
        auto *child = new PreviewElementAccessible(widget(), index, m_generation);
        m_children.insert(index, QAccessible::registerAccessibleInterface(child));
        return child;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = m_children.constBegin(); it != m_children.constEnd(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key();
        }
        return -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i) {
            QAccessibleInterface *c = child(i);
            if (c && c->rect().contains(x, y))
                return c;
        }
        return nullptr;
    }

private:
    void dropChildren() const
    {
        for (const QAccessible::Id id : std::as_const(m_children))
            QAccessible::deleteAccessibleInterface(id);
        m_children.clear();
    }

    mutable QHash<int, QAccessible::Id> m_children;
    mutable quint64 m_generation = 0;
};

QAccessibleInterface *previewAccessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("PreviewViewport") && object && object->isWidgetType())
        return new PreviewViewportAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

void installPreviewAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(previewAccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
