#include "common/testenvironment.h"
#include "editor/editorsearchbar.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "platform/appevents.h"
#include "storage/settings.h"

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
const QString holidayMemo = u"/base/Daily/2024-01-01.txt"_s;

QString newYearOnly(const QDate &date)
{
    return date == QDate(2024, 1, 1) ? u"元日"_s : QString();
}

int postedCount(const QSignalSpy &spy, const QString &name)
{
    int count = 0;
    for (const QList<QVariant> &arguments : spy)
        count += arguments.value(0).toString() == name ? 1 : 0;
    return count;
}

SearchDirection directionAt(const QSignalSpy &spy, qsizetype index)
{
    return spy.at(index).value(0).value<SearchCommand>().direction;
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

private Q_SLOTS:
    void init();
    void cleanup();

    void title_data();
    void title();
    void titleEditingEnds_data();
    void titleEditingEnds();

    void debounceFollowsOnlyTheLastEdit();
    void debounceOutlastsAnAbandonedComposition();

    void searchRules_data();
    void searchRules();
    void searchStateChanges();
    void searchBarWidgets();
    void searchKeywordSynced_data();
    void searchKeywordSynced();
    void searchFieldKeys();
    void searchKeysOnlyInSearchField();

    void focusOnAppear();
    void controlsHaveAccessibleNames();

private:
    MemoEditorView *showView(const QString &file, const QString &text = {});
    QWidget *focusEditorTextView();

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<EditorLiveState> m_live;
    std::unique_ptr<MemoEditorView> m_view;
};

void TestMemoEditorView::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_live = std::make_unique<EditorLiveState>();
}

void TestMemoEditorView::cleanup()
{
    m_view.reset();
    m_live.reset();
    m_env.reset();
}

MemoEditorView *TestMemoEditorView::showView(const QString &file, const QString &text)
{
    if (!m_view) // else the test set it up before showing it
        m_view = std::make_unique<MemoEditorView>(*m_live);
    m_view->resize(600, 400);
    m_view->showDocument(file, text);
    m_view->show();
    // Focus only moves inside the active window.
    m_view->activateWindow();
    if (!QTest::qWaitForWindowActive(m_view.get()))
        return nullptr;
    return m_view.get();
}

QWidget *TestMemoEditorView::focusEditorTextView()
{
    m_view->editor()->focusEditor();
    QWidget *focused = QApplication::focusWidget();
    return focused && m_view->editor()->isAncestorOf(focused) ? focused : nullptr;
}

void TestMemoEditorView::title_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("help");
    QTest::addColumn<bool>("clickEdits");

    const QString renameHelp = u"クリックして名前を変更"_s;
    const QString dailyHelp = u"日付メモの名前は変更できません"_s;
    QTest::newRow("no file: placeholder, no help, click does nothing")
        << QString() << u"ファイル未選択"_s << QString() << false;
    QTest::newRow("note: name without extension, renamable")
        << noteFile << u"買い物リスト"_s << renameHelp << true;
    QTest::newRow("note: only the last extension goes")
        << u"/base/Notes/v1.2 計画.md"_s << u"v1.2 計画"_s << renameHelp << true;
    QTest::newRow("daily memo on a holiday: date and holiday, not renamable")
        << holidayMemo << u"2024-01-01 元日"_s << dailyHelp << false;
    QTest::newRow("daily memo on a working day")
        << u"/base/Daily/2024-01-09.txt"_s << u"2024-01-09"_s << dailyHelp << false;
    QTest::newRow("robustness: impossible date in Daily stays the name")
        << u"/base/Daily/2024-02-30.txt"_s << u"2024-02-30"_s << dailyHelp << false;
    QTest::newRow("date-named note outside Daily gets no holiday")
        << u"/base/Notes/2024-01-01.md"_s << u"2024-01-01"_s << renameHelp << true;
    QTest::newRow("folder must be named exactly Daily")
        << u"/base/Notes/daily/2024-01-01.md"_s << u"2024-01-01"_s << renameHelp << true;
}

