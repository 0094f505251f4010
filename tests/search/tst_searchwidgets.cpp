#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "platform/appevents.h"
#include "search/quickopen.h"
#include "search/quickopenview.h"
#include "search/searchcontroller.h"
#include "search/searchview.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {

QPushButton *button(QWidget *root, const QString &text)
{
    for (QPushButton *candidate : root->findChildren<QPushButton *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

// The names and roles a screen reader gets for the children of a list.
QStringList accessibleRows(QWidget *list)
{
    QStringList rows;
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(list);
    for (int i = 0; face && i < face->childCount(); ++i) {
        QAccessibleInterface *child = face->child(i);
        if (child && child->role() == QAccessible::ListItem)
            rows.append(child->text(QAccessible::Name));
    }
    return rows;
}

// Checks every later change of the palette's list against the model contract; goes with it.
void testModelOf(QuickOpenView *palette)
{
    QAbstractItemModel *model = palette->list()->model();
    new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::Fatal,
                                 model);
}

} // namespace

class TestSearchWidgets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void searchPageShowsResultsAndOpensNewest();
    void historyRowsRunAndDelete();
    void focusRequestsReachKeywordField();
    void paletteOpensChoiceAfterClosing();
    void paletteKeysWrapAndEscapeCloses();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void TestSearchWidgets::searchPageShowsResultsAndOpensNewest()
{
    const QString base = m_env->useBaseFolder();
    QVERIFY(TestFiles::write(base + "/old.md", "memo memo", 1000));
    QVERIFY(TestFiles::write(base + "/new.md", "a memo line", 2000));
    SearchView view;
    view.resize(220, 600);
    view.show();
    QSignalSpy opened(&view, &SearchView::hitSelected);
    auto *field = view.findChild<QLineEdit *>();
    QTest::keyClicks(field, QStringLiteral("memo"));
    QTest::keyClick(field, Qt::Key_Return);

    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.at(0).at(0).toString(), base + "/new.md");
    bool summaryShown = false;
    for (QLabel *label : view.findChildren<QLabel *>())
        summaryShown |= label->isVisible() && label->text() == QStringLiteral("2 件 / 一致 3 件");
    QVERIFY(summaryShown);
    auto *results = view.findChild<QListView *>();
    QCOMPARE(accessibleRows(results),
             (QStringList{"new.md、1 件、a memo line", "old.md、2 件、memo memo"}));

    // A click on a row opens it.
    const QRect second = results->visualRect(results->model()->index(1, 0));
    QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(opened.last().at(0).toString(), base + "/old.md");

    QSignalSpy cleared(&view, &SearchView::cleared);
    QTest::mouseClick(button(&view, QStringLiteral("クリア")), Qt::LeftButton);
    QCOMPARE(cleared.size(), 1);
    QVERIFY(field->text().isEmpty());
    QVERIFY(!results->isVisible());
}

void TestSearchWidgets::historyRowsRunAndDelete()
{
    m_env->useBaseFolder();
    SearchView view;
    view.show();
    view.controller().runHistoryEntry(QStringLiteral("beta"));
    view.controller().runHistoryEntry(QStringLiteral("alpha"));
    view.controller().clearSearch();

    auto *history = view.findChild<QListWidget *>();
    QVERIFY(history->isVisible());
    QCOMPARE(accessibleRows(history), (QStringList{"alpha", "beta"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QList<QToolButton *> deletes = history->viewport()->findChildren<QToolButton *>();
    QCOMPARE(deletes.size(), 2);
    QVERIFY(!deletes[0]->accessibleName().isEmpty());

    QTest::mouseClick(deletes[1], Qt::LeftButton);
    QCOMPARE(view.controller().history(), QStringList{"alpha"});
    QTest::mouseClick(history->viewport(), Qt::LeftButton, {},
                      history->visualItemRect(history->item(0)).center());
    QCOMPARE(view.controller().keyword(), QStringLiteral("alpha"));
    QVERIFY(view.controller().hasSearched());

    view.controller().clearSearch();
    QPushButton *clearAll = button(&view, QStringLiteral("履歴をすべて削除"));
    QVERIFY(clearAll->isVisible());
    QTest::mouseClick(clearAll, Qt::LeftButton);
    QVERIFY(!clearAll->isVisible());
}

void TestSearchWidgets::focusRequestsReachKeywordField()
{
    m_env->useBaseFolder();
    QWidget window;
    auto *other = new QLineEdit(&window);
    auto *view = new SearchView(&window);
    view->move(0, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    view->controller().requestKeywordFieldFocus();
    QCOMPARE(QApplication::focusWidget(), view->findChild<QLineEdit *>());
}

void TestSearchWidgets::paletteOpensChoiceAfterClosing()
{
    const QString base = m_env->useBaseFolder();
    QVERIFY(TestFiles::write(base + "/Projects/plan.md", "", 2000));
    QVERIFY(TestFiles::write(base + "/notes.md", "", 1000));
    QWidget window;
    window.resize(800, 600);
    window.show();
    QuickOpenView *palette = QuickOpenView::open(&window);
    QCOMPARE(QuickOpenView::open(&window), palette); // one at a time
    QCOMPARE(palette->findChild<QWidget *>(QStringLiteral("quickOpenPanel"))->size(),
             QuickOpenView::paletteSize);
    QCOMPARE(accessibleRows(palette->list()), (QStringList{"plan.md、Projects", "notes.md、."}));
    testModelOf(palette);

    QSignalSpy chosen(palette, &QuickOpenView::fileChosen);
    QTest::keyClicks(palette->queryField(), QStringLiteral("NOTES"));
    QTest::keyClick(palette->queryField(), Qt::Key_Return);
    QVERIFY(palette->isHidden());
    QCOMPARE(chosen.size(), 0); // not before the palette is gone
    QVERIFY(chosen.wait(1000));
    QCOMPARE(chosen.at(0).at(0).toString(), base + "/notes.md");
}

void TestSearchWidgets::paletteKeysWrapAndEscapeCloses()
{
    const QString base = m_env->useBaseFolder();
    for (int i = 0; i < 40; ++i)
        QVERIFY(TestFiles::write(base + QStringLiteral("/n%1.md").arg(i), "", 1000 + i));
    QWidget window;
    window.resize(800, 600);
    window.show();
    QPointer<QuickOpenView> palette = QuickOpenView::open(&window);
    testModelOf(palette);
    bool footerShown = false;
    for (QLabel *label : palette->findChildren<QLabel *>())
        footerShown |= label->text() == QStringLiteral("30 件");
    QVERIFY(footerShown);
    QTest::keyClick(palette->queryField(), Qt::Key_Up);
    QCOMPARE(palette->controller().selectedIndex(), 29);
    QTest::keyClick(palette->queryField(), Qt::Key_Down);
    QCOMPARE(palette->controller().selectedIndex(), 0);
    QSignalSpy closed(palette.data(), &QuickOpenView::closed);
    QTest::keyClick(palette->queryField(), Qt::Key_Escape);
    QCOMPARE(closed.size(), 1);
    QTRY_VERIFY(!palette);
}

QTEST_MAIN(TestSearchWidgets)
#include "tst_searchwidgets.moc"
