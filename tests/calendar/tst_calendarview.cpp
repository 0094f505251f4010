#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "calendar/calendarcolors.h"
#include "calendar/calendarmonth.h"
#include "calendar/calendarview.h"
#include "calendar/daycellbutton.h"
#include "calendar/daylistmodel.h"
#include "calendar/holidaystore.h"
#include "calendar/tintedbutton.h"
#include "platform/appevents.h"
#include "storage/settings.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTest>
#include <QToolButton>

Q_DECLARE_METATYPE(CalendarMonth::DayTone)

namespace {

const QTimeZone tokyo("Asia/Tokyo");

QList<DayCellButton *> visibleCells(const CalendarView &view)
{
    QList<DayCellButton *> cells;
    for (DayCellButton *cell : view.findChildren<DayCellButton *>()) {
        if (cell->isVisibleTo(&view))
            cells.append(cell);
    }
    return cells;
}

DayCellButton *cellOf(const CalendarView &view, const QDate &date)
{
    for (DayCellButton *cell : visibleCells(view)) {
        if (cell->date() == date)
            return cell;
    }
    return nullptr;
}

template <typename Button = TintedButton>
Button *buttonNamed(const CalendarView &view, const QString &text)
{
    for (Button *button : view.findChildren<Button *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

QPalette palette(QColor window, QColor text, QColor accent)
{
    QPalette palette(window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Highlight, accent);
    return palette;
}

} // namespace

class TestCalendarView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_clock =
            std::make_unique<FixedClock>(QDateTime(QDate(2025, 3, 5), QTime(12, 0), tokyo), tokyo);
        Clock::setCurrent(m_clock.get());
        // The table must be in place before the folder is chosen: the store reads it on the switch.
        m_base = m_env->makeFolder(QStringLiteral("base"));
        QVERIFY(TestFiles::write(
            m_base + QStringLiteral("/Data/syukujitsu.csv"),
            TestFiles::read(QStringLiteral(QUILLMERE_TEST_DATA "/holidays/syukujitsu.csv"))));
        PathManager::setBaseFolder(m_base);
        QVERIFY(TestFiles::write(PathManager::dailyMemoPath(QDate(2025, 3, 5)),
                                 "---\ntitle: 2025-03-05\n---\n\n  買い物リスト  \n- 牛乳\n"));
        QVERIFY(TestFiles::write(PathManager::dailyMemoPath(QDate(2025, 3, 10)), " \n\t\n"));
        QVERIFY(TestFiles::write(PathManager::dailyMemoPath(QDate(2025, 3, 20)), "お彼岸の墓参り"));
    }
    void cleanup()
    {
        m_env.reset();
        m_clock.reset();
    }

