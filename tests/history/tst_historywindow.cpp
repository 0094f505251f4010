#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "app/contentview.h"
#include "app/statusbarview.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "editor/notetextedit.h"
#include "history/deletednotesdialog.h"
#include "history/historypane.h"
#include "history/historyrecorder.h"
#include "history/historyrepository.h"
#include "notes/notesview.h"
#include "platform/clock.h"
#include "platform/textcontrast.h"
#include "preview/markdownpreviewpane.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"
#include "storage/notestore.h"

#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTreeWidget>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct Fragment
{
    QString text;
    QTextCharFormat format;
};

QList<Fragment> fragmentsOf(QTextDocument *document)
{
    QList<Fragment> fragments;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it)
            fragments.append({it.fragment().text(), it.fragment().charFormat()});
    }
    return fragments;
}

} // namespace

class HistoryWindowTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<MemoManager> m_memo;
    std::unique_ptr<QMainWindow> m_window;
    ContentView *m_view = nullptr;
    QString m_base;

    QString openNote(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_base + u"/Notes/"_s + name;
        [&] { QVERIFY(TestFiles::write(path, bytes)); }();
        m_view->appear();
        m_view->setSelectedPage(ContentView::Page::notes);
        m_view->notesFileSelected(path);
        return path;
    }

    void typeIntoEditor(const QString &text)
    {
        NoteTextEdit *textEdit = m_view->editorView()->editor()->textEdit();
        textEdit->setFocus();
        textEdit->moveCursor(QTextCursor::End);
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, textEdit, Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
    }

    /// The pane on the 「履歴」 tab, once it lists `count` versions.
    HistoryPane *historyTab(int count)
    {
        m_view->setShowMarkdownPreview(true);
        auto *pane = m_view->findChild<MarkdownPreviewPane *>();
        pane->tabBar()->setCurrentIndex(int(MarkdownPreviewPane::SideTab::history));
        HistoryPane *history = m_view->historyPane();
        history->refresh();
        m_view->history()->waitForWorker();
        [&] { QTRY_COMPARE(history->versionList()->count(), count); }();
        return history;
    }

    QStringList eventsOf(const QString &relative)
    {
        m_view->history()->waitForWorker();
        const auto versions = HistoryRepository(HistoryRepository::repositoryPathFor(m_base))
                                  .versions(relative, nullptr);
        QStringList events;
        for (const HistoryVersion &version : versions.value_or(QList<HistoryVersion>()))
            events.append(HistoryEvents::code(version.event));
        return events;
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_clock = std::make_unique<FixedClock>(
            QDateTime(QDate(2025, 3, 5), QTime(9, 0), QTimeZone("Asia/Tokyo")),
            QTimeZone("Asia/Tokyo"));
        Clock::setCurrent(m_clock.get());
        m_env->useBaseFolder();
        m_base = PathManager::baseFolderPath();
        m_memo = std::make_unique<MemoManager>();
        m_window = std::make_unique<QMainWindow>();
        m_view = new ContentView(*m_memo, m_window.get());
        m_window->setCentralWidget(m_view);
        m_window->resize(1200, 700);
        m_window->show();
    }

    void cleanup()
    {
        m_window->hide();
        m_window.reset();
        m_memo.reset();
        m_env.reset();
        m_clock.reset();
    }

    void theTabShowsVersionsAndWhatDiffers_data()
    {
        QTest::addColumn<QColor>("base");
        QTest::newRow("light") << QColor(Qt::white);
        QTest::newRow("dark") << QColor(0x1e, 0x1e, 0x1e);
    }

    void theTabShowsVersionsAndWhatDiffers()
    {
        QFETCH(QColor, base);
        openNote(u"a.md"_s, "今日は晴れでした。\n");
        typeIntoEditor(u"Quick note"_s);
        m_clock->advance(HistoryRecorder::saveIntervalSecs);
        QVERIFY(m_view->saveCurrent());
        HistoryPane *pane = historyTab(2);
        QVERIFY(pane->versionList()->item(0)->text().contains(u"保存"_s));
        QVERIFY(pane->versionList()->item(1)->text().contains(u"編集前"_s));
        QVERIFY(pane->versionList()->item(0)->text().contains(u"+10"_s));
        QPalette palette = pane->palette();
        palette.setColor(QPalette::Base, base);
        palette.setColor(QPalette::Text, base.lightnessF() < 0.5 ? Qt::white : Qt::black);
        pane->differenceView()->setPalette(palette);

        // The original, compared with the text now: what going back would remove.
        pane->versionList()->setCurrentRow(1);
        m_view->history()->waitForWorker();
        QTRY_VERIFY(pane->restoreButton()->isEnabled());
        bool sawRemoved = false;
        for (const Fragment &fragment : fragmentsOf(pane->differenceView()->document())) {
            if (!fragment.format.fontStrikeOut())
                continue;
            sawRemoved = true;
            QCOMPARE(fragment.text, u"Quick note"_s);
            QVERIFY(TextContrast::contrastRatio(fragment.format.foreground().color(), base) >=
                    TextContrast::minimumTextContrast);
        }
        QVERIFY(sawRemoved);
    }

    void bringingAVersionBackIsOneUndoableEdit()
    {
        const QString path = openNote(u"a.md"_s, "first\n");
        typeIntoEditor(u"second"_s);
        QVERIFY(m_view->saveCurrent());
        HistoryPane *pane = historyTab(1);
        pane->versionList()->setCurrentRow(0);
        m_view->history()->waitForWorker();
        QTRY_VERIFY(pane->restoreButton()->isEnabled());
        pane->restoreButton()->click();
        QCOMPARE(m_view->editorText(), u"first\n"_s);
        m_view->editorView()->editor()->textEdit()->undo();
        QCOMPARE(m_view->editorText(), u"first\nsecond"_s);
        m_view->editorView()->editor()->textEdit()->redo();
        QVERIFY(m_view->saveCurrent());
        QCOMPARE(parseNoteDocument(QString::fromUtf8(TestFiles::read(path))).body, u"first\n"_s);
        QCOMPARE(eventsOf(u"Notes/a.md"_s), (QStringList{u"restore"_s, u"save"_s, u"original"_s}));
    }

    void aVersionRestoredAsAnotherNoteKeepsItsBytes()
    {
        const QByteArray original = "\xEF\xBB\xBFkept as it was\r\n";
        const QString path = openNote(u"a.md"_s, original);
        HistoryPane *pane = historyTab(1);
        pane->versionList()->setCurrentRow(0);
        m_view->history()->waitForWorker();
        QTRY_VERIFY(pane->restoreAsNoteButton()->isEnabled());
        pane->restoreAsNoteButton()->click();
        QCOMPARE(TestFiles::read(m_base + u"/Notes/a (復元 2025-03-05 0900).md"_s), original);
        QCOMPARE(TestFiles::read(path), original);
    }

    void deletedNotesAreListedAndComeBack()
    {
        const QByteArray bytes = "---\ntitle: x\n---\n\n最初の行\n二行目";
        const QString path = m_base + u"/Notes/sub/gone.md"_s;
        QVERIFY(TestFiles::write(path, bytes));
        QVERIFY(TestFiles::write(m_base + u"/Notes/stays.md"_s, "here"));
        m_clock->advance(60);
        QVERIFY(NoteStore::instance().deleteNote(path, nullptr));
        DeletedNotesDialog dialog(*m_view->history());
        QSignalSpy listed(&dialog, &DeletedNotesDialog::listed);
        dialog.refresh();
        QTRY_VERIFY(listed.count() >= 2);
        QCOMPARE(dialog.noteList()->topLevelItemCount(), 1);
        const QTreeWidgetItem *row = dialog.noteList()->topLevelItem(0);
        QCOMPARE(row->text(0), u"gone.md"_s);
        QCOMPARE(row->text(1), u"Notes/sub"_s);
        QCOMPARE(row->text(2), u"2025-03-05 09:01"_s);
        QCOMPARE(row->text(3), u"最初の行"_s);
        QSignalSpy restored(&dialog, &DeletedNotesDialog::restored);
        dialog.restoreRow(0);
        QTRY_COMPARE(restored.count(), 1);
        QCOMPARE(restored.first().first().toString(), path);
        QCOMPARE(TestFiles::read(path), bytes);
        QTRY_COMPARE(dialog.noteList()->topLevelItemCount(), 0);
    }

    void aHistoryFailureIsSaidOnceWhileSavingGoesOn()
    {
        HistoryRepository::setLockPatience(std::chrono::milliseconds(20));
        auto restorePatience = qScopeGuard(
            [] { HistoryRepository::setLockPatience(std::chrono::milliseconds(3000)); });
        const QString path = openNote(u"a.md"_s, "first\n");
        m_view->history()->waitForWorker();
        // Another process keeps the history's lock.
        const int held =
            ::open(QFile::encodeName(HistoryRepository::repositoryPathFor(m_base) + u".lock"_s)
                       .constData(),
                   O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
        auto release = qScopeGuard([held] { ::close(held); });
        auto *bar = m_view->findChild<StatusBarView *>();
        QVERIFY(bar);
        typeIntoEditor(u"second"_s);
        m_clock->advance(HistoryRecorder::saveIntervalSecs);
        QVERIFY(m_view->saveCurrent());
        m_view->history()->waitForWorker();
        QTRY_VERIFY(bar->notice().startsWith(u"履歴を記録できませんでした"_s));
        QCOMPARE(parseNoteDocument(QString::fromUtf8(TestFiles::read(path))).body,
                 u"first\nsecond"_s);
        // Said once: a later failure does not put it back once it was cleared.
        bar->setNotice(QString());
        typeIntoEditor(u" third"_s);
        m_clock->advance(HistoryRecorder::saveIntervalSecs);
        QVERIFY(m_view->saveCurrent());
        m_view->history()->waitForWorker();
        QCoreApplication::sendPostedEvents(m_view->history());
        QCOMPARE(bar->notice(), QString());
        QCOMPARE(parseNoteDocument(QString::fromUtf8(TestFiles::read(path))).body,
                 u"first\nsecond third"_s);
    }

    void theListIsReachedFromTheNotesPage()
    {
        m_view->appear();
        m_view->setSelectedPage(ContentView::Page::notes);
        auto *notes = m_view->findChild<NotesView *>();
        QVERIFY(notes);
        QPushButton *button = nullptr;
        for (QPushButton *candidate : notes->findChildren<QPushButton *>()) {
            if (candidate->accessibleName() == DeletedNotesDialog::title)
                button = candidate;
        }
        QVERIFY(button);
        button->click();
        QTRY_VERIFY(m_view->findChild<DeletedNotesDialog *>());
    }
};

QTEST_MAIN(HistoryWindowTest)
#include "tst_historywindow.moc"
