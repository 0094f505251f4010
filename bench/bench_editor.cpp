#include "benchrow.h"
#include "editor/markdowneditor.h"
#include "editor/notetextedit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
#include <vector>

/// Costs of the editor on big notes: loading a note, one keystroke at the end (with the caret
/// info published and the write-back scheduled) and an in-editor search for a common word
/// (matches, highlights and one repaint of the screen).
class BenchEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadFiveMegabytes();
    void bareSetPlainTextFiveMegabytes();
    void loadBesideBareSetPlainText();
    void keystrokeAtEndOfTenMegabytes();
    void searchCommonWordInFiveMegabytes();
    void scrollWithSearchInFiveMegabytes();
    void keystrokeBesideLongPictureLine();

private:
    /// Mixed Japanese and ASCII markdown lines, at least `bytes` long in UTF-8.
    static QString makeNote(qsizetype bytes);
};

QString BenchEditor::makeNote(qsizetype bytes)
{
    static const QStringList pattern = {
        QStringLiteral("# 見出し %1: the note about today's work"),
        QStringLiteral("今日は会議があり、議事録をまとめました。The note lists %1 open items."),
        QStringLiteral("- [ ] タスク %1: write the report and send it to the team"),
        QStringLiteral("- [x] 完了したタスク %1 with a short note"),
        QStringLiteral("1. 手順 %1 — run the build, then check the output"),
        QStringLiteral("> 引用: \"keep the note short\" (%1)"),
        QStringLiteral(""),
        QStringLiteral("普通の段落です。折り返しのある長い文章で、エディタの速さを測ります %1。"),
    };
    QString note;
    qsizetype size = 0;
    for (int i = 0; size < bytes; ++i) {
        const QString &form = pattern.at(i % pattern.size());
        const QString line = (form.isEmpty() ? form : form.arg(i)) + u'\n';
        size += line.toUtf8().size();
        note += line;
    }
    return note;
}

void BenchEditor::loadFiveMegabytes()
{
    const QString note = makeNote(5 * 1024 * 1024);
    EditorLiveState live;
    MarkdownEditor editor(live);
    editor.resize(800, 600);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    int file = 0;
    QBENCHMARK
    {
        // Another file every time, so the text is replaced in full.
        editor.loadText(++file % 2 ? note : note.chopped(1) + u'!');
    }
    QCOMPARE(editor.textEdit()->document()->characterCount(), note.size() + 1);
}

void BenchEditor::bareSetPlainTextFiveMegabytes()
{
    const QString note = makeNote(5 * 1024 * 1024);
    QPlainTextEdit edit;
    edit.resize(800, 600);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QBENCHMARK
    {
        edit.setPlainText(note);
    }
}

// The editor's load and the bare call in turns, so that both meet the same machine, each
// figure the median of its rounds: the row scripts/bench prints.
void BenchEditor::loadBesideBareSetPlainText()
{
    const QString note = makeNote(5 * 1024 * 1024);
    const QString other = note.chopped(1) + u'!';
    EditorLiveState live;
    MarkdownEditor editor(live);
    editor.resize(800, 600);
    editor.show();
    QPlainTextEdit edit;
    edit.resize(800, 600);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    std::vector<double> loads;
    std::vector<double> bare;
    for (int round = 0; round < 7; ++round) {
        // Another text every time, so the text is replaced in full.
        const QString &text = round % 2 ? note : other;
        QElapsedTimer timer;
        timer.start();
        edit.setPlainText(text);
        bare.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        editor.loadText(text);
        loads.push_back(timer.nsecsElapsed() / 1e6);
    }
    QCOMPARE(editor.textEdit()->document()->characterCount(), note.size() + 1);
    std::sort(loads.begin(), loads.end());
    std::sort(bare.begin(), bare.end());
    benchRow(QStringLiteral("load a 5 MB note into the editor"), loads[loads.size() / 2],
             QStringLiteral("bare setPlainText"), bare[bare.size() / 2], "ratio:1");
}

