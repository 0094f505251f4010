#include "common/testenvironment.h"
#include "notes/notestestutil.h"

#include "notes/filelistview.h"
#include "notes/memofolderlistview.h"
#include "notes/namedialog.h"
#include "notes/notenaming.h"
#include "notes/notesbrowser.h"
#include "notes/notesrowstyle.h"
#include "notes/notesview.h"
#include "platform/appevents.h"
#include "storage/pins.h"
#include "storage/settings.h"
#include "storage/sortmode.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace NotesTestUtil;

namespace {

QStringList actionTexts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts.append(action->isSeparator() ? QStringLiteral("--") : action->text());
    return texts;
}

QAction *actionNamed(const QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

template <typename Dialog> Dialog *openDialog(const QWidget *owner)
{
    Dialog *dialog = nullptr;
    [&] { QTRY_VERIFY((dialog = owner->findChild<Dialog *>()) && dialog->isVisible()); }();
    return dialog;
}

QPoint rowCenter(const QListView *list, int row)
{
    return list->visualRect(list->model()->index(row, 0)).center();
}

} // namespace

class TestNotesView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_env->useBaseFolder();
        m_notes = PathManager::notesFolderPath();
    }
    void cleanup() { m_env.reset(); }

    void sheetsRefuseUnusableNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("hintShown");
        QTest::newRow("default name") << QStringLiteral("新しいノート.md") << true << false;
        QTest::newRow("only spaces: disabled, nothing to explain")
            << QStringLiteral("   ") << false << false;
        QTest::newRow("a slash: disabled and explained") << QStringLiteral("a/b") << false << true;
    }
    void sheetsRefuseUnusableNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, enabled);
        QFETCH(bool, hintShown);
        QWidget owner;
        for (auto kind : {NameDialog::Kind::newNote, NameDialog::Kind::newFolder,
                          NameDialog::Kind::renameFolder}) {
            NameDialog dialog(kind, QString(), &owner);
            dialog.nameField()->setText(name);
            QCOMPARE(dialog.confirmButton()->isEnabled(), enabled);
            const auto hint = dialog.findChildren<QLabel *>();
            const bool shown = std::any_of(hint.cbegin(), hint.cend(), [](const QLabel *label) {
                return label->text() == NameDialog::unusableNameHint && !label->isHidden();
            });
            QCOMPARE(shown, hintShown);
        }
    }
    // Longer than a file system takes (255 bytes of UTF-8, a new note's ".md" included):
    // refused, and the hint says why.
    void sheetsRefuseNamesTooLong_data()
    {
        QTest::addColumn<NameDialog::Kind>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enabled");
        using Kind = NameDialog::Kind;
        QTest::newRow("note that fits with its .md") << Kind::newNote << QString(84, u'あ') << true;
        QTest::newRow("note too long once .md is added")
            << Kind::newNote << QString(85, u'あ') << false;
        QTest::newRow("folder that fits") << Kind::newFolder << QString(85, u'あ') << true;
        QTest::newRow("folder's new name one byte over")
            << Kind::renameFolder << QString(85, u'あ') + u'a' << false;
    }
    void sheetsRefuseNamesTooLong()
    {
        QFETCH(NameDialog::Kind, kind);
        QFETCH(QString, name);
        QFETCH(bool, enabled);
        QWidget owner;
        NameDialog dialog(kind, QString(), &owner);
        dialog.nameField()->setText(name);
        QCOMPARE(dialog.confirmButton()->isEnabled(), enabled);
        const auto labels = dialog.findChildren<QLabel *>();
        const bool explained = std::any_of(labels.cbegin(), labels.cend(), [](const QLabel *label) {
            return label->text() == NoteNaming::tooLongMessage() && !label->isHidden();
        });
        QCOMPARE(explained, !enabled);
    }
    void sheetKeys()
    {
        QWidget owner;
        owner.show();
        QStringList confirmed;
        const auto remember = [&](const QString &name) { confirmed.append(name); };

        NameDialog *dialog =
            NameDialog::ask(NameDialog::Kind::newFolder, QStringLiteral("  "), &owner, remember);
        QTest::keyClick(dialog->nameField(), Qt::Key_Return);
        QVERIFY(dialog->isVisible()); // an empty name keeps the dialog open
        QTest::keyClick(dialog->nameField(), Qt::Key_Escape);
        QTRY_VERIFY(!owner.findChild<NameDialog *>());
        QCOMPARE(confirmed, QStringList());

        // The dialog hands the name back untrimmed; the owner trims.
        dialog = NameDialog::ask(NameDialog::Kind::renameFolder, QStringLiteral(" 資料 "), &owner,
                                 remember);
        QTest::keyClick(dialog->nameField(), Qt::Key_Return);
        QCOMPARE(confirmed, QStringList{QStringLiteral(" 資料 ")});
    }
    void folderIconTogglesAndRowSelects()
    {
        auto page = shownPage();
        MemoFolderListView *tree = page->folderList();
        NotesBrowser &browser = page->browser();
        const QString work = notes("仕事");
        const int row = tree->rowOf(work);

        QTest::mouseClick(tree->listView()->viewport(), Qt::LeftButton, {},
                          tree->iconRect(row).center());
        QVERIFY(!browser.expandedFolderPaths().contains(work));
        QCOMPARE(tree->rowOf(notes("仕事/2024")), -1);
        QVERIFY(browser.isAllNotesSelected()); // the icon does not select

        QTest::mouseClick(tree->listView()->viewport(), Qt::LeftButton, {},
                          rowCenter(tree->listView(), row));
        QCOMPARE(browser.selectedFolder(), work);
        QCOMPARE(page->fileList()->listView()->model()->rowCount(), 4);

        // From the keyboard: Right opens the current folder, Down moves to and selects the next.
        QTest::keyClick(tree->listView(), Qt::Key_Right);
        QVERIFY(browser.expandedFolderPaths().contains(work));
        QTest::keyClick(tree->listView(), Qt::Key_Down);
        QCOMPARE(browser.selectedFolder(), notes("仕事/2024"));
    }
    void folderMenusOfferWhatEachFolderAllows()
    {
        auto page = shownPage();
        MemoFolderListView *tree = page->folderList();
        QMenu *rootMenu = tree->openContextMenu(tree->rowOf(m_notes), QPoint(10, 10));
        QCOMPARE(actionTexts(rootMenu), (QStringList{"フォルダを追加", "--", "ノートを追加"}));
        rootMenu->close();
        QMenu *menu = tree->openContextMenu(tree->rowOf(notes("日記")), QPoint(10, 10));
        QCOMPARE(actionTexts(menu), (QStringList{"フォルダを追加", "フォルダ名を変更",
                                                 "フォルダを削除", "--", "ノートを追加"}));
        QCOMPARE(tree->openContextMenu(tree->rowOf(QString()), QPoint(10, 10)), nullptr);

        // Each command acts on the folder whose menu it is; a new subfolder shows at once.
        actionNamed(menu, QStringLiteral("ノートを追加"))->trigger();
        NameDialog *dialog = openDialog<NameDialog>(tree);
        dialog->confirmButton()->click();
        QVERIFY(QFile::exists(notes("日記/新しいノート.md")));
        menu = tree->openContextMenu(tree->rowOf(notes("日記")), QPoint(10, 10));
        actionNamed(menu, QStringLiteral("フォルダを追加"))->trigger();
        dialog = openDialog<NameDialog>(tree);
        dialog->confirmButton()->click();
        QVERIFY(tree->rowOf(notes("日記/新しいフォルダ")) > tree->rowOf(notes("日記")));
    }

    void inPlaceRename_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Return renames, keeping the extension")
            << int(Qt::Key_Return) << QStringLiteral("報告.txt");
        QTest::newRow("Escape keeps the old name")
            << int(Qt::Key_Escape) << QStringLiteral("週報.txt");
    }
    void inPlaceRename()
    {
        QFETCH(int, key);
        QFETCH(QString, expected);
        auto page = shownPage();
        page->browser().selectFolder(notes("仕事"));
        FileListView *files = page->fileList();
        const QString note = notes("仕事/週報.txt");
        page->setSelectedFile(note);
        QSignalSpy saves(page.get(), &NotesView::saveRequested);

        files->beginRename(files->rowOf(note));
        QPointer<QLineEdit> editor; // closed editors are deleted
        QTRY_VERIFY((editor = files->listView()->findChild<QLineEdit *>()) && editor->isVisible());
        QCOMPARE(editor->text(), QStringLiteral("週報"));
        editor->setText(QStringLiteral("報告")); // key clicks cannot type Japanese
        QTest::keyClick(editor, Qt::Key(key));

        QTRY_VERIFY(!editor || !editor->isVisible());
        QTest::qWait(10); // the rename runs once the editor has closed

        const QString result = notes(QStringLiteral("仕事/") + expected);
        const bool renamed = result != note;
        QVERIFY(QFile::exists(result));
        QCOMPARE(QFile::exists(note), !renamed);
        QCOMPARE(page->selectedFile(), result);
        QVERIFY(files->rowOf(result) >= 0);
        // Only a rename that takes place saves the open note first.
        QCOMPARE(saves.count(), renamed ? 1 : 0);
    }
    // The header names the folder, elided when long (the full name stays for screen readers);
    // notes are added to a folder, not to すべて. Sorting from the menu: tst_accessibility.
    void headerFollowsFolder()
    {
        auto page = shownPage();
        FileListView *files = page->fileList();
        QVERIFY(!files->addButton()->isEnabled());
        page->browser().selectFolder(notes("仕事"));
        QVERIFY(files->titleLabel()->text().endsWith(QStringLiteral("仕事")));
        const QString longName = QStringLiteral("とても長い名前のフォルダはヘッダーで省略される");
        QDir().mkpath(notes(longName));
        page->browser().selectFolder(notes(longName));
        QVERIFY(files->titleLabel()->text().endsWith(QChar(0x2026)));
        QVERIFY(files->titleLabel()->accessibleName().endsWith(longName));
        QVERIFY(files->addButton()->isEnabled());

        // The mode chosen again stays marked.
        QAction *views = actionNamed(files->sortButton()->menu(), QStringLiteral("閲覧順"));
        views->trigger();
        views->trigger();
        QVERIFY(views->isChecked());
    }
    void deleteAsksFirst()
    {
        auto page = shownPage();
        FileListView *files = page->fileList();
        const QString note = notes("はじめに.md");
        QSignalSpy deleted(page.get(), &NotesView::fileDeleted);

        QMenu *menu = files->openContextMenu(files->rowOf(note), QPoint(10, 10));
        QCOMPARE(actionTexts(menu),
                 (QStringList{"ピン留め", "ノートの名前を変更", "--", "ノートを削除"}));
        actionNamed(menu, QStringLiteral("ノートを削除"))->trigger();
        QMessageBox *box = openDialog<QMessageBox>(files);
        // Return in the question (its default button) keeps the note.
        box->defaultButton()->click();
        QVERIFY(QFile::exists(note));

        menu = files->openContextMenu(files->rowOf(note), QPoint(10, 10));
        actionNamed(menu, QStringLiteral("ノートを削除"))->trigger();
        box = openDialog<QMessageBox>(files);
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == QStringLiteral("削除"))
                button->click();
        }
        QVERIFY(!QFile::exists(note));
        QCOMPARE(deleted, QList<QVariantList>{{note}});
        QCOMPARE(files->rowOf(note), -1);
    }
    void droppingANoteOnAFolderMovesIt()
    {
        auto page = shownPage();
        MemoFolderListView *tree = page->folderList();
        QWidget *viewport = tree->listView()->viewport();
        const QString note = notes("はじめに.md");
        const QPoint onDiary = rowCenter(tree->listView(), tree->rowOf(notes("日記")));

        // Plain text from another program is not a note to move.
        QMimeData text;
        text.setText(QStringLiteral("はじめに.md"));
        QDragEnterEvent foreign(onDiary, Qt::MoveAction, &text, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &foreign);
        QVERIFY(!foreign.isAccepted());

        QMimeData payload;
        payload.setData(NotesRowStyle::noteDragMimeType, note.toUtf8());
        QDragEnterEvent enter(onDiary, Qt::MoveAction, &payload, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDragMoveEvent move(onDiary, Qt::MoveAction, &payload, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &move);
        QVERIFY(move.isAccepted());
        QDropEvent drop(onDiary, Qt::MoveAction, &payload, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &drop);
        QTRY_VERIFY(QFile::exists(notes("日記/はじめに.md")));
        QVERIFY(!QFile::exists(note));
    }
    // Pinned notes lead すべて, are told apart for a screen reader and offer to be unpinned; a
    // click opens a note through the page.
    void pinnedNotesAndClicks()
    {
        auto page = shownPage();
        QSignalSpy selected(page.get(), &NotesView::fileSelected);
        QListView *list = page->fileList()->listView();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCenter(list, 0));
        QCOMPARE(selected, QList<QVariantList>{{notes("仕事/週報.txt")}});
        QAccessibleInterface *rows = QAccessible::queryAccessibleInterface(list);
        QVERIFY(!rows->child(0)->text(QAccessible::Description).isEmpty());
        QCOMPARE(rows->child(2)->text(QAccessible::Description), QString());

        page->browser().selectFolder(notes("仕事"));
        page->setSelectedFile(notes("仕事/会議メモ.md"));
        page->browser().toggleExpanded(notes("趣味"));
        FileListView *files = page->fileList();
        QMenu *menu = files->openContextMenu(files->rowOf(notes("仕事/企画書.md")),
                                             page->mapToGlobal(QPoint(60, 470)));
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(actionTexts(menu).constFirst(), QStringLiteral("ピン留めを解除"));
    }
    // A change of the setting lays the shown rows out again at once, every row alike.
    void rowsFollowTheListFontSize()
    {
        auto page = shownPage();
        const QList<QListView *> lists{page->fileList()->listView(),
                                       page->folderList()->listView()};
        QList<int> before;
        for (QListView *list : lists)
            before.append(list->visualRect(list->model()->index(1, 0)).height());
        Settings::instance().setListFontSize(30);
        for (QListView *list : lists) {
            const QRect row = list->visualRect(list->model()->index(1, 0));
            QVERIFY(row.height() >= 30);
            QVERIFY(row.height() > before.takeFirst());
            QCOMPARE(row.top(), row.height());
        }
    }

