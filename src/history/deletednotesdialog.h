#pragma once

#include "history/historyversion.h"

#include <QDialog>
#include <QList>

class HistoryRecorder;
class QLabel;
class QPushButton;
class QTreeWidget;

/// 「削除したノート」: the notes of this base folder that are gone (deleted here or by another
/// program) and that the history knows, with their folder, when they went and their first line.
/// 「元の場所に戻す」 writes the chosen one back where it was, under a numbered name when that
/// place is taken.
class DeletedNotesDialog : public QDialog
{
    Q_OBJECT

public:
    static inline const QString title = QStringLiteral("削除したノート");
    static inline const QString restoreTitle = QStringLiteral("元の場所に戻す");

    DeletedNotesDialog(HistoryRecorder &recorder, QWidget *parent = nullptr);

    /// Asks for the list again.
    void refresh();
    /// Writes the note of `row` back (restored() tells where), or shows why it could not.
    void restoreRow(int row);

    QTreeWidget *noteList() const { return m_list; }
    const QList<DeletedNote> &notes() const { return m_notes; }

Q_SIGNALS:
    /// A note was written back at `path`.
    void restored(const QString &path);
    /// The list came.
    void listed();

private:
    HistoryRecorder &m_recorder;
    QList<DeletedNote> m_notes;
    QTreeWidget *m_list = nullptr;
    QLabel *m_message = nullptr;
    QPushButton *m_restore = nullptr;
};
