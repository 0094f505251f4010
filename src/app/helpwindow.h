#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

class QWidget;

/// The help window: the help document rendered like a note's preview. At most one window
/// exists; asking for help again brings it back to the front, also after it was closed.
class HelpWindowController : public QObject
{
    Q_OBJECT

public:
    static inline const QString windowTitle = QStringLiteral("Quillmereヘルプ");
    static inline const QString fallbackText = QStringLiteral(
        "# Quillmereヘルプ\n\nヘルプ本文を読み込めませんでした。アプリをビルドし直してください。");

    using QObject::QObject;
    ~HelpWindowController() override;

    /// Shows the window, creating it on first use. Escape and Ctrl+W close it.
    void showHelp();
    QWidget *window() const { return m_window; }

    /// The help document: the copy compiled in, else the installed copy (installedHelpPath),
    /// else a copy in the source tree above the program, else the fallback text. An empty
    /// document counts as missing.
    static QString helpText(const QString &resourcePath = QStringLiteral(":/help/detail.md"),
                            const QString &installedPath = installedHelpPath());
    /// The window's frame on a screen whose free area is `available`: 720 × 640 where that fits
    /// with room for the title bar, smaller where it does not, centred in the area.
    static QRect windowGeometry(const QRect &available);

    /// Where `cmake --install` puts the help document, found from the program's own folder
    /// (share/quillmere/help/detail.md beside bin/).
    static QString installedHelpPath();

private:
    QPointer<QWidget> m_window;
};
