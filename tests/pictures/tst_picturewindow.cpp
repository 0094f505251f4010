#include "common/systemcallfaults.h"
#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "app/contentview.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "editor/notetextedit.h"
#include "pictures/pictureassets.h"
#include "pictures/pictureloader.h"
#include "platform/clock.h"
#include "preview/markdownpreviewpane.h"
#include "preview/markdownpreviewview.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"

#include <QAccessible>
#include <QBuffer>
#include <QImageWriter>
#include <QMainWindow>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray png(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return bytes;
}

QString bodyOf(const QString &path)
{
    return parseNoteDocument(QString::fromUtf8(TestFiles::read(path))).body;
}

/// The preview's pictures and the boxes in their place, as accessibility presents them:
/// "name" for each image object.
QStringList imageNames(MarkdownPreviewView *preview)
{
    QAccessibleInterface *surface = QAccessible::queryAccessibleInterface(preview->viewport());
    QStringList names;
    for (int i = 0; surface && i < surface->childCount(); ++i) {
        QAccessibleInterface *child = surface->child(i);
        if (child && child->role() == QAccessible::Graphic)
            names.append(child->text(QAccessible::Name));
    }
    return names;
}

} // namespace

class TestPictureWindow : public QObject
{
    Q_OBJECT

private:
    QString openNote(const QString &name, const QString &body)
    {
        const QString path = m_base + u"/Notes/"_s + name;
        TestFiles::write(path, body.toUtf8());
        m_view->appear();
        m_view->setSelectedPage(ContentView::Page::notes);
        m_view->notesFileSelected(path);
        return path;
    }
    NoteTextEdit *textEdit() const { return m_view->editorView()->editor()->textEdit(); }
    MarkdownPreviewView *preview() const { return m_view->sidePane()->previewView(); }

