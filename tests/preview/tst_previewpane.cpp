#include "common/testenvironment.h"

#include "app/contentview.h"
#include "editor/editorlivestate.h"
#include "editor/memoeditorview.h"
#include "preview/markdownheaderinfoview.h"
#include "preview/markdownoutlineview.h"
#include "preview/markdownpreviewpane.h"
#include "preview/markdownpreviewview.h"
#include "storage/memomanager.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

namespace {

/// The accessible children of the preview's viewport with a given role.
QList<QAccessibleInterface *> accessibleChildren(MarkdownPreviewView *view, QAccessible::Role role)
{
    QList<QAccessibleInterface *> found;
    QAccessibleInterface *viewport = QAccessible::queryAccessibleInterface(view->viewport());
    if (!viewport)
        return found;
    for (int i = 0; i < viewport->childCount(); ++i) {
        QAccessibleInterface *child = viewport->child(i);
        if (child && child->role() == role)
            found.append(child);
    }
    return found;
}

void clickAccessible(MarkdownPreviewView *view, QAccessibleInterface *element)
{
    const QPoint center = view->viewport()->mapFromGlobal(element->rect().center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, center);
}

} // namespace

class TestPreviewPane : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void sideTabRestoredFromSetting_data();
    void sideTabRestoredFromSetting();
    void closeButtonAndTabsAreAccessible();
    void checkboxClickTogglesDocumentLine();
    void checkboxClickIgnoredWhenLineMovedSinceThePause();
    void editorScrollMovesPreviewByLine();
    void headingClickScrollsEditorAndLaterThePreview();
    void newDocumentStartsAtTheTop();
    void editKeepsTheTopLineInPlace();
    void outlineMessages();
    void infoSections();
    void linksAreAccessibleAndEmailsAreNot();

private:
    /// Shows a pane over `text` and waits until it is on screen.
    void showPane(const QString &text)
    {
        m_pane = std::make_unique<MarkdownPreviewPane>(*m_live);
        m_pane->resize(400, 400);
        m_pane->setMarkdownText(text);
        m_pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pane.get()));
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<EditorLiveState> m_live;
    std::unique_ptr<MarkdownPreviewPane> m_pane;
};

void TestPreviewPane::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_live = std::make_unique<EditorLiveState>();
}

void TestPreviewPane::cleanup()
{
    m_pane.reset();
    m_live.reset();
    m_env.reset();
}

void TestPreviewPane::sideTabRestoredFromSetting_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("tab");
    QTest::newRow("outline survives a restart")
        << "outline" << int(MarkdownPreviewPane::SideTab::outline);
    QTest::newRow("info survives a restart") << "info" << int(MarkdownPreviewPane::SideTab::info);
    QTest::newRow("unknown value falls back to preview")
        << "foo" << int(MarkdownPreviewPane::SideTab::preview);
}

void TestPreviewPane::sideTabRestoredFromSetting()
{
    QFETCH(QString, stored);
    QFETCH(int, tab);
    SettingsStore::instance().setValue(QStringLiteral("previewPaneSideTab"), stored);
    m_pane = std::make_unique<MarkdownPreviewPane>(*m_live);
    QCOMPARE(int(m_pane->selectedTab()), tab);
    QCOMPARE(m_pane->tabBar()->currentIndex(), tab);

    m_pane->tabBar()->setCurrentIndex(int(MarkdownPreviewPane::SideTab::info));
    QCOMPARE(SettingsStore::instance().stringOr(QStringLiteral("previewPaneSideTab"), {}),
             QStringLiteral("info"));
}

void TestPreviewPane::closeButtonAndTabsAreAccessible()
{
    m_pane = std::make_unique<MarkdownPreviewPane>(*m_live);
    m_pane->show();
    QSignalSpy closed(m_pane.get(), &MarkdownPreviewPane::closeRequested);
    QAccessibleInterface *button = QAccessible::queryAccessibleInterface(m_pane->closeButton());
    QVERIFY(!button->text(QAccessible::Name).isEmpty());
    QCOMPARE(button->role(), QAccessible::Button);
    QTest::mouseClick(m_pane->closeButton(), Qt::LeftButton);
    QCOMPARE(closed.size(), 1);

    // Each tab is read out by the name it shows.
    QAccessibleInterface *tabs = QAccessible::queryAccessibleInterface(m_pane->tabBar());
    QStringList names;
    for (int i = 0; i < tabs->childCount(); ++i) {
        if (tabs->child(i)->role() == QAccessible::PageTab)
            names.append(tabs->child(i)->text(QAccessible::Name));
    }
    QCOMPARE(names.size(), m_pane->tabBar()->count());
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(names[i], m_pane->tabBar()->tabText(i));
}