void TestMemoEditorView::title()
{
    QFETCH(QString, file);
    QFETCH(QString, text);
    QFETCH(QString, help);
    QFETCH(bool, clickEdits);

    QCOMPARE(MemoTitle::text(file, newYearOnly), text);

    m_view = std::make_unique<MemoEditorView>(*m_live);
    m_view->setHolidayNameProvider(newYearOnly);
    m_view->setRenameHandler([](const QString &) { return true; });
    MemoEditorView *view = showView(file);
    QVERIFY(view);
    auto *button = view->findChild<QPushButton *>(u"titleButton"_s);
    auto *field = view->findChild<QLineEdit *>(u"titleField"_s);
    QCOMPARE(view->titleText(), text);
    QCOMPARE(button->accessibleName(), text);
    QCOMPARE(button->toolTip(), help);

    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(view->isEditingTitle(), clickEdits);
    QCOMPARE(field->isVisible(), clickEdits);
    if (clickEdits) {
        QCOMPARE(field->text(), QFileInfo(file).completeBaseName());
        QTRY_VERIFY(field->hasFocus());
    }
}

void TestMemoEditorView::titleEditingEnds_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("ownerAccepts");
    QTest::addColumn<QStringList>("renames");
    QTest::addColumn<bool>("stillEditing");

    const QStringList typed{u"menu 2"_s};
    QTest::newRow("Return, owner renames: back to the title")
        << u"return"_s << true << typed << false;
    QTest::newRow("Return, owner refuses: field stays with the typed name")
        << u"return"_s << false << typed << true;
    QTest::newRow("Escape cancels without renaming")
        << u"escape"_s << true << QStringList() << false;
    QTest::newRow("another file opened cancels") << u"file"_s << true << QStringList() << false;
    QTest::newRow("base folder changed cancels") << u"folder"_s << true << QStringList() << false;
}

void TestMemoEditorView::titleEditingEnds()
{
    QFETCH(QString, how);
    QFETCH(bool, ownerAccepts);
    QFETCH(QStringList, renames);
    QFETCH(bool, stillEditing);

    m_view = std::make_unique<MemoEditorView>(*m_live);
    QStringList requested;
    m_view->setRenameHandler([&](const QString &name) {
        requested << name;
        return ownerAccepts;
    });
    MemoEditorView *view = showView(noteFile);
    QVERIFY(view);
    auto *field = view->findChild<QLineEdit *>(u"titleField"_s);
    QTest::mouseClick(view->findChild<QPushButton *>(u"titleButton"_s), Qt::LeftButton);
    QTRY_VERIFY(field->hasFocus());
    field->selectAll();
    QTest::keyClicks(field, u"menu 2"_s);

    if (how == u"return"_s)
        QTest::keyClick(field, Qt::Key_Return);
    else if (how == u"escape"_s)
        QTest::keyClick(field, Qt::Key_Escape);
    else if (how == u"file"_s)
        view->showDocument(u"/base/Notes/別のノート.md"_s, QString());
    else
        AppEvents::instance().postBaseFolderChanged();

    QCOMPARE(requested, renames);
    QCOMPARE(view->isEditingTitle(), stillEditing);
    QCOMPARE(field->isVisible(), stillEditing);
    if (stillEditing) {
        QCOMPARE(field->text(), u"menu 2"_s);
        QVERIFY(field->hasFocus());
        return;
    }
    // Opening it again starts from the file's name, never from abandoned text.
    QTest::mouseClick(view->findChild<QPushButton *>(u"titleButton"_s), Qt::LeftButton);
    QCOMPARE(field->text(), QFileInfo(view->titleText()).completeBaseName());
}

void TestMemoEditorView::debounceFollowsOnlyTheLastEdit()
{
    m_view = std::make_unique<MemoEditorView>(*m_live);
    m_view->setDebounceInterval(150);
    MemoEditorView *view = showView(noteFile);
    QVERIFY(view);
    QWidget *textEdit = focusEditorTextView();
    QVERIFY(textEdit);
    QSignalSpy changed(view, &MemoEditorView::textChanged);
    QSignalSpy debounced(view, &MemoEditorView::debouncedTextChanged);

    QTest::keyClicks(textEdit, u"abcd"_s, Qt::NoModifier, 20);
    QCOMPARE(changed.size(), 4);
    QCOMPARE(m_live->latestText(), u"abcd"_s);
    QCOMPARE(debounced.size(), 0);
    QTRY_COMPARE(debounced.size(), 1);
    QCOMPARE(debounced.last().value(0).toString(), u"abcd"_s);

    // Another file arrives before the pause is over: its text, not the typing, is current.
    QTest::keyClicks(textEdit, u"e"_s);
    view->showDocument(u"/base/Notes/別のノート.md"_s, u"別の本文"_s);
    QTest::qWait(400);
    QCOMPARE(debounced.size(), 1);
}