    /// Drops `mime` at the end of the editor's text, as a drag from the file manager would.
    void drop(QMimeData *mime)
    {
        textEdit()->moveCursor(QTextCursor::End);
        const QPoint at = textEdit()->cursorRect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(textEdit()->viewport(), &enter);
        QDropEvent dropped(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(textEdit()->viewport(), &dropped);
    }

    /// Waits until the preview's loader has read every picture it was asked for.
    void settlePictures()
    {
        PictureLoader *loader = preview()->pictureLoader();
        QSignalSpy ready(loader, &PictureLoader::pictureReady);
        while (loader->pendingJobs() > 0)
            QVERIFY(ready.wait());
        QCoreApplication::processEvents();
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_clock = std::make_unique<FixedClock>(
            QDateTime(QDate(2025, 3, 5), QTime(9, 0, 7), QTimeZone("Asia/Tokyo")),
            QTimeZone("Asia/Tokyo"));
        Clock::setCurrent(m_clock.get());
        m_base = m_env->useBaseFolder();
        m_memo = std::make_unique<MemoManager>();
        m_window = std::make_unique<QMainWindow>();
        m_view = new ContentView(*m_memo, m_window.get());
        m_window->setCentralWidget(m_view);
        m_window->resize(1000, 600);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        SystemCallFaults::reset();
        m_window->hide();
        m_window.reset();
        m_memo.reset();
        m_env.reset();
        m_clock.reset();
    }

    // A pasted screenshot and dropped photos are stored beside the note and shown by a link at
    // the caret, each as one undo step; the note on disk is not touched until it is saved.
    void pasteAndDropStorePictures()
    {
        const QString path = openNote(u"会議 メモ.md"_s, u"議事録\n"_s);
        textEdit()->setFocus();
        textEdit()->moveCursor(QTextCursor::End);
        QMimeData screenshot;
        screenshot.setImageData(QImage::fromData(png(30, 20)));
        drop(&screenshot);
        const QString assets = m_base + u"/Notes/会議 メモ.assets/"_s;
        QCOMPARE(QImage(assets + u"20250305-090007.png"_s).size(), QSize(30, 20));
        QCOMPARE(m_view->editorView()->text(),
                 u"議事録\n![](<会議 メモ.assets/20250305-090007.png>)"_s);

        const QString photo = m_env->path(u"カメラ/写真 1.png"_s);
        QVERIFY(TestFiles::write(photo, png(4, 4)));
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(photo), QUrl::fromLocalFile(photo)});
        drop(&files);
        QCOMPARE(TestFiles::read(assets + u"写真 1.png"_s), png(4, 4));
        QCOMPARE(TestFiles::read(assets + u"写真 1-2.png"_s), png(4, 4));
        QCOMPARE(m_view->editorView()->text(),
                 u"議事録\n![](<会議 メモ.assets/20250305-090007.png>)"
                 u"![](<会議 メモ.assets/写真 1.png>)\n![](<会議 メモ.assets/写真 1-2.png>)"_s);
        textEdit()->undo();
        QCOMPARE(m_view->editorView()->text(),
                 u"議事録\n![](<会議 メモ.assets/20250305-090007.png>)"_s);
        QCOMPARE(bodyOf(path), u"議事録\n"_s);
        // Text with a picture beside it (cells of a spreadsheet) stays text.
        QMimeData cells;
        cells.setText(u"a\tb"_s);
        cells.setImageData(QImage::fromData(png(3, 3)));
        drop(&cells);
        QVERIFY(m_view->editorView()->text().endsWith(u"a\tb"_s));
    }

    // A picture that cannot be stored inserts nothing and says why; nothing is left behind.
    void failedPasteInsertsNothing()
    {
        openNote(u"plan.md"_s, u"plan\n"_s);
        const QString before = m_view->editorView()->text();
        SystemCallFaults::Guard guard;
        SystemCallFaults::failNth(SystemCallFaults::Call::fsync, 1, ENOSPC);
        QMimeData screenshot;
        screenshot.setImageData(QImage::fromData(png(30, 20)));
        drop(&screenshot);
        QCOMPARE(m_view->editorView()->text(), before);
        QCOMPARE(m_memo->temporaryMessage(),
                 PictureAssets::saveFailedMessage + u": ディスクの空きがありません"_s);
        QVERIFY(!QFileInfo::exists(m_base + u"/Notes/plan.assets"_s));
        QVERIFY(!textEdit()->document()->isUndoAvailable());
    }

    // Renaming the open note from its title: the pictures' folder takes the new name and the
    // editor's text points into it, an edit saved like any other.
    void renamedOpenNoteKeepsItsPictures()
    {
        const QString path = openNote(u"plan.md"_s, u"![図](plan.assets/a.png)\n"_s);
        QVERIFY(TestFiles::write(m_base + u"/Notes/plan.assets/a.png"_s, png(4, 4)));
        QVERIFY(m_view->renameFromTitle(u"計画 2026"_s));
        QCoreApplication::sendPostedEvents();
        const QString renamed = m_base + u"/Notes/計画 2026.md"_s;
        QCOMPARE(m_memo->currentFilePath(), renamed);
        QCOMPARE(m_view->editorView()->text(), u"![図](<計画 2026.assets/a.png>)\n"_s);
        QVERIFY(QFileInfo::exists(m_base + u"/Notes/計画 2026.assets/a.png"_s));
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(m_memo->save(m_view->editorView()->text()).succeeded());
        QCOMPARE(bodyOf(renamed), u"![図](<計画 2026.assets/a.png>)\n"_s);
    }

    // The preview shows each picture as an image named by its description (or file name), the
    // boxes in the place of others by their reason; pictures above the top line filling in do
    // not move what the user reads.
    void previewShowsPicturesWithoutJumping()
    {
        QVERIFY(TestFiles::write(m_base + u"/Notes/memo.assets/写真 1.png"_s, png(120, 180)));
        QString body = u"![図](<memo.assets/写真 1.png>)\n"
                       u"![](memo.assets/none.png)\n"
                       u"![外](https://example.com/a.png)\n"
                       u"![](../../outside.png)\n"_s;
        for (int i = 0; i < 80; ++i)
            body += u"line "_s + QString::number(i) + u'\n';
        // The text shows at once, boxes kept for the pictures; the user scrolls down past them
        // before any is read (their news come through the event loop).
        MarkdownPreviewView alone;
        alone.resize(500, 400);
        alone.show();
        alone.setNotePath(m_base + u"/Notes/memo.md"_s);
        alone.setMarkdownText(body);
        QVERIFY(alone.pictureLoader()->pendingJobs() > 0);
        alone.scrollToLine(40);
        QCOMPARE(alone.topLineIndex(), 40);
        {
            QSignalSpy ready(alone.pictureLoader(), &PictureLoader::pictureReady);
            while (alone.pictureLoader()->pendingJobs() > 0)
                QVERIFY(ready.wait());
            QCoreApplication::processEvents();
        }
        QCOMPARE(alone.topLineIndex(), 40);
        // A list item's picture goes below its text, in line with it.
        alone.setMarkdownText(u"- [ ] 写真を見る ![表紙](<memo.assets/写真 1.png>)\n"_s);
        alone.scrollToLine(0);
        QCoreApplication::processEvents();
        QCOMPARE(imageNames(&alone), QStringList{u"表紙"_s});
        const auto itemElements = alone.visibleElements();
        QVERIFY(itemElements.last().rect.left() > PreviewDocument::padding + 8);
        QCOMPARE(itemElements.last().rect.size(), QSizeF(120, 180));

        openNote(u"memo.md"_s, body);
        QTRY_COMPARE(preview()->markdownText(), body);
        preview()->scrollToLine(0);
        settlePictures();
        QCOMPARE(imageNames(preview()),
                 (QStringList{u"図"_s, u"none.png（画像が見つかりません）"_s,
                              u"外（外部の画像は読み込みません）"_s,
                              u"outside.png（ベースフォルダの外にある画像は表示しません）"_s}));
        // Narrower than the preview: shown at its own size.
        const auto elements = preview()->visibleElements();
        QCOMPARE(elements.first().type, PreviewDocument::Element::Type::image);
        QCOMPARE(elements.first().rect.size(), QSizeF(120, 180));
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<MemoManager> m_memo;
    std::unique_ptr<QMainWindow> m_window;
    ContentView *m_view = nullptr;
    QString m_base;
};

QTEST_MAIN(TestPictureWindow)
#include "tst_picturewindow.moc"
