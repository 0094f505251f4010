#pragma once

#include "history/historyversion.h"
#include "history/textdiff.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QTextCharFormat>
#include <QWidget>

#include <functional>
#include <optional>

class HistoryRecorder;
class QLabel;
class QListWidget;
class QPushButton;
class QTextBrowser;
class QTextDocument;

/// How added and removed text is shown on `base`: in colours that keep the text contrast
/// against it, and underlined or struck through, so that they are told apart without colour.
struct DifferenceStyle
{
    QTextCharFormat added;
    QTextCharFormat removed;

    static DifferenceStyle forBackground(const QColor &base);
    /// Fills `document` with `runs` in this style.
    void render(QTextDocument &document, const QList<DiffRun> &runs) const;
};

/// The side pane's 「履歴」: the open note's versions, newest first (time, what happened, how
/// much changed); choosing one shows how it differs from the editor's text now, and offers to
/// bring it back into the editor or beside the note as another note.
class HistoryPane : public QWidget
{
    Q_OBJECT

public:
    static inline const QString restoreTitle = QStringLiteral("この版に戻す");
    static inline const QString restoreAsNoteTitle = QStringLiteral("別のノートとして復元");

    HistoryPane(HistoryRecorder &recorder, QWidget *parent = nullptr);

    /// The note whose history is shown; empty for none.
    void setNote(const QString &path);
    const QString &note() const { return m_path; }
    /// Where the editor's text now comes from, to compare a version with.
    void setCurrentText(std::function<QString()> current) { m_current = std::move(current); }
    /// Asks for the versions again.
    void refresh();

    QListWidget *versionList() const { return m_list; }
    QTextBrowser *differenceView() const { return m_difference; }
    QPushButton *restoreButton() const { return m_restore; }
    QPushButton *restoreAsNoteButton() const { return m_restoreAsNote; }
    const QList<HistoryVersion> &versions() const { return m_versions; }

Q_SIGNALS:
    /// 「この版に戻す」: the body of the chosen version goes into the editor.
    void restoreRequested(const QString &body);
    /// 「別のノートとして復元」: the chosen version's bytes, written beside the note.
    void restoreAsNoteRequested(const QByteArray &bytes, const QDateTime &time);

protected:
    void changeEvent(QEvent *event) override;

private:
    void showVersions(const QList<HistoryVersion> &versions);
    void choose(int row);
    void showDifference();

    HistoryRecorder &m_recorder;
    QString m_path;
    QList<HistoryVersion> m_versions;
    std::optional<QByteArray> m_chosen;
    std::function<QString()> m_current;
    /// Answers to earlier requests, come late, are dropped.
    int m_request = 0;

    QLabel *m_message = nullptr;
    QListWidget *m_list = nullptr;
    QTextBrowser *m_difference = nullptr;
    QPushButton *m_restore = nullptr;
    QPushButton *m_restoreAsNote = nullptr;
};
