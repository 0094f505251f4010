#include "common/testenvironment.h"

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
    if (!qEnvironmentVariableIsEmpty("QUILLMERE_DUMP"))
        image.save(QStringLiteral("/tmp/rendered-%1.png").arg(widget->objectName()));
    Rendered result;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            result.background = QColor::fromRgb(it.key());
        }
    }
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
    QVERIFY2(!shown.isEmpty(), "no context menu");
    for (const QString &english :
         {QStringLiteral("&Undo"), QStringLiteral("&Redo"), QStringLiteral("Cu&t"),
          QStringLiteral("&Copy"), QStringLiteral("&Paste"), QStringLiteral("Delete"),
          QStringLiteral("Select All")})
        QVERIFY2(!shown.contains(english), qPrintable(shown.join(u'|')));
    QVERIFY2(shown.join(u'|').contains(QStringLiteral("元に戻す")), qPrintable(shown.join(u'|')));
    // Standard dialog buttons.
    QCOMPARE(QDialogButtonBox(QDialogButtonBox::Cancel).button(QDialogButtonBox::Cancel)->text(),
             QStringLiteral("キャンセル"));
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
    QVERIFY(MessageColors::color(true, QApplication::palette()).hueF() < 0.1); // red
    const float green = MessageColors::color(false, QApplication::palette()).hueF();
    QVERIFY(green > 0.25f && green < 0.45f);

    // A file that cannot be read: a lasting read-only mark, a failure message, and no promise
    // of a header added on save.
    const QString odd = PathManager::notesFolderPath() + QStringLiteral("/latin1.txt");
    QDir().mkpath(PathManager::notesFolderPath());
    QFile file(odd);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("caf\xe9\n");
    file.close();
    m_view->loadDocument(odd);
    auto *mark = m_view->editorView()->findChild<QLabel *>(QStringLiteral("readOnlyMark"));
    QVERIFY(mark && mark->isVisible());
    QCOMPARE(mark->text(), MemoEditorView::readOnlyText);
    QCOMPARE(m_memo->temporaryMessageKind(), MessageKind::failure);
    auto *status = m_view->editorView()->findChild<QLabel *>(QStringLiteral("statusMessage"));
    QCOMPARE(status->palette().color(QPalette::WindowText),
             MessageColors::color(true, m_view->palette()));
    for (QLabel *label : m_view->sidePane()->infoView()->findChildren<QLabel *>())
        QVERIFY2(!label->text().contains(QStringLiteral("保存")), qPrintable(label->text()));

    // A readable day again: the mark goes, and a save reports success in its colour.
    m_view->dateChanged(QDate(2025, 3, 5));
    QVERIFY(!mark->isVisible());
    m_view->editorView()->replaceText(QStringLiteral("今日"));
    m_memo->markModified();
    QVERIFY(m_view->saveCurrent());
    QCOMPARE(m_memo->temporaryMessageKind(), MessageKind::success);
    QCOMPARE(status->palette().color(QPalette::WindowText),
             MessageColors::color(false, m_view->palette()));
}

void TestDesktop::focusReturnsAfterQuickOpen_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("startInSearchField");
    QTest::newRow("Escape, from the editor") << int(Qt::Key_Escape) << false;
    QTest::newRow("Return opens the note, into the editor") << int(Qt::Key_Return) << false;
    QTest::newRow("Escape, back to the search field") << int(Qt::Key_Escape) << true;
}

void TestDesktop::focusReturnsAfterQuickOpen()
{
    QFETCH(int, key);
    QFETCH(bool, startInSearchField);
    const QString note = PathManager::notesFolderPath() + QStringLiteral("/plan.md");
    QDir().mkpath(PathManager::notesFolderPath());
    QFile file(note);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("plan\n");
    file.close();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QWidget *start = m_view->editorView()->editor()->textEdit();
    if (startInSearchField) {
        m_view->setSelectedPage(ContentView::Page::search);
        for (QLineEdit *field : m_view->searchView()->findChildren<QLineEdit *>()) {
            if (field->accessibleName() == QStringLiteral("キーワードを入力"))
                start = field;
        }
        QVERIFY(start != m_view->editorView()->editor()->textEdit());
    }
    start->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), start);

    m_view->showQuickOpen();
    QWidget *query = QApplication::focusWidget();
    QVERIFY(query && query != start);
    QTest::keyClicks(query, QStringLiteral("plan"));
    QTest::keyClick(query, Qt::Key(key));

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
    QTest::newRow("light") << QList<int>{light};
    QTest::newRow("dark") << QList<int>{dark};
    QTest::newRow("light, then dark") << QList<int>{light, dark};
    QTest::newRow("dark, then light") << QList<int>{dark, light};
    QTest::newRow("dark, light, dark") << QList<int>{dark, light, dark};
}

void TestDesktop::appearanceSwitchKeepsTextReadable()
{
    QFETCH(QList<int>, modes);
    const QString note = PathManager::notesFolderPath() + QStringLiteral("/会議メモ.md");
    QDir().mkpath(PathManager::notesFolderPath());
    QFile file(note);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# 見出し\n\n本文の文字 text ■■■■■■■■■■\n");
    file.close();
    m_view->setSelectedPage(ContentView::Page::notes);
    m_view->notesFileSelected(note);
    auto *titleButton =
        m_view->editorView()->findChild<QPushButton *>(QStringLiteral("titleButton"));
    auto *titleField = m_view->editorView()->findChild<QLineEdit *>(QStringLiteral("titleField"));
    for (int mode : modes) {
        Appearance::apply(AppAppearanceMode(mode));
        QCoreApplication::processEvents();
        const Rendered title = rendered(titleButton);
        QVERIFY2(
            title.contrast >= 4.5,
            qPrintable(
                QStringLiteral("title: %1 on %2").arg(title.text.name(), title.background.name())));
        // The title in its rename field.
        QTest::mouseClick(titleButton, Qt::LeftButton);
        QVERIFY(titleField->isVisible());
        QCoreApplication::processEvents();
        titleField->deselect();
        QList<std::pair<QString, QWidget *>> widgets = {
            {QStringLiteral("title field"), titleField},
            {QStringLiteral("preview"), m_view->sidePane()->previewView()->viewport()},
            {QStringLiteral("editor"), m_view->editorView()->editor()->textEdit()->viewport()},
        };
        for (QListView *list : m_view->findChildren<QListView *>()) {
            if (list->isVisible() && list->model() && list->model()->rowCount() > 0)
                widgets.append({list->accessibleName(), list->viewport()});
        }
        for (const auto &[name, widget] : widgets) {
            const Rendered seen = rendered(widget);
            QVERIFY2(seen.contrast >= 4.5,
                     qPrintable(QStringLiteral("%1 after %2: %3 on %4, contrast %5")
                                    .arg(name, QString::number(mode), seen.text.name(),
                                         seen.background.name())
                                    .arg(seen.contrast)));
        }
        QTest::keyClick(titleField, Qt::Key_Escape);
    }
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