void BenchEditor::keystrokeAtEndOfTenMegabytes()
{
    const QString note = makeNote(10 * 1024 * 1024);
    EditorLiveState live;
    MarkdownEditor editor(live);
    editor.resize(800, 600);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    editor.setDocumentOpen(true);
    editor.loadText(note);
    editor.focusEditor();
    QTextCursor end(editor.textEdit()->document());
    end.movePosition(QTextCursor::End);
    editor.textEdit()->setTextCursor(end);
    QCoreApplication::processEvents();

    QBENCHMARK
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(editor.textEdit(), &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(editor.textEdit(), &release);
        // The caret info is published on the next turn of the event loop.
        QCoreApplication::processEvents();
    }
    QVERIFY(live.cursorInfo().totalLength > note.size());
    QCOMPARE(live.latestText().size(), live.cursorInfo().totalLength);
}

void BenchEditor::searchCommonWordInFiveMegabytes()
{
    const QString note = makeNote(5 * 1024 * 1024);
    EditorLiveState live;
    MarkdownEditor editor(live);
    editor.resize(800, 600);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.setDocumentOpen(true);
    editor.loadText(note);

    // Two common words in turn, so every round finds all matches again.
    const QStringList words{QStringLiteral("note"), QStringLiteral("タスク")};
    int round = 0;
    QBENCHMARK
    {
        editor.setSearchQuery(words.at(++round % 2));
        editor.textEdit()->viewport()->repaint();
    }
    editor.setSearchQuery(QStringLiteral("note"));
    QCOMPARE(editor.searchResultCount(), int(note.count(QStringLiteral("note"))));
}

void BenchEditor::scrollWithSearchInFiveMegabytes()
{
    const QString note = makeNote(5 * 1024 * 1024);
    EditorLiveState live;
    MarkdownEditor editor(live);
    editor.resize(800, 600);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.setDocumentOpen(true);
    editor.loadText(note);
    editor.setSearchQuery(QStringLiteral("note"));
    QScrollBar *bar = editor.textEdit()->verticalScrollBar();
    int step = 0;
    QBENCHMARK
    {
        // A page further down each time, through the highlights and one repaint.
        bar->setValue((bar->value() + 40 * ++step) % bar->maximum());
        QCoreApplication::processEvents();
        editor.textEdit()->viewport()->repaint();
    }
}

// A note holding a pasted picture inline: one data: line of 256 KB between ordinary lines.
// Typing on another line must stay under one frame (16 ms), the long line on screen.
void BenchEditor::keystrokeBesideLongPictureLine()
{
    QString line = QStringLiteral("![図](data:image/png;base64,");
    for (int i = 0; line.size() < 256 * 1024; ++i)
        line += QStringLiteral("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4") +
                QString::number(i);
    line += u')';
    const QString note = QStringLiteral("# 会議\n\n今日の議題\n") + line +
                         QStringLiteral("\n\n- [ ] 次の作業\n") + makeNote(64 * 1024);
    EditorLiveState live;
    MarkdownEditor editor(live);
    editor.resize(800, 600);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    editor.setDocumentOpen(true);
    editor.loadText(note);
    editor.focusEditor();
    // The caret at the end of the line above the picture, which is on screen below it.
    QTextCursor cursor(editor.textEdit()->document()->findBlockByNumber(2));
    cursor.movePosition(QTextCursor::EndOfBlock);
    editor.textEdit()->setTextCursor(cursor);
    QCoreApplication::processEvents();
    editor.textEdit()->viewport()->repaint();

    std::vector<double> strokes;
    for (int round = 0; round < 41; ++round) {
        QElapsedTimer timer;
        timer.start();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(editor.textEdit(), &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(editor.textEdit(), &release);
        QCoreApplication::processEvents();
        editor.textEdit()->viewport()->repaint();
        strokes.push_back(timer.nsecsElapsed() / 1e6);
    }
    QCOMPARE(editor.text().size(), note.size() + 41);
    std::sort(strokes.begin(), strokes.end());
    benchRow(QStringLiteral("keystroke beside a 256 KB data: line (median; max %1 ms)")
                 .arg(strokes.back(), 0, 'f', 1),
             strokes[strokes.size() / 2], QStringLiteral("one frame"), 16, "ms:16");
}

QTEST_MAIN(BenchEditor)
#include "bench_editor.moc"
