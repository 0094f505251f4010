#include "common/testenvironment.h"
#include "editor/editorsearchbar.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "platform/appevents.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString noteFile = u"/base/Notes/買い物リスト.md"_s;

QList<SearchDirection> directions(const QSignalSpy &requests)
{
    QList<SearchDirection> directions;
    for (const QList<QVariant> &arguments : requests)
        directions.append(arguments.value(0).value<SearchCommand>().direction);
    return directions;
}

} // namespace

char *toString(const EditorSearchState &state)
{
    return QTest::toString(u"\"%1\" %2 / %3"_s.arg(state.searchText)
                               .arg(state.currentIndex + 1)
                               .arg(state.resultCount));
}

class TestMemoEditorView : public QObject
{
    Q_OBJECT
    using Title = std::tuple<QString, QString, bool>;          // file, title text, a click edits
    using Ends = std::tuple<QString, bool, QStringList, bool>; // how, accepts, renames, editing
    using Rule =
        std::tuple<EditorSearchState, QString, bool, bool>; // state, label, not found, navigates

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_live = std::make_unique<EditorLiveState>();
        m_view = std::make_unique<MemoEditorView>(*m_live);
    }
    void cleanup()
    {
        m_view.reset();
        m_live.reset();
        m_env.reset();
    }

    void title_data()
    {
        QTest::addColumn<Title>("title");
        const auto title = [](const char *name, const char *file, const char *text, bool edits) {
            QTest::newRow(name) << Title{file, text, edits};
        };
        title("no file: placeholder, click does nothing", "", "ファイル未選択", false);
        title("note: name without extension, renamable", "/base/Notes/買い物リスト.md",
              "買い物リスト", true);
        title("note: only the last extension goes", "/base/Notes/v1.2 計画.md", "v1.2 計画", true);
        title("daily memo on a holiday: date and holiday, not renamable",
              "/base/Daily/2024-01-01.txt", "2024-01-01 元日", false);
        title("daily memo on a working day", "/base/Daily/2024-01-09.txt", "2024-01-09", false);
        title("date-named note outside Daily gets no holiday", "/base/Notes/2024-01-01.md",
              "2024-01-01", true);
        title("folder must be named exactly Daily", "/base/Notes/daily/2024-01-01.md", "2024-01-01",
              true);
    }
    void title()
    {
        QFETCH(Title, title);
        const auto &[file, text, clickEdits] = title;

        m_view->setHolidayNameProvider(
            [](const QDate &date) { return date == QDate(2024, 1, 1) ? u"元日"_s : QString(); });
        m_view->setRenameHandler([](const QString &) { return true; });
        QVERIFY(showView(file));
        auto *button = m_view->findChild<QPushButton *>(u"titleButton"_s);
        auto *field = m_view->findChild<QLineEdit *>(u"titleField"_s);
        QCOMPARE(m_view->titleText(), text);
        QCOMPARE(button->accessibleName(), text);

        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(field->isVisible(), clickEdits);
        if (clickEdits) {
            QCOMPARE(field->text(), QFileInfo(file).completeBaseName());
            QTRY_VERIFY(field->hasFocus());
        }
    }
    void titleEditingEnds_data()
    {
        QTest::addColumn<Ends>("ends");

        const auto ends = [](const char *name, const char *how, bool accepts, bool renames,
                             bool stillEditing) {
            QTest::newRow(name) << Ends{
                how, accepts, renames ? QStringList{u"menu 2"_s} : QStringList(), stillEditing};
        };
        ends("Return, owner renames: back to the title", "return", true, true, false);
        ends("Return, owner refuses: field stays with the typed name", "return", false, true, true);
        ends("Escape cancels without renaming", "escape", true, false, false);
        ends("another file opened cancels", "file", true, false, false);
        ends("base folder changed cancels", "folder", true, false, false);
    }
    void titleEditingEnds()
    {
        QFETCH(Ends, ends);
        const auto &[how, ownerAccepts, renames, stillEditing] = ends;

        QStringList requested;
        m_view->setRenameHandler([&](const QString &name) {
            requested << name;
            return ownerAccepts;
        });
        QVERIFY(showView(noteFile));
        auto *field = m_view->findChild<QLineEdit *>(u"titleField"_s);
        QTest::mouseClick(m_view->findChild<QPushButton *>(u"titleButton"_s), Qt::LeftButton);
        QTRY_VERIFY(field->hasFocus());
        field->selectAll();
        QTest::keyClicks(field, u"menu 2"_s);

        if (how == u"return"_s)
            QTest::keyClick(field, Qt::Key_Return);
        else if (how == u"escape"_s)
            QTest::keyClick(field, Qt::Key_Escape);
        else if (how == u"file"_s)
            m_view->showDocument(u"/base/Notes/別のノート.md"_s, QString());
        else
            AppEvents::instance().postBaseFolderChanged();

        QCOMPARE(requested, renames);
        QCOMPARE(field->isVisible(), stillEditing);
        if (stillEditing) {
            QCOMPARE(field->text(), u"menu 2"_s);
            QVERIFY(field->hasFocus());
            return;
        }
        // Opening it again starts from the file's name, never from abandoned text.
        QTest::mouseClick(m_view->findChild<QPushButton *>(u"titleButton"_s), Qt::LeftButton);
        QCOMPARE(field->text(), QFileInfo(m_view->titleText()).completeBaseName());
    }

    void debounceFollowsOnlyTheLastEdit()
    {
        m_view->setDebounceInterval(150);
        QVERIFY(showView(noteFile));
        QWidget *textEdit = focusEditorTextView();
        QVERIFY(textEdit);
        QSignalSpy changed(m_view.get(), &MemoEditorView::textChanged);
        QSignalSpy debounced(m_view.get(), &MemoEditorView::debouncedTextChanged);

        QTest::keyClicks(textEdit, u"abcd"_s, Qt::NoModifier, 20);
        QCOMPARE(changed.size(), 4);
        QCOMPARE(debounced.size(), 0);
        QTRY_COMPARE(debounced.size(), 1);
        QCOMPARE(debounced.last().value(0).toString(), u"abcd"_s);

        // An input method starts composing and gives up before the pause is over: no edit of its
        // own, and the typing before it is still reported.
        QTest::keyClicks(textEdit, u"e"_s);
        QInputMethodEvent start(u"か"_s, {});
        QCoreApplication::sendEvent(textEdit, &start);
        QInputMethodEvent cancel;
        QCoreApplication::sendEvent(textEdit, &cancel);
        QTRY_COMPARE(debounced.size(), 2);
        QCOMPARE(debounced.last().value(0).toString(), u"abcde"_s);

        // Another file arrives before the pause is over: its text, not the typing, is current.
        QTest::keyClicks(textEdit, u"f"_s);
        m_view->showDocument(u"/base/Notes/別のノート.md"_s, u"別の本文"_s);
        QTest::qWait(400);
        QCOMPARE(debounced.size(), 2);
    }

    void searchRules_data()
    {
        QTest::addColumn<Rule>("rule");
        QTest::newRow("no query: nothing to show") << Rule{{}, QString(), false, false};
        QTest::newRow("query without match")
            << Rule{{u"zz"_s, 0, 0}, u"見つかりません"_s, true, false};
        QTest::newRow("position is 1-based") << Rule{{u"a"_s, 5, 1}, u"2 / 5"_s, false, true};
        QTest::newRow("robustness: stale count without a query")
            << Rule{{QString(), 3, 2}, QString(), false, false};
    }
    void searchRules()
    {
        QFETCH(Rule, rule);
        const auto &[state, label, notFound, canNavigate] = rule;

        QCOMPARE(EditorSearchRules::isNotFound(state), notFound);
        QCOMPARE(EditorSearchRules::request(state, SearchDirection::next).has_value(),
                 !state.searchText.isEmpty());

        EditorSearchBar bar;
        bar.show();
        bar.setSearchText(state.searchText);
        bar.setSearchResult(state.resultCount, state.currentIndex);
        QCOMPARE(bar.resultLabel()->text(), label);
        QCOMPARE((QList<bool>{bar.resultLabel()->isVisible(), bar.clearButton()->isVisible()}),
                 QList<bool>(2, !state.searchText.isEmpty()));

        QSignalSpy requests(&bar, &EditorSearchBar::searchRequested);
        QSignalSpy changed(&bar, &EditorSearchBar::searchTextChanged);
        bar.nextButton()->click();
        bar.previousButton()->click();
        QCOMPARE(directions(requests),
                 (canNavigate ? QList{SearchDirection::next, SearchDirection::previous}
                              : QList<SearchDirection>()));
        bar.clearButton()->click();
        QCOMPARE(bar.state(), EditorSearchState{});
        QCOMPARE(bar.searchField()->text(), QString());
        QCOMPARE(changed, state.searchText.isEmpty() ? QList<QVariantList>()
                                                     : QList<QVariantList>{{QString()}});
    }
    void searchStateChanges()
    {
        using namespace EditorSearchRules;
        const EditorSearchState atThird{u"メモ"_s, 4, 2};

        QCOMPARE(withSearchText(atThird, u"メモ帳"_s), (EditorSearchState{u"メモ帳"_s, 4, 0}));
        QCOMPARE(withSearchText(atThird, u"メモ"_s), atThird);
        QCOMPARE(synced(atThird, u"メモ"_s), atThird);

        const auto first = request(atThird, SearchDirection::previous);
        const auto second = request(atThird, SearchDirection::previous);
        QVERIFY(first && second);
        QCOMPARE(first->direction, SearchDirection::previous);
        QVERIFY(first->token != second->token); // two equal requests are both seen
    }
    void searchFieldKeysActOnlyInTheField()
    {
        QVERIFY(showView(noteFile, u"ab ab ab"_s));
        EditorSearchBar *bar = m_view->searchBar();
        QLineEdit *field = bar->searchField();
        QVERIFY(!bar->isSearchFieldFocused()); // appearing never hands it the keyboard
        QSignalSpy requests(bar, &EditorSearchBar::searchRequested);
        QSignalSpy edits(m_view.get(), &MemoEditorView::textChanged);

        QWidget *textEdit = focusEditorTextView();
        QVERIFY(textEdit);
        QTest::keyClick(textEdit, Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(bar->isSearchFieldFocused());

        QTest::keyClicks(field, u"ab"_s);
        QCOMPARE(m_view->editor()->searchQuery(), u"ab"_s);
        QTRY_COMPARE(bar->state().resultCount, 3);
        QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(field, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(field, Qt::Key_G, Qt::ControlModifier);
        AppEvents::instance().postEditorSearchNavigate(SearchDirection::previous);
        QCOMPARE(directions(requests),
                 QList<SearchDirection>({SearchDirection::next, SearchDirection::previous,
                                         SearchDirection::next, SearchDirection::previous,
                                         SearchDirection::next, SearchDirection::previous}));

        // A decoration key typed in the search field must not reach the document.
        QTest::keyClick(field, Qt::Key_B, Qt::ControlModifier);
        QTest::qWait(20);
        QCOMPARE(edits.size(), 0);
        QCOMPARE(field->text(), u"ab"_s);

        // The field's keys do nothing in the text.
        requests.clear();
        QVERIFY(focusEditorTextView());
        QTest::keyClick(textEdit, Qt::Key_Escape);
        QTest::keyClick(textEdit, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(bar->searchText(), u"ab"_s);
        QCOMPARE(requests.size(), 0);

        // Back in the field, typing replaces the old query; Escape clears it and returns.
        AppEvents::instance().postFocusEditorSearchBar();
        QTRY_VERIFY(bar->isSearchFieldFocused());
        QCOMPARE(field->selectedText(), u"ab"_s);
        QSignalSpy posted(&AppEvents::instance(), &AppEvents::posted);
        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(bar->state(), EditorSearchState{});
        QCOMPARE(m_view->editor()->searchQuery(), QString());
        QCOMPARE(posted.count(QVariantList{Notifications::FocusEditor}), 1);
        QTRY_VERIFY(m_view->editor()->isAncestorOf(QApplication::focusWidget()));
    }
    // Whether the editor asks for the focus on appearing is driven by tst_contentview; here the
    // owner switches to a page that keeps the focus before the request went out.
    void focusRequestWithdrawnBeforeItGoesOut()
    {
        QSignalSpy posted(&AppEvents::instance(), &AppEvents::posted);
        QSignalSpy disappeared(m_view.get(), &MemoEditorView::disappeared);
        m_view->setPreferEditorFocusOnAppear(true);
        m_view->show();
        m_view->setPreferEditorFocusOnAppear(false);
        bool settled = false;
        QTimer::singleShot(0, this, [&settled] { settled = true; });
        QTRY_VERIFY(settled);
        QCOMPARE(posted.count(QVariantList{Notifications::FocusEditor}), 0);
        m_view->hide();
        QCOMPARE(disappeared.size(), 1);
    }

    // Icon-only buttons are checked across the window by tst_accessibility; the fields are not.
    void fieldsHaveAccessibleNames()
    {
        m_view->setRenameHandler([](const QString &) { return true; });
        QVERIFY(showView(noteFile));
        const QList<QLineEdit *> fields = m_view->findChildren<QLineEdit *>();
        QVERIFY(fields.size() >= 2);
        for (QLineEdit *field : fields) {
            const QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(field);
            QVERIFY2(accessible && !accessible->text(QAccessible::Name).isEmpty(),
                     qPrintable(field->objectName()));
        }
    }

    // A message longer than the toolbar's room stays clear of the preview button and shows how
    // it goes on; the tooltip and a screen reader get it whole.
    void longMessageIsShownWhole()
    {
        QVERIFY(showView(noteFile));
        m_view->resize(320, 400);
        const QString message = u"他のアプリケーションと同じ箇所が変更されたため、別のファイルに"
                                u"保存しました: 買い物リスト (競合 2025-03-05 090507).md"_s;
        m_view->setTemporaryMessage(message, true);
        auto *label = m_view->findChild<QLabel *>(u"statusMessage"_s);
        auto *toggle = m_view->findChild<QToolButton *>(u"previewToggle"_s);
        QVERIFY(label && toggle);
        QTRY_VERIFY(label->isVisible() && !label->text().isEmpty());
        QVERIFY2(
            label->geometry().right() < toggle->geometry().left(),
            qPrintable(u"%1 / %2"_s.arg(label->geometry().right()).arg(toggle->geometry().left())));
        const QString shown = label->text();
        QVERIFY2(label->fontMetrics().horizontalAdvance(shown) <= label->contentsRect().width(),
                 qPrintable(shown));
        QVERIFY2(shown.endsWith(u'…') && message.startsWith(shown.chopped(1)), qPrintable(shown));
        QCOMPARE(label->toolTip(), message);
        QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), message);
    }

private:
    MemoEditorView *showView(const QString &file, const QString &text = {})
    {
        m_view->resize(600, 400);
        m_view->showDocument(file, text);
        m_view->show();
        // Focus only moves inside the active window.
        m_view->activateWindow();
        if (!QTest::qWaitForWindowActive(m_view.get()))
            return nullptr;
        return m_view.get();
    }
    QWidget *focusEditorTextView()
    {
        m_view->editor()->focusEditor();
        QWidget *focused = QApplication::focusWidget();
        return focused && m_view->editor()->isAncestorOf(focused) ? focused : nullptr;
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<EditorLiveState> m_live;
    std::unique_ptr<MemoEditorView> m_view;
};

QTEST_MAIN(TestMemoEditorView)
#include "tst_memoeditorview.moc"