void TestMemoEditorView::debounceOutlastsAnAbandonedComposition()
{
    m_view = std::make_unique<MemoEditorView>(*m_live);
    m_view->setDebounceInterval(150);
    MemoEditorView *view = showView(noteFile);
    QVERIFY(view);
    QWidget *textEdit = focusEditorTextView();
    QVERIFY(textEdit);
    QSignalSpy changed(view, &MemoEditorView::textChanged);
    QSignalSpy debounced(view, &MemoEditorView::debouncedTextChanged);

    QTest::keyClicks(textEdit, u"ab"_s);
    // An input method starts composing and gives up before the pause is over.
    QInputMethodEvent start(u"か"_s, {});
    QCoreApplication::sendEvent(textEdit, &start);
    QInputMethodEvent cancel;
    QCoreApplication::sendEvent(textEdit, &cancel);
    QTRY_COMPARE(debounced.size(), 1);
    QCOMPARE(debounced.last().value(0).toString(), u"ab"_s);
    QCOMPARE(changed.size(), 2);
}

void TestMemoEditorView::searchRules_data()
{
    QTest::addColumn<EditorSearchState>("state");
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("notFound");
    QTest::addColumn<bool>("canNavigate");

    QTest::newRow("no query: nothing to show")
        << EditorSearchState{} << QString() << false << false;
    QTest::newRow("query without match")
        << EditorSearchState{u"zz"_s, 0, 0} << u"見つかりません"_s << true << false;
    QTest::newRow("position is 1-based")
        << EditorSearchState{u"a"_s, 5, 1} << u"2 / 5"_s << false << true;
    QTest::newRow("robustness: stale count without a query")
        << EditorSearchState{QString(), 3, 2} << QString() << false << false;
}

void TestMemoEditorView::searchRules()
{
    QFETCH(EditorSearchState, state);
    QFETCH(QString, label);
    QFETCH(bool, notFound);
    QFETCH(bool, canNavigate);

    QCOMPARE(EditorSearchRules::resultText(state), label);
    QCOMPARE(EditorSearchRules::isNotFound(state), notFound);
    QCOMPARE(EditorSearchRules::canNavigate(state), canNavigate);
    QCOMPARE(EditorSearchRules::request(state, SearchDirection::next).has_value(),
             !state.searchText.isEmpty());

    EditorSearchBar bar;
    bar.show();
    bar.setSearchText(state.searchText);
    bar.setSearchResult(state.resultCount, state.currentIndex);
    QCOMPARE(bar.resultLabel()->text(), label);
    QCOMPARE(bar.resultLabel()->isVisible(), !state.searchText.isEmpty());
    QCOMPARE(bar.clearButton()->isVisible(), !state.searchText.isEmpty());
    QCOMPARE(bar.previousButton()->isEnabled(), canNavigate);
    QCOMPARE(bar.nextButton()->isEnabled(), canNavigate);
}

void TestMemoEditorView::searchStateChanges()
{
    using namespace EditorSearchRules;
    const EditorSearchState atThird{u"メモ"_s, 4, 2};

    QCOMPARE(withSearchText(atThird, u"メモ帳"_s), (EditorSearchState{u"メモ帳"_s, 4, 0}));
    QCOMPARE(withSearchText(atThird, u"メモ"_s), atThird);
    QCOMPARE(synced(atThird, u"日記"_s), (EditorSearchState{u"日記"_s, 4, 0}));
    QCOMPARE(synced(atThird, u"メモ"_s), atThird);
    QCOMPARE(synced(atThird, QString()), EditorSearchState{});

    const auto first = request(atThird, SearchDirection::previous);
    const auto second = request(atThird, SearchDirection::previous);
    QVERIFY(first && second);
    QCOMPARE(first->direction, SearchDirection::previous);
    QVERIFY(first->token != second->token); // two equal requests are both seen
}

