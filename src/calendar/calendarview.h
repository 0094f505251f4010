#pragma once

#include <QDate>
#include <QList>
#include <QWidget>

class DayCellButton;
class DayListDelegate;
class DayListModel;
class QGridLayout;
class QLabel;
class QLayout;
class QListView;
class QModelIndex;
class QTimer;
class QToolButton;
class TintedButton;

/// The calendar page: it chooses the day whose daily memo is edited. From top to bottom a month
/// header with "≪" and "≫", the month grid (weeks from Sunday, holidays orange, Sundays red,
/// Saturdays blue, today outlined, the chosen day filled), the day buttons "<", "昨日", "今日",
/// "明日", ">", and a list of the month's days with the first line of each memo. It follows
/// "MemoSaved", "BaseFolderChanged", the holiday table and the "uiListFontSize" setting.
///
/// The grid is one stop of the Tab chain: the day the keyboard is on. The arrows move it by a
/// day or a week, Home and End to the month's first and last day, Page Up and Page Down by a
/// month, into the months around as needed; Return or Space chooses it.
class CalendarView : public QWidget
{
    Q_OBJECT

public:
    /// "昨日" and "明日" keep pointing at the days around the moment of creation; "今日" always
    /// goes to the current day.
    explicit CalendarView(QWidget *parent = nullptr);
    ~CalendarView() override;

    QDate selectedDate() const { return m_selectedDate; }
    /// Shows `date` as the chosen day, moving to its month, without emitting dateChanged: the
    /// owner made this choice and loads the memo itself.
    void setSelectedDate(const QDate &date);

    /// The first day of the month on screen.
    QDate displayedMonth() const { return m_displayedMonth; }
    /// Moves the grid and the list by months; the chosen day stays.
    void showPreviousMonth();
    void showNextMonth();

    /// What the user's click does: makes `date` the chosen day and, when it differs from the
    /// previous one, emits dateChanged.
    void chooseDate(const QDate &date);

    /// The day the keyboard is on in the grid (the chosen day until a key moves it).
    QDate keyboardDate() const { return m_keyboardDate; }

Q_SIGNALS:
    /// The user chose another day; the owner saves the open memo and opens this day's.
    void dateChanged(const QDate &date);

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    /// "≪", the month's title and "≫".
    QLayout *buildMonthHeader();
    /// The weekday names over six weeks of day cells.
    QLayout *buildMonthGrid();
    /// "<", "昨日", "今日", "明日", ">".
    QLayout *buildDayButtons();
    /// The month's days with the first line of each memo.
    QWidget *buildDayList();
    void connectSources();
    void applySelectedDate(const QDate &date);
    void showMonth(const QDate &month);
    void refillIfShown();
    void applyFontSize();
    void updateGrid();
    void updateDayButtons();
    void updateTitle();
    void scheduleMidnightRefresh();
    void scrollListToSelection();
    void listRowChosen(const QModelIndex &index);
    /// The day of the grid that Tab reaches: the keyboard's day when it is on screen, else the
    /// chosen day, else the first of the month.
    QDate keyboardStop() const;
    /// Moves the keyboard to `date`, showing its month, and gives its cell the focus.
    void moveKeyboardTo(const QDate &date);

    QDate m_selectedDate;
    // Fixed when the page is created, like the buttons they feed.
    const QDate m_yesterday;
    const QDate m_tomorrow;
    QDate m_displayedMonth;
    QDate m_keyboardDate;
    bool m_needsCacheUpdate = false;
    int m_fontSize = 0;

    QToolButton *m_previousMonthButton = nullptr;
    QLabel *m_monthTitle = nullptr;
    QToolButton *m_nextMonthButton = nullptr;
    QGridLayout *m_grid = nullptr;
    QList<QLabel *> m_weekdayLabels;
    QList<DayCellButton *> m_cells;
    TintedButton *m_previousDayButton = nullptr;
    TintedButton *m_yesterdayButton = nullptr;
    TintedButton *m_todayButton = nullptr;
    TintedButton *m_tomorrowButton = nullptr;
    TintedButton *m_nextDayButton = nullptr;
    QListView *m_dayList = nullptr;
    DayListModel *m_model = nullptr;
    DayListDelegate *m_delegate = nullptr;
    QTimer *m_midnightTimer = nullptr;
};
