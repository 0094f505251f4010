#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "search/quickopen.h"
#include "search/quickopenview.h"
#include "search/searchcontroller.h"
#include "search/searchresultlist.h"
#include "search/searchview.h"
#include "storage/pins.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

// Clicks on result, history and palette rows are driven, mouse and screen reader alike, by
// tst_accessibility's listRowsActAsClicked; the keyword field's focus requests by
// tst_contentview's focusWhenTheWindowComesBack.

using namespace Qt::StringLiterals;

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

/// Opens the palette over a shown window, checking every later change of its list against the
/// model contract.
QuickOpenView *openPalette(QWidget *window)
{
    window->resize(800, 600);
    window->show();
    QuickOpenView *palette = QuickOpenView::open(window);
    QAbstractItemModel *model = palette->list()->model();
    new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::Fatal,
                                 model);
    return palette;
}

} // namespace

class TestSearchWidgets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void searchPageShowsResultsAndClears()
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
        QCOMPARE(opened, QList<QVariantList>{{QString(base + "/new.md")}});
        auto *results = view.findChild<QListView *>();
        QCOMPARE(accessibleRows(results),
                 (QStringList{"new.md、1 件、a memo line", "old.md、2 件、memo memo"}));

        QSignalSpy cleared(&view, &SearchView::cleared);
        QTest::mouseClick(button(&view, QStringLiteral("クリア")), Qt::LeftButton);
        QCOMPARE(cleared.size(), 1);
        QVERIFY(field->text().isEmpty());
        QVERIFY(!results->isVisible());
    }

    // Typing searches once it pauses, committed text only: an input method's composition waits,
    // also after part of it was committed. Typing neither records the keyword nor opens a hit;
    // Return still does both.
    void typingSearchesOnlyCommittedText()
    {
        const QString base = m_env->useBaseFolder();
        QVERIFY(TestFiles::write(base + "/a.md", "会議の予定", 1000));
        SearchView view;
        view.show();
        SearchController &controller = view.controller();
        QSignalSpy opened(&view, &SearchView::hitSelected);
        auto *field = view.findChild<QLineEdit *>();
        const auto send = [field](const QString &preedit, const QString &commit) {
            QInputMethodEvent event(preedit, {});
            event.setCommitString(commit);
            QCoreApplication::sendEvent(field, &event);
        };
        send(u"かいぎ"_s, QString());
        QVERIFY(!controller.typedSearchPending());
        send(QString(), u"会議"_s);
        QCOMPARE(field->text(), u"会議"_s);
        QVERIFY(controller.typedSearchPending());
        // Composing goes on after the commit: the search waits for it.
        send(u"の"_s, QString());
        QVERIFY(!controller.typedSearchPending());
        send(QString(), QString()); // the composition cancelled
        QVERIFY(controller.typedSearchPending());
        QTRY_VERIFY(controller.hasSearched());
        QCOMPARE(controller.results().size(), 1);
        QCOMPARE(controller.summary(), u"1 件 / 一致 1 件"_s);
        QVERIFY(controller.history().isEmpty());
        QVERIFY(opened.isEmpty());

        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(controller.history(), QStringList{u"会議"_s});
        QCOMPARE(opened.size(), 1);
        QVERIFY(!controller.typedSearchPending());
    }

    // The pin mark says what it means, on hover and to a screen reader; the rest of the row
    // shows the note's path.
    void pinMarkExplainsItself()
    {
        const QString base = m_env->useBaseFolder();
        QVERIFY(TestFiles::write(base + "/pinned.md", "memo", 2000));
        QVERIFY(TestFiles::write(base + "/plain.md", "memo", 1000));
        Pins::pinNote(base + "/pinned.md");
        SearchView view;
        view.resize(260, 600);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *field = view.findChild<QLineEdit *>();
        QTest::keyClicks(field, QStringLiteral("memo"));
        QTest::keyClick(field, Qt::Key_Return);
        auto *results = view.findChild<QListView *>();
        auto *delegate = qobject_cast<SearchResultDelegate *>(results->itemDelegate());
        QVERIFY(delegate);
        const auto tooltipAt = [results](QPoint at) {
            QHelpEvent help(QEvent::ToolTip, at, results->viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(results->viewport(), &help);
            const QString shown = QToolTip::isVisible() ? QToolTip::text() : QString();
            QToolTip::hideText();
            return shown;
        };
        QStringList tooltips;
        QStringList descriptions;
        for (int row = 0; row < 2; ++row) {
            const QModelIndex index = results->model()->index(row, 0);
            QStyleOptionViewItem option;
            option.initFrom(results->viewport());
            option.rect = results->visualRect(index);
            option.font = results->font();
            const QRect pin = delegate->pinMarkRect(option, index);
            QCOMPARE(pin.isEmpty(), row == 1);
            tooltips.append(tooltipAt(pin.isEmpty() ? option.rect.center() : pin.center()));
            tooltips.append(tooltipAt(option.rect.topLeft() + QPoint(12, 12)));
            descriptions.append(index.data(Qt::AccessibleDescriptionRole).toString());
        }
        QCOMPARE(tooltips, (QStringList{"ピン留め中", base + "/pinned.md", base + "/plain.md",
                                        base + "/plain.md"}));
        QCOMPARE(descriptions, (QStringList{"ピン留め中", ""}));
    }

    void historyRowsDelete()
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

        QPushButton *clearAll = button(&view, QStringLiteral("履歴をすべて削除"));
        QVERIFY(clearAll->isVisible());
        QTest::mouseClick(clearAll, Qt::LeftButton);
        QVERIFY(!clearAll->isVisible());
        QCOMPARE(view.controller().history(), QStringList());
    }

    void paletteOpensChoiceAfterClosing()
    {
        const QString base = m_env->useBaseFolder();
        QVERIFY(TestFiles::write(base + "/Projects/plan.md", "", 2000));
        QVERIFY(TestFiles::write(base + "/notes.md", "", 1000));
        QWidget window;
        QuickOpenView *palette = openPalette(&window);
        QCOMPARE(QuickOpenView::open(&window), palette); // one at a time
        QCOMPARE(accessibleRows(palette->list()),
                 (QStringList{"plan.md、Projects", "notes.md、."}));
        QSignalSpy chosen(palette, &QuickOpenView::fileChosen);
        QTest::keyClicks(palette->queryField(), QStringLiteral("NOTES"));
        QTest::keyClick(palette->queryField(), Qt::Key_Return);
        QVERIFY(palette->isHidden());
        QCOMPARE(chosen.size(), 0); // not before the palette is gone
        QVERIFY(chosen.wait(1000));
        QCOMPARE(chosen.at(0).at(0).toString(), base + "/notes.md");
    }

    void paletteKeysWrapAndEscapeCloses()
    {
        const QString base = m_env->useBaseFolder();
        // How many are listed is quickOpenRecentListIsNewestThirty's.
        for (int i = 0; i < 3; ++i)
            QVERIFY(TestFiles::write(base + QStringLiteral("/n%1.md").arg(i), "", 1000 + i));
        QWidget window;
        QPointer<QuickOpenView> palette = openPalette(&window);
        QTest::keyClick(palette->queryField(), Qt::Key_Up);
        QCOMPARE(palette->controller().selectedIndex(), 2);
        QTest::keyClick(palette->queryField(), Qt::Key_Down);
        QCOMPARE(palette->controller().selectedIndex(), 0);
        // Where the focus goes after Escape is tst_contentview's focusReturnsAfterQuickOpen.
        QTest::keyClick(palette->queryField(), Qt::Key_Escape);
        QTRY_VERIFY(!palette);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestSearchWidgets)
#include "tst_searchwidgets.moc"
