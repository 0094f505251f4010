#include "preview/markdownblocks.h"
#include "preview/markdownpreviewview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>

/// Costs of the side pane on a long note: the line parse, the preview's update after a typing
/// pause (parse, height estimates, layout and paint of one screen), and the outline.
class BenchPreview : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void parseItems();
    void outlineHeadings();
    void previewUpdateAfterEdit();
    void previewFirstShowOfNewNote();
    void previewScrollToMiddle();

private:
    /// A 20,000-line note of about 1.5 MB using every block kind; `salt` makes every line new.
    static QString makeNote(int salt);

    QString m_note;
};

QString BenchPreview::makeNote(int salt)
{
    static const QStringList pattern = {
        QStringLiteral("# Chapter %1 of the long note, %2"),
        QStringLiteral("A paragraph with **strong** text, *emphasis*, `code` and a "
                       "[link](https://example.com/%1) to check inline rendering %2."),
        QStringLiteral(
            "日本語の段落です。折り返しのある長い文章で、プレビューの速さを測ります。%1 %2"),
        QStringLiteral("Setext heading %1 %2"),
        QStringLiteral("==="),
        QStringLiteral("- bullet item number %1 with some words after it %2"),
        QStringLiteral("  - [ ] nested open task %1 that still needs doing %2"),
        QStringLiteral("- [x] finished task %1 with a note about it %2"),
        QStringLiteral("12. numbered item %1 describing a step of the process %2"),
        QStringLiteral("> quoted line %1 from somebody else's message in the thread %2"),
        QStringLiteral("> > nested quote %1 going one level deeper into the thread %2"),
        QStringLiteral(""),
        QStringLiteral("```cpp"),
        QStringLiteral("int value%1 = compute(%2); // a code line inside a fenced block"),
        QStringLiteral("```"),
        QStringLiteral("    indented code line %1 with *asterisks* kept as they are %2"),
        QStringLiteral(""),
        QStringLiteral("| Name %1 | Value | Note %2 |"),
        QStringLiteral("|---|:-:|--:|"),
        QStringLiteral("| row %1 | 42 | a longer cell that may wrap in a narrow pane %2 |"),
        QStringLiteral("[comment]: # (hidden %1 %2)"),
        QStringLiteral("---"),
        QStringLiteral("## Section %1 heading with closing hashes %2 ##"),
        QStringLiteral("Plain closing paragraph %1 with enough text to wrap once or twice "
                       "in the preview pane at the usual width %2."),
        QStringLiteral(""),
    };
    // Brings the note to the size of a long real one (about 1.5 MB).
    const QString filler = QStringLiteral(" — and a few more words in the line, "
                                          "at its end");
    QStringList lines;
    lines.reserve(20000);
    for (int i = 0; lines.size() < 20000; ++i) {
        const QString &line = pattern[i % pattern.size()];
        lines.append(line.contains(u'%') ? line.arg(i).arg(salt) + filler : line);
    }
    return lines.join(u'\n');
}

void BenchPreview::initTestCase()
{
    m_note = makeNote(0);
    qInfo("note: %lld lines, %lld bytes", qint64(m_note.count(u'\n') + 1),
          qint64(m_note.toUtf8().size()));
}

void BenchPreview::parseItems()
{
    QBENCHMARK
    {
        const auto items = MarkdownBlocks::parsePreviewItems(MarkdownBlocks::splitLines(m_note));
        QVERIFY(!items.isEmpty());
    }
}

void BenchPreview::outlineHeadings()
{
    QBENCHMARK
    {
        const auto headings = MarkdownBlocks::extractHeadings(m_note);
        QVERIFY(!headings.isEmpty());
    }
}

void BenchPreview::previewUpdateAfterEdit()
{
    MarkdownPreviewView view;
    view.resize(500, 900);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setMarkdownText(m_note);
    view.scrollToLine(10000);
    view.viewport()->repaint();
    // Typing changes one line between pauses; alternate two versions of the note.
    QString edited = m_note;
    edited.insert(edited.indexOf(u'\n', m_note.size() / 2), QStringLiteral(" typed"));
    int round = 0;
    QBENCHMARK
    {
        view.setMarkdownText(++round % 2 ? edited : m_note);
        view.viewport()->repaint();
    }
}

void BenchPreview::previewFirstShowOfNewNote()
{
    MarkdownPreviewView view;
    view.resize(500, 900);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    // Every line is new, so nothing comes from earlier layouts or the inline cache.
    const QString fresh = makeNote(1);
    QElapsedTimer timer;
    QBENCHMARK_ONCE
    {
        timer.start();
        view.setMarkdownText(fresh);
        view.viewport()->repaint();
    }
    qInfo("first show of a new note: %.1f ms", timer.nsecsElapsed() / 1e6);
}

void BenchPreview::previewScrollToMiddle()
{
    MarkdownPreviewView view;
    view.resize(500, 900);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setMarkdownText(makeNote(2));
    int line = 5000;
    QBENCHMARK
    {
        line = line == 5000 ? 15000 : 5000;
        view.scrollToLine(line);
        view.viewport()->repaint();
    }
}

QTEST_MAIN(BenchPreview)
#include "bench_preview.moc"
