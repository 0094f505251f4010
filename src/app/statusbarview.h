#pragma once

#include "editor/editorlivestate.h"

#include <QDateTime>
#include <QWidget>

class QLabel;

/// The one-line bar at the bottom of the window: the open file's path, the base folder, the
/// file's modification time and the caret position.
class StatusBarView : public QWidget
{
    Q_OBJECT

public:
    StatusBarView(EditorLiveState &live, QWidget *parent = nullptr);

    void setFilePath(const QString &path);
    void setBaseFolderPath(const QString &path);
    /// An invalid date hides the modification time.
    void setModificationDate(const QDateTime &date);
    /// A notice about the open file that stays until it is replaced or cleared (empty hides
    /// it): a save waiting for another program, a file written back or closed. `alert` shows it
    /// in the failure colour.
    void setNotice(const QString &text, bool alert = false);
    QString notice() const;
    /// What the note index is doing ("索引を作成中… 12,345 / 50,000") or why searches scan;
    /// empty hides it.
    void setIndexState(const QString &text);
    QString indexState() const;

    /// "2026年12月4日(金) 9:05:07" in the current time zone.
    static QString formatModificationDate(const QDateTime &date);
    /// "行 3, 列 5  ・  選択 3 文字  ・  全 120 文字" (the selection piece only with a selection).
    static QString cursorText(const EditorCursorInfo &info);

protected:
    void changeEvent(QEvent *event) override;

private:
    void showCursor(const EditorCursorInfo &info);
    void refreshNoticeColor();
    QLabel *addPiece();

    QLabel *m_notice = nullptr;
    QLabel *m_index = nullptr;
    bool m_noticeIsAlert = false;
    QLabel *m_file = nullptr;
    QLabel *m_base = nullptr;
    QLabel *m_date = nullptr;
    QLabel *m_cursor = nullptr;
};
