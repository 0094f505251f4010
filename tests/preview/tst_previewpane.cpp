#include "common/testenvironment.h"

#include "editor/editorlivestate.h"
#include "preview/markdownheaderinfoview.h"
#include "preview/markdownoutlineview.h"
#include "preview/markdownpreviewpane.h"
#include "preview/markdownpreviewview.h"

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
    for (int i = 0; viewport && i < viewport->childCount(); ++i) {
        if (QAccessibleInterface *child = viewport->child(i); child && child->role() == role)
            found.append(child);
    }
    return found;
}

void clickAccessible(MarkdownPreviewView *view, QAccessibleInterface *element)
{
    const QPoint center = view->viewport()->mapFromGlobal(element->rect().center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, center);
}

/// `count` lines made by `line` from their index.
QString numberedLines(int count, const std::function<QString(int)> &line)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines.append(line(i));
    return lines.join(u'\n');
}

} // namespace

class TestPreviewPane : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_live = std::make_unique<EditorLiveState>();
    }
    void cleanup()
    {
        m_pane.reset();
        m_live.reset();
        m_env.reset();
    }

    // The tab survives a restart; an unknown value falls back to the preview.
    void sideTabRestoredFromSetting()
    {
        using Tab = MarkdownPreviewPane::SideTab;
        for (const auto &[stored, tab] :
             {std::pair{"outline", Tab::outline}, {"info", Tab::info}, {"foo", Tab::preview}}) {
            SettingsStore::instance().setValue(QStringLiteral("previewPaneSideTab"),
                                               QString::fromUtf8(stored));
            m_pane = std::make_unique<MarkdownPreviewPane>(*m_live);
            QCOMPARE(int(m_pane->selectedTab()), int(tab));
            QCOMPARE(m_pane->tabBar()->currentIndex(), int(tab));
        }
        m_pane->tabBar()->setCurrentIndex(int(Tab::info));
        QCOMPARE(SettingsStore::instance().stringOr(QStringLiteral("previewPaneSideTab"), {}),
                 QStringLiteral("info"));
    }

    // Its name for a screen reader is checked with every icon button in tst_appshell.
    void closeButtonAsksToClose()
    {
        m_pane = std::make_unique<MarkdownPreviewPane>(*m_live);
        m_pane->show();
        QSignalSpy closed(m_pane.get(), &MarkdownPreviewPane::closeRequested);
        QTest::mouseClick(m_pane->closeButton(), Qt::LeftButton);
        QCOMPARE(closed.size(), 1);
    }

    // A click or a screen reader's toggle asks the host to toggle the box's line; the host's
    // toggling itself is checked with the content view. The preview shows the text of the last
    // typing pause: a click on a line that moved since is dropped, not applied to another line.
    void checkboxesReportTheirLineUnlessItMoved()
    {
        // "    - [X]" is indented code, not a checkbox.
        const QString text = QStringLiteral("intro\n    - [X] done *item*\n- [ ] open\n  - [X] x");
        QString editorText = text;
        QObject editor;
        m_live->setTextSource(&editor, [&] { return editorText; });
        showPane(text);
        QSignalSpy toggled(m_pane.get(), &MarkdownPreviewPane::checkboxToggled);
        const auto boxes = accessibleChildren(m_pane->previewView(), QAccessible::CheckBox);
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0]->text(QAccessible::Name), QStringLiteral("open"));
        QVERIFY(!boxes[0]->state().checked && boxes[1]->state().checked);
        clickAccessible(m_pane->previewView(), boxes[0]);
        boxes[1]->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(toggled, (QList<QVariantList>{{qint64(2)}, {qint64(3)}}));

        editorText.prepend(QStringLiteral("new line\n"));
        clickAccessible(m_pane->previewView(), boxes[0]);
        QCOMPARE(toggled.size(), 2);
    }

    void headingClickScrollsEditorAndLaterThePreview()
    {
        SettingsStore::instance().setValue(QStringLiteral("previewPaneSideTab"),
                                           QStringLiteral("outline"));
        showPane(numberedLines(200, [](int i) {
            return i == 40 ? QStringLiteral("# Target") : QStringLiteral("text %1").arg(i);
        }));
        QSignalSpy selected(m_pane.get(), &MarkdownPreviewPane::headingSelected);
        QListView *list = m_pane->outlineView()->listView();
        QAccessibleInterface *row = QAccessible::queryAccessibleInterface(list)->child(0);
        QCOMPARE(row->text(QAccessible::Name), QStringLiteral("Target"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(0, 0)).center());
        QCOMPARE(selected, QList<QVariantList>{{qint64(40)}});

        // The editor answers the scroll command by moving; within 0.3 s that must not pull the
        // preview away from the heading once it is shown.
        m_pane->setSelectedTab(MarkdownPreviewPane::SideTab::preview);
        QCOMPARE(m_pane->previewView()->topLineIndex(), 40);
        m_live->setScrollOffset(21 * 35);
        QCOMPARE(m_pane->previewView()->topLineIndex(), 40);
        QTest::qWait(400);
        m_live->setScrollOffset(21 * 36); // line height 21 at the default size, 14
        QCOMPARE(m_pane->previewView()->topLineIndex(), 36);
        // Beyond the end: the last line is asked for; the preview stops at its bottom.
        m_live->setScrollOffset(21.0 * 100000);
        const QScrollBar *bar = m_pane->previewView()->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());
    }

    void newDocumentStartsAtTheTop()
    {
        showPane(numberedLines(200, [](int i) { return QStringLiteral("text %1").arg(i); }));
        m_pane->setDocumentId(QStringLiteral("/notes/a.md"));
        QTest::qWait(1);
        m_pane->previewView()->scrollToLine(150);
        QCOMPARE(m_pane->previewView()->topLineIndex(), 150);
        m_pane->setDocumentId(QStringLiteral("/notes/b.md"));
        QTRY_COMPARE(m_pane->previewView()->topLineIndex(), 0);
    }

    void editKeepsTheTopLineInPlace()
    {
        QStringList lines =
            numberedLines(300, [](int i) {
                return QStringLiteral("paragraph %1 with words enough to wrap in a narrow view")
                    .arg(i);
            }).split(u'\n');
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

    // An empty document and a document without headings are told apart.
    void outlineMessages()
    {
        MarkdownOutlineView outline;
        QAbstractItemModelTester tester(outline.listView()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        outline.setMarkdownText({});
        const QString empty = outline.message();
        outline.setMarkdownText(QStringLiteral("plain\ntext"));
        outline.headings();
        QVERIFY(!empty.isEmpty() && !outline.message().isEmpty());
        QCOMPARE_NE(outline.message(), empty);
        outline.setMarkdownText(QStringLiteral("# a\ntext"));
        QCOMPARE(outline.headings().size(), 1);
        QCOMPARE(outline.message(), QString());
    }

    void infoSections()
    {
        m_pane = std::make_unique<MarkdownPreviewPane>(*m_live);
        MarkdownHeaderInfoView *info = m_pane->infoView();
        m_pane->setDocumentId(QStringLiteral("/notes/a.md"));
        // A note not yet saved says so under its header.
        m_pane->setHeaderInfo(QStringLiteral("---\ntitle: a\n---"), true, {});
        QCOMPARE(info->sectionTitles(), QStringList{QStringLiteral("Obsidian")});
        const auto labels = info->findChildren<QLabel *>();
        QVERIFY(std::any_of(labels.cbegin(), labels.cend(), [](const QLabel *label) {
            return label->text() == MarkdownHeaderInfoView::pendingNote;
        }));
        m_pane->setHeaderInfo(QStringLiteral("---\ntitle: a\n---"), false, QStringLiteral("id: 1"));
        QCOMPARE(info->sectionTitles(), (QStringList{"Obsidian", "Joplin"}));
        m_pane->setDocumentId({});
        QCOMPARE(info->sectionTitles(), QStringList());
    }

    void linksAreAccessibleAndEmailsAreNot()
    {
        MarkdownPreviewView view;
        view.setOpensLinks(false);
        view.resize(500, 200);
        view.setMarkdownText(QStringLiteral("see [the site](https://example.com/x) or write to "
                                            "a@example.com or [me](mailto:b@c.de)"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy activated(&view, &MarkdownPreviewView::linkActivated);
        const auto links = accessibleChildren(&view, QAccessible::Link);
        QCOMPARE(links.size(), 1);
        QCOMPARE(links[0]->text(QAccessible::Name), QStringLiteral("the site"));
        clickAccessible(&view, links[0]);
        QCOMPARE(activated, QList<QVariantList>{{QUrl(QStringLiteral("https://example.com/x"))}});
    }

    // A link to a note that does not exist is drawn muted with a dotted underline, never in the
    // link colour; it stays a link on the accessibility bus, and says that it leads nowhere.
    void missingLinksAreDrawnApart()
    {
        MarkdownPreviewView view;
        view.setOpensLinks(false);
        view.resize(500, 200);
        view.setFontSize(20);
        view.setMarkdownText(QStringLiteral("[[here]] and [[gone]]"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const auto linkRect = [&view](const QString &name) {
            for (const PreviewDocument::Element &element : view.visibleElements()) {
                if (element.name == name)
                    return element.rect.toAlignedRect();
            }
            return QRect();
        };
        const QImage before = view.viewport()->grab().toImage();
        bool gone = true;
        view.setMissingLink(
            [&gone](const QString &url) { return gone && url.contains(QLatin1String("gone")); });
        const QImage after = view.viewport()->grab().toImage();
        const QRect here = linkRect(QStringLiteral("here"));
        const QRect missing = linkRect(QStringLiteral("gone"));
        QVERIFY(!here.isEmpty() && !missing.isEmpty());
        QCOMPARE(after.copy(here), before.copy(here));
        const QColor link = PreviewStyle(view.palette(), view.fontSize()).link();
        const auto underline = [](const QImage &image, const QRect &rect, const QColor &ink) {
            // The row of the rectangle's lower half with the most pixels of `ink`, as runs.
            int best = 0;
            int runs = 0;
            for (int y = rect.center().y(); y <= rect.bottom(); ++y) {
                int count = 0;
                int starts = 0;
                bool inRun = false;
                for (int x = rect.left(); x <= rect.right(); ++x) {
                    const bool on = image.pixelColor(x, y).rgb() == ink.rgb();
                    count += on;
                    starts += on && !inRun;
                    inRun = on;
                }
                if (count > best) {
                    best = count;
                    runs = starts;
                }
            }
            return std::pair{best, runs};
        };
        // The existing link is underlined in one line of the link colour.
        QVERIFY(underline(after, here, link).first > here.width() / 2);
        QCOMPARE(underline(after, here, link).second, 1);
        QCOMPARE(underline(after, missing, link).first, 0);
        const QColor muted = PreviewStyle(view.palette(), view.fontSize()).secondaryText();
        QVERIFY(underline(after, missing, muted).second > 3);

        auto links = accessibleChildren(&view, QAccessible::Link);
        QCOMPARE(links.size(), 2);
        QCOMPARE(links[1]->text(QAccessible::Name), QStringLiteral("gone"));
        QCOMPARE(links[1]->text(QAccessible::Description), MarkdownPreviewView::missingLinkHelp);
        QVERIFY(links[0]->text(QAccessible::Description) != MarkdownPreviewView::missingLinkHelp);

        // The answer changes: the link is drawn as one again.
        gone = false;
        view.missingLinksChanged();
        QCOMPARE(view.viewport()->grab().toImage().copy(missing), before.copy(missing));
    }

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

QTEST_MAIN(TestPreviewPane)
#include "tst_previewpane.moc"
