#pragma once

#include <QWidget>

/// The preview's drawing surface. Its accessibility interface lists the checkboxes, links and
/// pictures on screen as check boxes and links with names, states and press actions, and as
/// images named by their description (a box that stands in for a picture by its reason too),
/// since they are painted rather than widgets of their own.
class PreviewViewport : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;
};

/// Registers the accessibility interfaces of the preview (once per process).
void installPreviewAccessibility();
