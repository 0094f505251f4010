#include "app/contentview.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "editor/notetextedit.h"
#include "storage/memomanager.h"
#include "storage/pathmanager.h"

#include <QApplication>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>

/// One keystroke at the end of a 10 MB note in the whole window: the editor, the autosave
/// schedule, the file watcher, the status bar and the preview pane all running.
class BenchWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void keystrokeAtEndOfTenMegabytes();

private:
    QTemporaryDir m_dir;
};

void BenchWindow::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("state"))));
    PathManager::setBaseFolderForProcess(m_dir.filePath(QStringLiteral("base")));
    QDir().mkpath(m_dir.filePath(QStringLiteral("base/Notes")));
}

void BenchWindow::keystrokeAtEndOfTenMegabytes()
{
    const QString path = m_dir.filePath(QStringLiteral("base/Notes/big.md"));
    const QString line =
        QStringLiteral("今日は会議があり、議事録をまとめました。The note lists open items.\n");
    QString body;
    while (body.toUtf8().size() < (10 << 20))
        body += line.repeated(1000);
    {
        MemoManager writer;
        writer.loadFile(path);
        writer.markModified();
        QVERIFY(writer.save(body).succeeded());
    }
    MemoManager memo;
    memo.setWatchingFile(true);
    QMainWindow window;
    auto *content = new ContentView(memo, &window);
    window.setCentralWidget(content);
    window.resize(1000, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    content->appear();
    QVERIFY(content->loadDocument(path));
    NoteTextEdit *text = content->editorView()->editor()->textEdit();
    text->setFocus();
    text->moveCursor(QTextCursor::End);
    QBENCHMARK
    {
        QTest::keyClick(text, Qt::Key_A);
    }
    // The typed letters are not wanted on disk.
    memo.clearDocument();
    window.hide();
}

QTEST_MAIN(BenchWindow)
#include "bench_window.moc"