private:
    QString notes(const QString &relative = {}) const
    {
        return relative.isEmpty() ? m_notes : m_notes + u'/' + relative;
    }
    /// A shown notes page over a small tree with pinned notes.
    std::unique_ptr<NotesView> shownPage();

    std::unique_ptr<TestEnvironment> m_env;
    QString m_notes;
};

std::unique_ptr<NotesView> TestNotesView::shownPage()
{
    [&] {
        const QList<std::pair<const char *, int>> files{
            {"はじめに.md", 1},
            {"仕事/会議メモ.md", 5},
            {"仕事/企画書.md", 3},
            {"仕事/週報.txt", 4},
            {"仕事/とても長い名前のノートはこのように省略される.md", 2},
            {"仕事/2025/一月.md", 6},
            {"仕事/2024/十二月.md", 7},
            {"日記/散歩.md", 8},
            {"趣味/読書/小説.md", 9}};
        for (const auto &[name, at] : files)
            QVERIFY(writeNote(notes(QString::fromUtf8(name)), "x", minute(at)));
        Pins::pinNote(notes("仕事/企画書.md"));
        Pins::pinNote(notes("仕事/週報.txt"));
    }();
    auto page = std::make_unique<NotesView>();
    page->resize(220, 620);
    page->show();
    // Every change the scenarios make to the two lists is checked against the model contract:
    // resets, row tints, drop targets.
    for (QListView *list : {page->folderList()->listView(), page->fileList()->listView()}) {
        new QAbstractItemModelTester(
            list->model(), QAbstractItemModelTester::FailureReportingMode::Fatal, list->model());
    }
    return page;
}

QTEST_MAIN(TestNotesView)
#include "tst_notesview.moc"