    void gridShape_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QList<int>>("blanksAndRows");
        const auto month = [](const char *name, const QDate &day, int blanks, int rows) {
            QTest::newRow(name) << day << QList<int>{blanks, rows};
        };
        month("February of a common year from Sunday: exactly 4 rows", QDate(2015, 2, 17), 0, 4);
        month("leap February from Thursday: 5 rows", QDate(2024, 2, 29), 4, 5);
        month("31 days from Saturday: 6 rows", QDate(2025, 3, 1), 6, 6);
        month("30 days from Saturday: 6 rows, the grid is full", QDate(2024, 6, 1), 6, 6);
    }
    void gridShape()
    {
        QFETCH(QDate, day);
        QFETCH(QList<int>, blanksAndRows);
        const CalendarMonth::Grid grid = CalendarMonth::grid(day);
        const int leadingBlanks = grid.leadingBlanks;
        QCOMPARE((QList<int>{leadingBlanks, grid.rowCount()}), blanksAndRows);
        // Every day of the month under its own weekday, weeks starting on Sunday; neighbouring
        // months never show.
        QCOMPARE(grid.dateAt(leadingBlanks), QDate(day.year(), day.month(), 1));
        QCOMPARE(grid.dateAt(leadingBlanks - 1), QDate());
        QCOMPARE(grid.dateAt(leadingBlanks + day.daysInMonth() - 1),
                 QDate(day.year(), day.month(), day.daysInMonth()));
        QCOMPARE(grid.dateAt(leadingBlanks + day.daysInMonth()), QDate());
    }
    void dayTones_data()
    {
        using Tone = CalendarMonth::DayTone;
        QTest::addColumn<QDate>("date");
        QTest::addColumn<Tone>("tone");
        QTest::newRow("holiday on a Saturday is a holiday") << QDate(2025, 5, 3) << Tone::holiday;
        QTest::newRow("holiday on a Sunday is a holiday") << QDate(2025, 2, 23) << Tone::holiday;
        QTest::newRow("Sunday") << QDate(2025, 3, 2) << Tone::sunday;
        QTest::newRow("Saturday") << QDate(2025, 3, 1) << Tone::saturday;
        QTest::newRow("today, a weekday, is a weekday") << QDate(2025, 3, 5) << Tone::primary;
    }
    void dayTones()
    {
        QFETCH(QDate, date);
        QFETCH(CalendarMonth::DayTone, tone);
        QCOMPARE(CalendarMonth::dayTone(date, HolidayStore::shared().isHoliday(date)), tone);
    }
    void colorsReadAndMean_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light") << palette(QColor(0xec, 0xec, 0xec), QColor(0x1d, 0x1d, 0x1f),
                                          QColor(0x00, 0x7a, 0xff));
        QTest::newRow("dark") << palette(QColor(0x2b, 0x2b, 0x2d), QColor(0xe8, 0xe8, 0xea),
                                         QColor(0x3d, 0x8b, 0xfd));
    }
    void colorsReadAndMean()
    {
        QFETCH(QPalette, palette);
        using namespace CalendarColors;
        using Tone = CalendarMonth::DayTone;
        // The scale: 4.5:1 for the lightest grey that reads on white.
        QCOMPARE(qRound(contrastRatio(QColor(0x76, 0x76, 0x76), Qt::white) * 100), 454);
        // Text stands out from what it is drawn on: day numbers and the weekday header on the
        // window, white on the selected day and on the day buttons; a holiday is told apart from
        // an ordinary Sunday.
        const QColor window = palette.color(QPalette::Window);
        for (const Tone tone : {Tone::holiday, Tone::sunday, Tone::saturday})
            QCOMPARE_GE(contrastRatio(toneColor(tone, palette), window), minimumTextContrast);
        QCOMPARE_GE(contrastRatio(secondaryText(palette), window), minimumTextContrast);
        for (const QColor &fill : {accentFill(palette), neutralFill(palette)})
            QCOMPARE_GE(contrastRatio(Qt::white, fill), minimumTextContrast);
        QCOMPARE_NE(toneColor(Tone::holiday, palette), toneColor(Tone::sunday, palette));
    }
    // The month in the grid and in the list of days: what each day shows and reads out, and a
    // click on either chooses the day in both.
    void monthShowsInGridAndList()
    {
        CalendarView view;
        view.show();
        QCOMPARE(view.findChild<QLabel *>(QString(), Qt::FindDirectChildrenOnly)->text(),
                 QStringLiteral("2025年3月"));
        QCOMPARE(visibleCells(view).size(), 31);
        DayCellButton *equinox = cellOf(view, QDate(2025, 3, 20));
        QCOMPARE(equinox->accessibleName(), QStringLiteral("2025年3月20日 木曜日 祝日: 春分の日"));
        DayCellButton *today = cellOf(view, QDate(2025, 3, 5));
        QVERIFY(today->isToday() && today->isSelected());

        auto *list = view.findChild<QListView *>();
        const auto row = [list](int day) { return list->model()->index(day - 1, 0); };
        QCOMPARE(row(5).data(DayListModel::FirstLineRole).toString(),
                 QStringLiteral("買い物リスト"));
        QVERIFY(row(5).data(DayListModel::HasMemoRole).toBool());
        QVERIFY(row(5).data(DayListModel::SelectedRole).toBool());
        QCOMPARE(row(10).data(DayListModel::FirstLineRole).toString(), QString());
        QVERIFY2(!row(10).data(DayListModel::HasMemoRole).toBool(), "white space is not a memo");
        QCOMPARE(row(20).data(DayListModel::ToneRole).toInt(),
                 int(CalendarMonth::DayTone::holiday));
        QCOMPARE(row(20).data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("2025年3月20日 木曜日 祝日: 春分の日 メモ: お彼岸の墓参り"));
        QCOMPARE(row(8).data(DayListModel::WeekdayRole).toString(), QStringLiteral("土"));

        QSignalSpy chosen(&view, &CalendarView::dateChanged);
        QTest::mouseClick(equinox, Qt::LeftButton);
        QVERIFY(equinox->isSelected() && !today->isSelected());
        QVERIFY(row(20).data(DayListModel::SelectedRole).toBool() &&
                !row(5).data(DayListModel::SelectedRole).toBool());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(row(11)).center());
        QVERIFY(cellOf(view, QDate(2025, 3, 11))->isSelected() && !equinox->isSelected());
        QCOMPARE(chosen, (QList<QVariantList>{{QDate(2025, 3, 20)}, {QDate(2025, 3, 11)}}));
    }
    // The weeks a month does not need are gone, not left as blank space above the day buttons.
    void gridCollapsesUnusedRows()
    {
        CalendarView view;
        view.resize(220, 700);
        view.show();
        const auto gridBottom = [&view] {
            int bottom = 0;
            for (DayCellButton *cell : visibleCells(view))
                bottom = std::max(bottom, cell->geometry().bottom());
            return bottom;
        };
        view.setSelectedDate(QDate(2025, 3, 1));
        QCoreApplication::processEvents();
        const int sixRowsBottom = gridBottom();
        view.setSelectedDate(QDate(2015, 2, 1));
        QCoreApplication::processEvents();
        QVERIFY(gridBottom() < sixRowsBottom);
        QVERIFY(buttonNamed(view, QStringLiteral("<"))->geometry().top() - gridBottom() < 20);
    }
    // The month buttons only browse; the day buttons choose, across months and years. Neither
    // "今日" on the day already chosen nor the owner's own choice is reported back.
    void monthAndDayButtons()
    {
        CalendarView view;
        view.show();
        QSignalSpy chosen(&view, &CalendarView::dateChanged);
        const auto click = [&view](const char *text) {
            QTest::mouseClick(buttonNamed<QAbstractButton>(view, QString::fromUtf8(text)),
                              Qt::LeftButton);
        };
        click("≫");
        click("≫");
        QCOMPARE(view.displayedMonth(), QDate(2025, 5, 1));
        click("≪");
        QCOMPARE(view.displayedMonth(), QDate(2025, 4, 1));
        QCOMPARE(view.selectedDate(), QDate(2025, 3, 5));
        click("今日");
        QCOMPARE(view.displayedMonth(), QDate(2025, 3, 1));
        view.setSelectedDate(QDate(2025, 1, 1));
        QCOMPARE(view.displayedMonth(), QDate(2025, 1, 1));
        QCOMPARE(chosen.count(), 0);

        click("<");
        QCOMPARE(view.selectedDate(), QDate(2024, 12, 31));
        QCOMPARE(view.displayedMonth(), QDate(2024, 12, 1));
        QVERIFY(cellOf(view, QDate(2024, 12, 31))->isSelected());
        click(">");
        QCOMPARE(view.displayedMonth(), QDate(2025, 1, 1));
        QCOMPARE(chosen.count(), 2);
    }
    void dayButtonsAfterMidnight()
    {
        m_clock->setNow(QDateTime(QDate(2025, 3, 5), QTime(23, 59), tokyo));
        CalendarView view;
        view.show();
        TintedButton *yesterday = buttonNamed(view, QStringLiteral("昨日"));
        TintedButton *today = buttonNamed(view, QStringLiteral("今日"));
        TintedButton *tomorrow = buttonNamed(view, QStringLiteral("明日"));
        QVERIFY(today->isTinted() && !yesterday->isTinted() && !tomorrow->isTinted());

        m_clock->advance(2 * 60);
        QSignalSpy chosen(&view, &CalendarView::dateChanged);
        QTest::mouseClick(today, Qt::LeftButton);
        QCOMPARE(view.selectedDate(), QDate(2025, 3, 6));
        QVERIFY(today->isTinted());
        QVERIFY(tomorrow->isTinted()); // both now lead to the 6th

        QTest::mouseClick(yesterday, Qt::LeftButton);
        QCOMPARE(view.selectedDate(), QDate(2025, 3, 4));
        QVERIFY(yesterday->isTinted() && !today->isTinted());

        QTest::mouseClick(tomorrow, Qt::LeftButton);
        QCOMPARE(view.selectedDate(), QDate(2025, 3, 6));
        QCOMPARE(chosen.count(), 3);
    }
    void dayListFollowsSavesAndFolders()
    {
        CalendarView view;
        view.show();
        QAbstractItemModel *model = view.findChild<QListView *>()->model();
        const QModelIndex sixth = model->index(5, 0);

        QVERIFY(TestFiles::write(PathManager::dailyMemoPath(QDate(2025, 3, 6)), "会議メモ\n"));
        AppEvents::instance().postMemoSaved();
        QCOMPARE(sixth.data(DayListModel::FirstLineRole).toString(), QStringLiteral("会議メモ"));

        QFile::remove(PathManager::dailyMemoPath(QDate(2025, 3, 6)));
        AppEvents::instance().postMemoSaved();
        QCOMPARE(sixth.data(DayListModel::FirstLineRole).toString(), QString());

        // A folder without memos whose own holiday table is empty.
        const QString other = m_env->makeFolder(QStringLiteral("other"));
        QVERIFY(TestFiles::write(other + QStringLiteral("/Data/syukujitsu.csv"), ""));
        PathManager::setBaseFolder(other);
        QCOMPARE(model->index(4, 0).data(DayListModel::FirstLineRole).toString(), QString());
        QCOMPARE(cellOf(view, QDate(2025, 3, 20))->tone(), CalendarMonth::DayTone::primary);
        // A folder without a table of its own: the shipped one.
        PathManager::setBaseFolder(m_env->makeFolder(QStringLiteral("third")));
        QCOMPARE(cellOf(view, QDate(2025, 3, 20))->tone(), CalendarMonth::DayTone::holiday);

        PathManager::setBaseFolder(m_base);
        QCOMPARE(model->index(4, 0).data(DayListModel::FirstLineRole).toString(),
                 QStringLiteral("買い物リスト"));
        QCOMPARE(cellOf(view, QDate(2025, 3, 20))->tone(), CalendarMonth::DayTone::holiday);
    }
    void followsFontSize()
    {
        CalendarView view;
        view.show();
        DayCellButton *cell = cellOf(view, QDate(2025, 3, 5));
        Settings::instance().setListFontSize(18);
        QCOMPARE(cell->font().pixelSize(), 18);
        QCOMPARE(view.findChild<QListView *>()->font().pixelSize(), 18);
    }

    void keyboardMovesAndChooses_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QDate>("keyboard");
        QTest::addColumn<QDate>("chosen");
        const QDate march5(2025, 3, 5);
        const auto row = [](const char *name, QDate start, QList<int> keys, QDate keyboard,
                            QDate chosen = {}) {
            QTest::newRow(name) << start << keys << keyboard << chosen;
        };
        row("Right and Left: a day", march5, {Qt::Key_Right, Qt::Key_Right, Qt::Key_Left},
            QDate(2025, 3, 6));
        row("Down and Up: a week", march5, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up},
            QDate(2025, 3, 12));
        row("Left from the first: the month before", QDate(2025, 3, 1), {Qt::Key_Left},
            QDate(2025, 2, 28));
        row("Down from the last week: the month after", QDate(2025, 3, 28), {Qt::Key_Down},
            QDate(2025, 4, 4));
        row("End: the last day", march5, {Qt::Key_End}, QDate(2025, 3, 31));
        row("End, Home: the first day", march5, {Qt::Key_End, Qt::Key_Home}, QDate(2025, 3, 1));
        row("Page Up: the same day a month before", march5, {Qt::Key_PageUp}, QDate(2025, 2, 5));
        row("Page Down onto a shorter month: its last day", QDate(2025, 1, 31), {Qt::Key_PageDown},
            QDate(2025, 2, 28));
        // February and March 2025 both begin on a Saturday: the day stays in the same cell.
        row("Page Down onto the same cell", QDate(2025, 2, 5), {Qt::Key_PageDown},
            QDate(2025, 3, 5));
        row("Return chooses", march5, {Qt::Key_Right, Qt::Key_Return}, QDate(2025, 3, 6),
            QDate(2025, 3, 6));
        row("Space chooses", march5, {Qt::Key_PageDown, Qt::Key_Space}, QDate(2025, 4, 5),
            QDate(2025, 4, 5));
    }

    // The grid is one stop of the Tab chain, on the chosen day. The keys move the keyboard over
    // the days and months without opening anything until Return or Space chooses.
    void keyboardMovesAndChooses()
    {
        QFETCH(QDate, start);
        QFETCH(QList<int>, keys);
        QFETCH(QDate, keyboard);
        QFETCH(QDate, chosen);
        CalendarView view;
        view.setSelectedDate(start);
        view.show();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QSignalSpy chosenDays(&view, &CalendarView::dateChanged);
        auto *nextMonth = buttonNamed<QToolButton>(view, QStringLiteral("≫"));
        nextMonth->setFocus();
        QTest::keyClick(nextMonth, Qt::Key_Tab);
        const auto focusedCell = [] {
            return qobject_cast<DayCellButton *>(QApplication::focusWidget());
        };
        QVERIFY(focusedCell());
        QCOMPARE(focusedCell()->date(), start);

        for (const int key : keys) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            QVERIFY(focusedCell());
        }
        QCOMPARE(focusedCell()->date(), keyboard);
        // What a screen reader reads: the focused day, by its date.
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(focusedCell());
        QVERIFY(accessible->state().focused);
        QVERIFY(accessible->text(QAccessible::Name)
                    .startsWith(QStringLiteral("%1年%2月%3日 ")
                                    .arg(keyboard.year())
                                    .arg(keyboard.month())
                                    .arg(keyboard.day())));
        QCOMPARE(view.displayedMonth(), CalendarMonth::monthOf(keyboard));
        QCOMPARE(chosenDays.count(), chosen.isValid() ? 1 : 0);
        QCOMPARE(view.selectedDate(), chosen.isValid() ? chosen : start);
        // Still the one stop: no other cell takes Tab.
        int stops = 0;
        for (DayCellButton *cell : visibleCells(view))
            stops += cell->focusPolicy() & Qt::TabFocus ? 1 : 0;
        QCOMPARE(stops, 1);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FixedClock> m_clock;
    QString m_base;
};

QTEST_MAIN(TestCalendarView)
#include "tst_calendarview.moc"