void TestPreviewPane::checkboxClickTogglesDocumentLine()
{
    m_env->useBaseFolder();
    MemoManager memo;
    ContentView content(memo);
    content.resize(1000, 600);
    content.appear();
    const QString body = QStringLiteral("intro\n    - [X] done *item*\n- [ ] open");
    content.editorView()->replaceText(body);
    m_pane = std::make_unique<MarkdownPreviewPane>(content.liveState());
    connect(m_pane.get(), &MarkdownPreviewPane::checkboxToggled, &content,
            &ContentView::toggleCheckboxLine);
    m_pane->resize(400, 500);
    m_pane->show();
    m_pane->setMarkdownText(body);
    QVERIFY(QTest::qWaitForWindowExposed(m_pane.get()));

    // "    - [X]" is indented code, not a checkbox; the list line is the third one.
    const auto boxes = accessibleChildren(m_pane->previewView(), QAccessible::CheckBox);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0]->text(QAccessible::Name), QStringLiteral("open"));
    QVERIFY(!boxes[0]->state().checked);
    clickAccessible(m_pane->previewView(), boxes[0]);
    QCOMPARE(content.editorText(), QStringLiteral("intro\n    - [X] done *item*\n- [x] open"));
    QVERIFY(memo.isModified());

    const QString indented = QStringLiteral("  - [X] done *item*");
    content.editorView()->replaceText(indented);
    m_pane->setMarkdownText(indented);
    const auto checked = accessibleChildren(m_pane->previewView(), QAccessible::CheckBox);
    QCOMPARE(checked.size(), 1);
    QVERIFY(checked[0]->state().checked);
    QCOMPARE(checked[0]->text(QAccessible::Description), QStringLiteral("クリックでトグル"));
    checked[0]->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QCOMPARE(content.editorText(), QStringLiteral("  - [ ] done *item*"));
}

void TestPreviewPane::checkboxClickIgnoredWhenLineMovedSinceThePause()
{
    showPane(QStringLiteral("- [ ] a\n- [ ] b"));
    QSignalSpy toggled(m_pane.get(), &MarkdownPreviewPane::checkboxToggled);
    QString editorText = QStringLiteral("new line\n- [ ] a\n- [ ] b");
    QObject editor;
    m_live->setTextSource(&editor, [&] { return editorText; });
    auto boxes = accessibleChildren(m_pane->previewView(), QAccessible::CheckBox);
    QCOMPARE(boxes.size(), 2);
    clickAccessible(m_pane->previewView(), boxes[1]);
    QCOMPARE(toggled.size(), 0);

    editorText = QStringLiteral("- [ ] a\n- [ ] b");
    clickAccessible(m_pane->previewView(), boxes[1]);
    QCOMPARE(toggled.size(), 1);
    QCOMPARE(toggled[0][0].toLongLong(), 1);
}

void TestPreviewPane::editorScrollMovesPreviewByLine()
{
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines.append(i % 10 == 0 ? QStringLiteral("## Section %1").arg(i)
                                 : QStringLiteral("Line %1 of the note").arg(i));
    SettingsStore::instance().setValue(QStringLiteral("fontSize"), 14);
    showPane(lines.join(u'\n'));
    MarkdownPreviewView *preview = m_pane->previewView();

    // Line height 21 at size 14: offsets 0–20.9 are line 0, 21 is line 1.
    m_live->setScrollOffset(20.9);
    QCOMPARE(preview->topLineIndex(), 0);
    m_live->setScrollOffset(21 * 120);
    QCOMPARE(preview->topLineIndex(), 120);
    m_live->setScrollOffset(21 * 57 + 3);
    QCOMPARE(preview->topLineIndex(), 57);

    // Beyond the end: the last line is asked for; the preview stops at its bottom.
    m_live->setScrollOffset(21.0 * 100000);
    QScrollBar *bar = preview->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
}

void TestPreviewPane::headingClickScrollsEditorAndLaterThePreview()
{
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines.append(i == 40 ? QStringLiteral("# Target") : QStringLiteral("text %1").arg(i));
    SettingsStore::instance().setValue(QStringLiteral("previewPaneSideTab"),
                                       QStringLiteral("outline"));
    showPane(lines.join(u'\n'));
    QSignalSpy selected(m_pane.get(), &MarkdownPreviewPane::headingSelected);

    QListView *list = m_pane->outlineView()->listView();
    QCOMPARE(list->model()->rowCount(), 1);
    QAccessibleInterface *row = QAccessible::queryAccessibleInterface(list)->child(0);
    QCOMPARE(row->role(), QAccessible::ListItem);
    QCOMPARE(row->text(QAccessible::Name), QStringLiteral("Target"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 0)).center());
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected[0][0].toLongLong(), 40);

    // The editor answers the scroll command by moving; within 0.3 s that must not pull the
    // preview away from the heading once it is shown.
    m_pane->setSelectedTab(MarkdownPreviewPane::SideTab::preview);
    QCOMPARE(m_pane->previewView()->topLineIndex(), 40);
    m_live->setScrollOffset(21 * 35);
    QCOMPARE(m_pane->previewView()->topLineIndex(), 40);
    QTest::qWait(400);
    m_live->setScrollOffset(21 * 36);
    QCOMPARE(m_pane->previewView()->topLineIndex(), 36);
}