void TestMemoEditorView::searchBarWidgets()
{
    EditorSearchBar bar;
    bar.show();
    QSignalSpy changed(&bar, &EditorSearchBar::searchTextChanged);
    QSignalSpy requests(&bar, &EditorSearchBar::searchRequested);

    bar.setSearchText(u"a"_s);
    bar.setSearchResult(3, 2);
    bar.nextButton()->click();
    bar.previousButton()->click();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(directionAt(requests, 0), SearchDirection::next);
    QCOMPARE(directionAt(requests, 1), SearchDirection::previous);

    bar.setSearchResult(0, 0);
    QVERIFY(bar.resultLabel()->palette().color(QPalette::WindowText).red() > 200);
    bar.clearButton()->click();
    QCOMPARE(bar.state(), EditorSearchState{});
    QCOMPARE(bar.searchField()->text(), QString());
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed.last().value(0).toString(), QString());
}

void TestMemoEditorView::searchKeywordSynced_data()
{
    QTest::addColumn<bool>("throughSetting");

    QTest::newRow("SearchKeywordSynced notification") << false;
    QTest::newRow("searchKeyword setting") << true;
}

void TestMemoEditorView::searchKeywordSynced()
{
    QFETCH(bool, throughSetting);

    m_view = std::make_unique<MemoEditorView>(*m_live);
    EditorSearchBar *bar = m_view->searchBar();
    const auto sync = [&](const QString &keyword) {
        if (throughSetting)
            Settings::instance().setSearchKeyword(keyword);
        else
            AppEvents::instance().postSearchKeywordSynced(keyword);
    };

    bar->setSearchText(u"旧"_s);
    bar->setSearchResult(3, 2);
    sync(u"会議"_s);
    QCOMPARE(bar->searchField()->text(), u"会議"_s);
    QCOMPARE(bar->state().currentIndex, 0);
    QCOMPARE(m_view->editor()->searchQuery(), u"会議"_s);

    sync(QString());
    QCOMPARE(bar->state(), EditorSearchState{});
    QCOMPARE(m_view->editor()->searchQuery(), QString());
}

