#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "app/appearance.h"
#include "app/contentview.h"
#include "app/translations.h"
#include "calendar/calendarcolors.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "editor/notetextedit.h"
#include "platform/clock.h"
#include "preview/markdownheaderinfoview.h"
#include "preview/markdownpreviewpane.h"
#include "preview/markdownpreviewview.h"
#include "search/searchview.h"
#include "storage/memomanager.h"
#include "storage/pathmanager.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/// The background (the most frequent colour) of what a widget shows, and the colour drawn on
/// it that stands out most: what a reader sees as the text on its background.
struct Rendered
{
    QColor background;
    QColor text;
    double contrast = 0;
};

Rendered rendered(QWidget *widget)
{
    // Grabbed from the window, so what lies behind a transparent widget is there too.
    QWidget *window = widget->window();
    const QImage image =
        window->grab(QRect(widget->mapTo(window, QPoint(0, 0)), widget->size())).toImage();
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000];
    }
    Rendered result;
    const auto most = std::max_element(counts.cbegin(), counts.cend());
    result.background = QColor::fromRgb(most.key());
    // Antialiased edges are mixtures; the glyphs' cores carry the text colour itself.
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() < 8)
            continue;
        const double contrast =
            CalendarColors::contrastRatio(QColor::fromRgb(it.key()), result.background);
        if (contrast > result.contrast) {
            result.contrast = contrast;
            result.text = QColor::fromRgb(it.key());
        }
    }
    return result;
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void qtTextsAreJapanese();
    void messagesSayWhatTheyMean();
    void focusReturnsAfterQuickOpen_data();
    void focusReturnsAfterQuickOpen();
    void appearanceSwitchKeepsTextReadable_data();
    void appearanceSwitchKeepsTextReadable();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<MemoManager> m_memo;
    std::unique_ptr<QMainWindow> m_window;
    ContentView *m_view = nullptr;
};

void TestDesktop::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_clock = std::make_unique<FixedClock>(
        QDateTime(QDate(2025, 3, 5), QTime(9, 0), QTimeZone("Asia/Tokyo")),
        QTimeZone("Asia/Tokyo"));
    Clock::setCurrent(m_clock.get());
    m_env->useBaseFolder();
    m_memo = std::make_unique<MemoManager>();
    m_window = std::make_unique<QMainWindow>();
    m_view = new ContentView(*m_memo, m_window.get());
    m_window->setCentralWidget(m_view);
    m_window->resize(1100, 700);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_view->appear();
}

void TestDesktop::cleanup()
{
    m_window->hide();
    m_window.reset();
    m_memo.reset();
    Appearance::apply(AppAppearanceMode::system);
    m_env.reset();
}

void TestDesktop::qtTextsAreJapanese()
{
    QObject owner;
    QVERIFY(Translations::installQtJapanese(&owner));
    // The editor's context menu, as the user opens it.
    NoteTextEdit *text = m_view->editorView()->editor()->textEdit();
    std::unique_ptr<QMenu> menu(text->createStandardContextMenu());
    QStringList shown;
    for (const QAction *action : menu->actions()) {
        if (!action->isSeparator())
            shown.append(action->text());
    }
    for (const QString &english : u"&Undo|&Redo|Cu&t|&Copy|&Paste|Delete|Select All"_s.split(u'|'))
        QVERIFY2(!shown.contains(english), qPrintable(shown.join(u'|')));
    QVERIFY2(shown.join(u'|').contains(u"元に戻す"_s), qPrintable(shown.join(u'|')));
    QCOMPARE(QDialogButtonBox(QDialogButtonBox::Cancel).button(QDialogButtonBox::Cancel)->text(),
             u"キャンセル"_s);
}

void TestDesktop::messagesSayWhatTheyMean()
{
    // Both colours read well on the light and the dark window.
    for (const auto mode : {AppAppearanceMode::light, AppAppearanceMode::dark}) {
        Appearance::apply(mode);
        const QPalette palette = QApplication::palette();
        for (bool failure : {true, false}) {
            const double contrast = CalendarColors::contrastRatio(
                MessageColors::color(failure, palette), palette.color(QPalette::Window));
            QVERIFY2(contrast >= 4.5, qPrintable(QString::number(contrast)));
        }
    }

    // A file that cannot be read: a lasting read-only mark, a failure message, and no promise
    // of a header added on save.
    const QString odd = PathManager::notesFolderPath() + u"/latin1.txt"_s;
    QVERIFY(TestFiles::write(odd, "caf\xe9\n"));
    m_view->loadDocument(odd);
    auto *mark = m_view->editorView()->findChild<QLabel *>(u"readOnlyMark"_s);
    QVERIFY(mark && mark->isVisible());
    QCOMPARE(m_memo->temporaryMessageKind(), MessageKind::failure);
    auto *status = m_view->editorView()->findChild<QLabel *>(u"statusMessage"_s);
    QCOMPARE(status->palette().color(QPalette::WindowText),
             MessageColors::color(true, m_view->palette()));
    for (QLabel *label : m_view->sidePane()->infoView()->findChildren<QLabel *>())
        QVERIFY2(!label->text().contains(u"保存"_s), qPrintable(label->text()));

    // A readable day again: the mark goes, and a save reports success in its colour.
    m_view->dateChanged(QDate(2025, 3, 5));
    QVERIFY(!mark->isVisible());
    m_view->editorView()->replaceText(u"今日"_s);
    m_memo->markModified();
    QVERIFY(m_view->saveCurrent());
    QCOMPARE(m_memo->temporaryMessageKind(), MessageKind::success);
    QCOMPARE(status->palette().color(QPalette::WindowText),
             MessageColors::color(false, m_view->palette()));
}

