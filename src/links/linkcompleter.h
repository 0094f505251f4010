#pragma once

#include "search/quickopen.h"

#include <QList>
#include <QObject>

#include <functional>

class QCompleter;
class QPlainTextEdit;
class QStringListModel;

/// Completion of note names in a text edit: after "[[" typed as committed text, a list of notes
/// by name, filtered as typing goes on with quick open's matching; choosing one (Return, a
/// click) puts in the name and the closing "]]". After a "#" that starts a tag, the tags whose
/// name holds what is typed (width and case folded). Nothing happens while an input method is
/// composing: its preedit text is not the note's text, and Return and Space then belong to it.
class LinkCompleter : public QObject
{
    Q_OBJECT

public:
    /// `files` lists the notes when a completion of a link starts, `tags` the tags (their
    /// spellings) when one of a tag starts.
    LinkCompleter(QPlainTextEdit *edit, std::function<QList<QuickOpen::Candidate>()> files,
                  std::function<QStringList()> tags = {}, QObject *parent = nullptr);

    QCompleter *completer() const { return m_completer; }
    /// The most names listed.
    static constexpr qsizetype maxRows = 50;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void contentsChanged(int position, int removed, int added);
    void typed(int start, int end);
    void update();
    void insert(const QString &name);
    void hide();
    /// Where the completed text starts in `line`, for the kind being completed.
    qsizetype startIn(const QString &line) const;

    QPlainTextEdit *m_edit;
    std::function<QList<QuickOpen::Candidate>()> m_listFiles;
    std::function<QStringList()> m_listTags;
    /// What is being completed: a link's name or a tag.
    bool m_tag = false;
    QStringList m_tags;
    QCompleter *m_completer;
    QStringListModel *m_model;
    QList<QuickOpen::Candidate> m_files;
    bool m_active = false;
    bool m_composing = false;
    bool m_inserting = false;
};