void TestMemoEditorView::searchFieldKeys()
{
    MemoEditorView *view = showView(noteFile, u"ab ab ab"_s);
    QVERIFY(view);
    EditorSearchBar *bar = view->searchBar();
    QLineEdit *field = bar->searchField();
    QVERIFY(!bar->isSearchFieldFocused()); // appearing never hands it the keyboard
    QSignalSpy requests(bar, &EditorSearchBar::searchRequested);
    QSignalSpy edits(view, &MemoEditorView::textChanged);

    QWidget *textEdit = focusEditorTextView();
    QVERIFY(textEdit);
    QTest::keyClick(textEdit, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(bar->isSearchFieldFocused());
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(requests.size(), 0); // nothing to look for yet

    QTest::keyClicks(field, u"ab"_s);
    QCOMPARE(view->editor()->searchQuery(), u"ab"_s);
    QTRY_COMPARE(bar->state().resultCount, 3);
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(field, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(field, Qt::Key_G, Qt::ControlModifier);
    AppEvents::instance().postEditorSearchNavigate(SearchDirection::previous);
    const QList<SearchDirection> expected{SearchDirection::next, SearchDirection::previous,
                                          SearchDirection::next, SearchDirection::previous,
                                          SearchDirection::next, SearchDirection::previous};
    QCOMPARE(requests.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        QCOMPARE(directionAt(requests, i), expected.at(i));

    // A decoration key typed in the search field must not reach the document.
    QTest::keyClick(field, Qt::Key_B, Qt::ControlModifier);
    QTest::qWait(20);
    QCOMPARE(edits.size(), 0);
    QCOMPARE(field->text(), u"ab"_s);
}

void TestMemoEditorView::searchKeysOnlyInSearchField()
{
    MemoEditorView *view = showView(noteFile, u"ab ab"_s);
    QVERIFY(view);
    EditorSearchBar *bar = view->searchBar();
    bar->setSearchText(u"ab"_s);
    QSignalSpy requests(bar, &EditorSearchBar::searchRequested);
    QSignalSpy posted(&AppEvents::instance(), &AppEvents::posted);

    QWidget *textEdit = focusEditorTextView();
    QVERIFY(textEdit);
    QTest::keyClick(textEdit, Qt::Key_Escape);
    QTest::keyClick(textEdit, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(bar->searchText(), u"ab"_s);
    QCOMPARE(requests.size(), 0);

    AppEvents::instance().postFocusEditorSearchBar();
    QTRY_VERIFY(bar->isSearchFieldFocused());
    QCOMPARE(bar->searchField()->selectedText(), u"ab"_s); // typing replaces the old query
    posted.clear();
    QTest::keyClick(bar->searchField(), Qt::Key_Escape);
    QCOMPARE(bar->state(), EditorSearchState{});
    QCOMPARE(view->editor()->searchQuery(), QString());
    QCOMPARE(postedCount(posted, Notifications::FocusEditor), 1);
    QTRY_VERIFY(view->editor()->isAncestorOf(QApplication::focusWidget()));
}

void TestMemoEditorView::focusOnAppear()
{
    m_view = std::make_unique<MemoEditorView>(*m_live);
    QSignalSpy posted(&AppEvents::instance(), &AppEvents::posted);
    QSignalSpy disappeared(m_view.get(), &MemoEditorView::disappeared);

    m_view->show();
    QTest::qWait(20);
    QCOMPARE(postedCount(posted, Notifications::FocusEditor), 0);
    m_view->hide();
    QCOMPARE(disappeared.size(), 1);

    m_view->setPreferEditorFocusOnAppear(true);
    m_view->show();
    // Asked for on the next turn of the event loop, once the page is really there.
    QCOMPARE(postedCount(posted, Notifications::FocusEditor), 0);
    QTRY_COMPARE(postedCount(posted, Notifications::FocusEditor), 1);

    // The owner switched to a page that keeps the focus before the request went out.
    m_view->hide();
    posted.clear();
    m_view->show();
    m_view->setPreferEditorFocusOnAppear(false);
    bool settled = false;
    QTimer::singleShot(0, this, [&settled] { settled = true; });
    QTRY_VERIFY(settled);
    QCOMPARE(postedCount(posted, Notifications::FocusEditor), 0);
}

void TestMemoEditorView::controlsHaveAccessibleNames()
{
    m_view = std::make_unique<MemoEditorView>(*m_live);
    m_view->setRenameHandler([](const QString &) { return true; });
    MemoEditorView *view = showView(noteFile);
    QVERIFY(view);
    view->searchBar()->setSearchText(u"a"_s);

    QList<QWidget *> controls;
    for (QAbstractButton *button : view->findChildren<QAbstractButton *>())
        controls << button;
    const QList<QLineEdit *> fields = view->findChildren<QLineEdit *>();
    controls << QList<QWidget *>(fields.cbegin(), fields.cend());
    QVERIFY(controls.size() >= 7);

    for (QWidget *control : std::as_const(controls)) {
        const QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
        QVERIFY(accessible);
        const QByteArray what = (control->objectName() + u' ' + control->toolTip()).toUtf8();
        QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(), what.constData());
        const bool isField = qobject_cast<QLineEdit *>(control) != nullptr;
        const QAccessible::Role role = accessible->role();
        QVERIFY2(isField ? role == QAccessible::EditableText
                         : role == QAccessible::Button || role == QAccessible::PushButton,
                 what.constData());
    }

    const EditorSearchBar *bar = view->searchBar();
    QCOMPARE(bar->previousButton()->accessibleName(), u"前の一致を表示 (Shift+Ctrl+G)"_s);
    QCOMPARE(bar->nextButton()->accessibleName(), u"次の一致を表示 (Ctrl+G)"_s);
    QCOMPARE(bar->clearButton()->toolTip(), u"検索ワードをクリア"_s);
    QCOMPARE(bar->searchField()->placeholderText(), u"キーワードを入力"_s);
}

QTEST_MAIN(TestMemoEditorView)
#include "tst_memoeditorview.moc"