void TestDesktop::focusReturnsAfterQuickOpen_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<bool>("startInSearchField");
    QTest::newRow("Escape, from the editor") << Qt::Key_Escape << false;
    QTest::newRow("Return opens the note, into the editor") << Qt::Key_Return << false;
    QTest::newRow("Escape, back to the search field") << Qt::Key_Escape << true;
}

void TestDesktop::focusReturnsAfterQuickOpen()
{
    QFETCH(Qt::Key, key);
    QFETCH(bool, startInSearchField);
    const QString note = PathManager::notesFolderPath() + u"/plan.md"_s;
    QVERIFY(TestFiles::write(note, "plan\n"));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QWidget *start = m_view->editorView()->editor()->textEdit();
    if (startInSearchField) {
        m_view->setSelectedPage(ContentView::Page::search);
        start = m_view->searchView()->findChild<QLineEdit *>();
        QVERIFY(start);
    }
    start->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), start);

    m_view->showQuickOpen();
    QWidget *query = QApplication::focusWidget();
    QVERIFY(query && query != start);
    QTest::keyClicks(query, u"plan"_s);
    QTest::keyClick(query, key);

    QWidget *expected = key == Qt::Key_Return ? m_view->editorView()->editor()->textEdit() : start;
    QTRY_COMPARE(QApplication::focusWidget(), expected);
    if (key == Qt::Key_Return)
        QTRY_COMPARE(m_memo->currentFilePath(), note);
}

void TestDesktop::appearanceSwitchKeepsTextReadable_data()
{
    QTest::addColumn<QList<int>>("modes");
    const int light = int(AppAppearanceMode::light);
    const int dark = int(AppAppearanceMode::dark);
    // Every mode is checked after each switch: from the start and after the other mode.
    QTest::newRow("light, then dark") << QList<int>{light, dark};
    QTest::newRow("dark, light, dark") << QList<int>{dark, light, dark};
}

void TestDesktop::appearanceSwitchKeepsTextReadable()
{
    QFETCH(QList<int>, modes);
    const QString note = PathManager::notesFolderPath() + u"/会議メモ.md"_s;
    QVERIFY(TestFiles::write(note, "# 見出し\n\n本文の文字 text ■■■■■■■■■■\n"));
    m_view->setSelectedPage(ContentView::Page::notes);
    m_view->notesFileSelected(note);
    auto *titleButton = m_view->editorView()->findChild<QPushButton *>(u"titleButton"_s);
    auto *titleField = m_view->editorView()->findChild<QLineEdit *>(u"titleField"_s);
    QStringList unreadable;
    for (int mode : modes) {
        const auto readable = [&unreadable, mode](const QString &name, QWidget *widget) {
            const Rendered seen = rendered(widget);
            if (seen.contrast < 4.5)
                unreadable.append(u"%1 in mode %2: %3 on %4, contrast %5"_s.arg(name)
                                      .arg(mode)
                                      .arg(seen.text.name(), seen.background.name())
                                      .arg(seen.contrast));
        };
        Appearance::apply(AppAppearanceMode(mode));
        QCoreApplication::processEvents();
        const bool dark = QApplication::palette().color(QPalette::Window).lightness() < 128;
        QCOMPARE(dark, AppAppearanceMode(mode) == AppAppearanceMode::dark);
        readable(u"title"_s, titleButton);
        // The title in its rename field.
        QTest::mouseClick(titleButton, Qt::LeftButton);
        QVERIFY(titleField->isVisible());
        QCoreApplication::processEvents();
        titleField->deselect();
        readable(u"title field"_s, titleField);
        readable(u"preview"_s, m_view->sidePane()->previewView()->viewport());
        readable(u"editor"_s, m_view->editorView()->editor()->textEdit()->viewport());
        for (QListView *list : m_view->findChildren<QListView *>()) {
            if (list->isVisible() && list->model() && list->model()->rowCount() > 0)
                readable(list->accessibleName(), list->viewport());
        }
        QTest::keyClick(titleField, Qt::Key_Escape);
    }
    QVERIFY2(unreadable.isEmpty(), qPrintable(unreadable.join(u'\n')));
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
