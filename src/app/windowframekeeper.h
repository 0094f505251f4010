#pragma once

#include <QObject>
#include <QTimer>

class QWidget;

/// Puts the main window back where it was last time, on the same screen when that screen is
/// still attached and always inside a screen's visible area, and records the frame whenever
/// the window moves or is resized.
class WindowFrameKeeper : public QObject
{
    Q_OBJECT

public:
    explicit WindowFrameKeeper(QWidget *window);

    /// Applies the stored frame, if any; returns whether one was applied. Starts recording.
    bool restoreWindowPosition();
    bool hasRestoredWindowPosition() const { return m_restored; }
    /// Writes the window's frame and screen now.
    void saveWindowFrame();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    bool m_restored = false;
    bool m_recording = false;
    // A drag moves the window many times a second; the settings file is written once it rests.
    QTimer m_saveTimer;
};