void TestPreviewPane::newDocumentStartsAtTheTop()
{
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines.append(QStringLiteral("text %1").arg(i));
    showPane(lines.join(u'\n'));
    m_pane->setDocumentId(QStringLiteral("/notes/a.md"));
    QTest::qWait(1);
    m_pane->previewView()->scrollToLine(150);
    QCOMPARE(m_pane->previewView()->topLineIndex(), 150);

    m_pane->setDocumentId(QStringLiteral("/notes/b.md"));
    QTRY_COMPARE(m_pane->previewView()->topLineIndex(), 0);
}

void TestPreviewPane::editKeepsTheTopLineInPlace()
{
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines.append(
            QStringLiteral("paragraph %1 with words enough to wrap in a narrow view").arg(i));
    MarkdownPreviewView view;
    view.resize(200, 300);
    view.setMarkdownText(lines.join(u'\n'));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.scrollToLine(150);
    const int position = view.verticalScrollBar()->value();

    lines[200] += QStringLiteral(" typed");
    view.setMarkdownText(lines.join(u'\n'));
    QCOMPARE(view.topLineIndex(), 150);
    QCOMPARE(view.verticalScrollBar()->value(), position);

    lines[10] += QStringLiteral(" and more typed above the visible part of the note");
    view.setMarkdownText(lines.join(u'\n'));
    QCOMPARE(view.topLineIndex(), 150);
}

void TestPreviewPane::outlineMessages()
{
    MarkdownOutlineView outline;
    QAbstractItemModelTester tester(outline.listView()->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    // An empty document and a document without headings are told apart.
    outline.setMarkdownText({});
    const QString empty = outline.message();
    QVERIFY(!empty.isEmpty());
    outline.setMarkdownText(QStringLiteral("plain\ntext"));
    outline.headings();
    QVERIFY(!outline.message().isEmpty());
    QCOMPARE_NE(outline.message(), empty);
    outline.setMarkdownText(QStringLiteral("# a\ntext"));
    QCOMPARE(outline.headings().size(), 1);
    QCOMPARE(outline.message(), QString());
}

void TestPreviewPane::infoSections()
{
    m_pane = std::make_unique<MarkdownPreviewPane>(*m_live);
    MarkdownHeaderInfoView *info = m_pane->infoView();
    QCOMPARE(info->sectionTitles(), QStringList());

    m_pane->setDocumentId(QStringLiteral("/notes/a.md"));
    m_pane->setHeaderInfo(QStringLiteral("---\ntitle: a\n---"), true, {});
    QCOMPARE(info->sectionTitles(), QStringList{QStringLiteral("Obsidian")});
    const auto labels = info->findChildren<QLabel *>();
    QVERIFY(std::any_of(labels.cbegin(), labels.cend(), [](const QLabel *label) {
        return label->text() == MarkdownHeaderInfoView::pendingNote;
    }));

    m_pane->setHeaderInfo(QStringLiteral("---\ntitle: a\n---"), false, QStringLiteral("id: 1"));
    QCOMPARE(info->sectionTitles(),
             (QStringList{QStringLiteral("Obsidian"), QStringLiteral("Joplin")}));

    m_pane->setDocumentId({});
    QCOMPARE(info->sectionTitles(), QStringList());
}

void TestPreviewPane::linksAreAccessibleAndEmailsAreNot()
{
    MarkdownPreviewView view;
    view.setOpensLinks(false);
    view.resize(500, 200);
    view.setMarkdownText(QStringLiteral(
        "see [the site](https://example.com/x) or write to a@example.com or [me](mailto:b@c.de)"));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy activated(&view, &MarkdownPreviewView::linkActivated);
    const auto links = accessibleChildren(&view, QAccessible::Link);
    QCOMPARE(links.size(), 1);
    QCOMPARE(links[0]->text(QAccessible::Name), QStringLiteral("the site"));
    clickAccessible(&view, links[0]);
    QCOMPARE(activated.size(), 1);
    QCOMPARE(activated[0][0].toUrl(), QUrl(QStringLiteral("https://example.com/x")));
}

QTEST_MAIN(TestPreviewPane)
#include "tst_previewpane.moc"
