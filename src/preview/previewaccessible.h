#pragma once

#include <QWidget>

/// The preview's drawing surface. Its accessibility interface lists the checkboxes and links on
/// screen as check boxes and links with names, states and press actions, since they are painted
/// rather than widgets of their own.
class PreviewViewport : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;
};

/// Registers the accessibility interfaces of the preview (once per process).
void installPreviewAccessibility();
