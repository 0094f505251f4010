#pragma once

#include <QWidget>

class QLabel;
class QStackedLayout;
class QVBoxLayout;

/// The info tab: the note's front-matter header ("Obsidian") and, when present, the metadata
/// Joplin keeps at its end ("Joplin"), shown verbatim and selectable.
class MarkdownHeaderInfoView : public QWidget
{
    Q_OBJECT

public:
    static inline const QString noDocumentText = QStringLiteral("ファイルが選択されていません");
    static inline const QString pendingNote =
        QStringLiteral("まだファイルには付いていません。保存すると先頭に追加されます。");

    explicit MarkdownHeaderInfoView(QWidget *parent = nullptr);

    /// The header text, whether it is still only in memory (added on the next save), the Joplin
    /// metadata (may be empty) and whether a document is open at all.
    void setInfo(const QString &yaml, bool isPending, const QString &joplinYAML, bool hasDocument);
    void setFontSize(int fontSize);

    /// The section titles shown, in order (empty without a document).
    QStringList sectionTitles() const;

private:
    void rebuild();

    QString m_yaml;
    bool m_pending = false;
    QString m_joplinYAML;
    bool m_hasDocument = false;
    int m_fontSize = 14;
    QLabel *m_noDocument = nullptr;
    QWidget *m_sections = nullptr;
    QVBoxLayout *m_sectionsLayout = nullptr;
    QStackedLayout *m_stack = nullptr;
};
