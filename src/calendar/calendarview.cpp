#include "calendar/calendarview.h"

#include "calendar/calendarcolors.h"
#include "calendar/calendarmonth.h"
#include "calendar/daycellbutton.h"
#include "calendar/daylistdelegate.h"
#include "calendar/daylistmodel.h"
#include "calendar/holidaystore.h"
#include "calendar/tintedbutton.h"
#include "platform/accessibleclicks.h"
#include "platform/appevents.h"
#include "platform/clock.h"
#include "storage/settings.h"

#include <QAccessible>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int gridCellCount = 6 * 7;
constexpr int gridColumnSpacing = 2;

QString shortDate(const QDate &date)
{
    return QStringLiteral("%1月%2日(%3)")
        .arg(date.month())
        .arg(date.day())
        .arg(CalendarMonth::weekdaySymbol(date));
}

} // namespace

CalendarView::CalendarView(QWidget *parent)
    : QWidget(parent), m_selectedDate(CalendarMonth::today()),
      m_yesterday(m_selectedDate.addDays(-1)), m_tomorrow(m_selectedDate.addDays(1)),
      m_displayedMonth(CalendarMonth::monthOf(m_selectedDate)), m_keyboardDate(m_selectedDate)
{
    setAccessibleName(QStringLiteral("カレンダー"));
    buildLayout();
    connectSources();
    applyFontSize();
    m_model->setSelectedDate(m_selectedDate);
    showMonth(m_displayedMonth);
    updateDayButtons();
    scheduleMidnightRefresh();
}

CalendarView::~CalendarView() = default;

void CalendarView::buildLayout()
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(8, 6, 8, 0);
    column->setSpacing(8);
    column->addLayout(buildMonthHeader());
    column->addLayout(buildMonthGrid());
    column->addLayout(buildDayButtons());
    column->addWidget(buildDayList(), 1);
}

QLayout *CalendarView::buildMonthHeader()
{
    m_previousMonthButton = new QToolButton(this);
    m_previousMonthButton->setText(QStringLiteral("≪"));
    m_previousMonthButton->setAccessibleName(QStringLiteral("前の月"));
    m_previousMonthButton->setToolTip(QStringLiteral("前の月"));
    m_monthTitle = new QLabel(this);
    m_monthTitle->setAlignment(Qt::AlignCenter);
    m_nextMonthButton = new QToolButton(this);
    m_nextMonthButton->setText(QStringLiteral("≫"));
    m_nextMonthButton->setAccessibleName(QStringLiteral("次の月"));
    m_nextMonthButton->setToolTip(QStringLiteral("次の月"));
    auto *header = new QHBoxLayout;
    header->addWidget(m_previousMonthButton);
    header->addWidget(m_monthTitle, 1);
    header->addWidget(m_nextMonthButton);
    connect(m_previousMonthButton, &QToolButton::clicked, this, &CalendarView::showPreviousMonth);
    connect(m_nextMonthButton, &QToolButton::clicked, this, &CalendarView::showNextMonth);
    return header;
}

QLayout *CalendarView::buildMonthGrid()
{
    m_grid = new QGridLayout;
    m_grid->setHorizontalSpacing(gridColumnSpacing);
    const QStringList weekdays = CalendarMonth::weekdaySymbols();
    for (int weekday = 0; weekday < 7; ++weekday) {
        auto *label = new QLabel(weekdays.at(weekday), this);
        label->setAlignment(Qt::AlignCenter);
        m_weekdayLabels.append(label);
        m_grid->addWidget(label, 0, weekday);
        m_grid->setColumnStretch(weekday, 1);
    }
    for (int cell = 0; cell < gridCellCount; ++cell) {
        auto *button = new DayCellButton(this);
        m_cells.append(button);
        m_grid->addWidget(button, 1 + cell / 7, cell % 7);
        button->installEventFilter(this);
        connect(button, &DayCellButton::clicked, this,
                [this, button] { chooseDate(button->date()); });
    }
    return m_grid;
}

QLayout *CalendarView::buildDayButtons()
{
    m_previousDayButton = new TintedButton(QStringLiteral("<"), this);
    m_previousDayButton->setAccessibleName(QStringLiteral("前の日"));
    m_previousDayButton->setToolTip(QStringLiteral("前の日"));
    m_yesterdayButton = new TintedButton(QStringLiteral("昨日"), this);
    m_todayButton = new TintedButton(QStringLiteral("今日"), this);
    m_tomorrowButton = new TintedButton(QStringLiteral("明日"), this);
    m_nextDayButton = new TintedButton(QStringLiteral(">"), this);
    m_nextDayButton->setAccessibleName(QStringLiteral("次の日"));
    m_nextDayButton->setToolTip(QStringLiteral("次の日"));
    m_yesterdayButton->setToolTip(shortDate(m_yesterday));
    m_tomorrowButton->setToolTip(shortDate(m_tomorrow));
    auto *dayRow = new QHBoxLayout;
    dayRow->setSpacing(4);
    dayRow->addWidget(m_previousDayButton, 2);
    dayRow->addWidget(m_yesterdayButton, 3);
    dayRow->addWidget(m_todayButton, 3);
    dayRow->addWidget(m_tomorrowButton, 3);
    dayRow->addWidget(m_nextDayButton, 2);
    connect(m_previousDayButton, &QPushButton::clicked, this,
            [this] { chooseDate(m_selectedDate.addDays(-1)); });
    connect(m_yesterdayButton, &QPushButton::clicked, this, [this] { chooseDate(m_yesterday); });
    connect(m_todayButton, &QPushButton::clicked, this,
            [this] { chooseDate(CalendarMonth::today()); });
    connect(m_tomorrowButton, &QPushButton::clicked, this, [this] { chooseDate(m_tomorrow); });
    connect(m_nextDayButton, &QPushButton::clicked, this,
            [this] { chooseDate(m_selectedDate.addDays(1)); });
    return dayRow;
}

QWidget *CalendarView::buildDayList()
{
    m_model = new DayListModel(this);
    m_delegate = new DayListDelegate(this);
    m_dayList = new QListView(this);
    m_dayList->setModel(m_model);
    m_dayList->setItemDelegate(m_delegate);
    m_dayList->setAccessibleName(QStringLiteral("日ごとのメモ"));
    AccessibleClicks::activateRowsOnAction(m_dayList);
    m_dayList->setUniformItemSizes(true);
    m_dayList->setSelectionMode(QAbstractItemView::NoSelection);
    m_dayList->setFrameShape(QFrame::NoFrame);
    m_dayList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_dayList->setMouseTracking(true);
    // The list sits on the page's own background, like the grid above it.
    m_dayList->viewport()->setAutoFillBackground(false);
    connect(m_dayList, &QListView::clicked, this, &CalendarView::listRowChosen);
    connect(m_dayList, &QListView::activated, this, &CalendarView::listRowChosen);
    return m_dayList;
}

void CalendarView::connectSources()
{
    AppEvents &center = AppEvents::instance();
    connect(&center, &AppEvents::memoSaved, this, [this] {
        m_needsCacheUpdate = true;
        refillIfShown();
    });
    connect(&center, &AppEvents::baseFolderChanged, this, [this] {
        m_model->clearCache();
        m_needsCacheUpdate = true;
        // The holiday store reloads on this notification itself; make sure it has before
        // the grid is drawn again, whatever order the observers run in.
        HolidayStore::shared().ensureLoaded();
        refillIfShown();
        updateGrid();
    });
    connect(&HolidayStore::shared(), &HolidayStore::loaded, this, [this] {
        m_model->holidaysChanged();
        updateGrid();
    });
    connect(&Settings::instance(), &Settings::listFontSizeChanged, this,
            [this] { applyFontSize(); });
    m_midnightTimer = new QTimer(this);
    m_midnightTimer->setSingleShot(true);
    connect(m_midnightTimer, &QTimer::timeout, this, [this] {
        updateGrid();
        updateDayButtons();
        scheduleMidnightRefresh();
    });
}

void CalendarView::setSelectedDate(const QDate &date)
{
    if (date.isValid())
        applySelectedDate(date);
}

void CalendarView::chooseDate(const QDate &date)
{
    if (!date.isValid())
        return;
    if (date == m_selectedDate) {
        // Nothing to open, but after browsing other months "今日" should still show the day.
        if (CalendarMonth::monthOf(date) != m_displayedMonth)
            showMonth(date);
        return;
    }
    applySelectedDate(date);
    Q_EMIT dateChanged(date);
}

void CalendarView::applySelectedDate(const QDate &date)
{
    m_selectedDate = date;
    m_keyboardDate = date;
    m_model->setSelectedDate(date);
    if (CalendarMonth::monthOf(date) != m_displayedMonth)
        showMonth(date);
    else
        updateGrid();
    updateDayButtons();
    m_dayList->setCurrentIndex(m_model->indexOf(date));
    scrollListToSelection();
}

void CalendarView::showPreviousMonth()
{
    showMonth(m_displayedMonth.addMonths(-1));
}

void CalendarView::showNextMonth()
{
    showMonth(m_displayedMonth.addMonths(1));
}

void CalendarView::showMonth(const QDate &month)
{
    m_displayedMonth = CalendarMonth::monthOf(month);
    m_model->setMonth(m_displayedMonth);
    m_needsCacheUpdate = false;
    updateTitle();
    updateGrid();
    m_dayList->setCurrentIndex(m_model->indexOf(m_selectedDate));
    m_dayList->scrollToTop();
    scrollListToSelection();
}

void CalendarView::scrollListToSelection()
{
    // Wait for the layout: scrolling a list that has not got its final height yet would leave
    // the first days of the month hidden above the top.
    QTimer::singleShot(0, this, [this] {
        const QModelIndex row = m_model->indexOf(m_selectedDate);
        if (isVisible() && row.isValid())
            m_dayList->scrollTo(row);
    });
}

void CalendarView::refillIfShown()
{
    // A hidden page catches up when it is shown again.
    if (!isVisible())
        return;
    m_model->refill();
    m_needsCacheUpdate = false;
}

void CalendarView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (CalendarMonth::monthOf(m_selectedDate) != m_displayedMonth) {
        showMonth(m_selectedDate);
    } else if (m_needsCacheUpdate || m_model->isCacheEmpty()) {
        m_model->refill();
        m_needsCacheUpdate = false;
    }
    updateGrid();
    updateDayButtons();
    scrollListToSelection();
}

void CalendarView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        for (QLabel *label : std::as_const(m_weekdayLabels)) {
            QPalette palette = label->palette();
            palette.setColor(QPalette::WindowText, CalendarColors::secondaryText(this->palette()));
            label->setPalette(palette);
        }
    }
}

void CalendarView::applyFontSize()
{
    m_fontSize = Settings::instance().listFontSize();
    QFont base = font();
    base.setPixelSize(m_fontSize);
    QFont title = base;
    title.setPixelSize(qRound(CalendarMonth::monthTitleSize(m_fontSize)));
    title.setWeight(QFont::DemiBold);
    m_monthTitle->setFont(title);
    // The month arrows keep the desktop's size, so a large setting still fits the column.
    for (QWidget *widget :
         {static_cast<QWidget *>(m_previousDayButton), static_cast<QWidget *>(m_yesterdayButton),
          static_cast<QWidget *>(m_todayButton), static_cast<QWidget *>(m_tomorrowButton),
          static_cast<QWidget *>(m_nextDayButton)})
        widget->setFont(base);
    for (QLabel *label : std::as_const(m_weekdayLabels)) {
        label->setFont(base);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, CalendarColors::secondaryText(this->palette()));
        label->setPalette(palette);
    }
    for (DayCellButton *cell : std::as_const(m_cells))
        cell->setFontSize(m_fontSize);
    m_grid->setVerticalSpacing(CalendarMonth::rowSpacing(m_fontSize));
    m_delegate->setFontSize(m_fontSize);
    m_dayList->setFont(base);
    m_dayList->reset();
    const QModelIndex selectedRow = m_model->indexOf(m_selectedDate);
    if (selectedRow.isValid())
        m_dayList->setCurrentIndex(selectedRow);
}

void CalendarView::updateGrid()
{
    const CalendarMonth::Grid grid = CalendarMonth::grid(m_displayedMonth);
    const QDate today = CalendarMonth::today();
    const QDate stop = keyboardStop();
    HolidayStore &holidays = HolidayStore::shared();
    for (int index = 0; index < m_cells.size(); ++index) {
        DayCellButton *cell = m_cells.at(index);
        // Blank cells of a used row keep their place; rows past the month collapse.
        QSizePolicy policy = cell->sizePolicy();
        policy.setRetainSizeWhenHidden(index < grid.cellCount());
        cell->setSizePolicy(policy);
        const QDate date = grid.dateAt(index);
        if (!date.isValid()) {
            cell->hide();
            continue;
        }
        const QString holiday = holidays.holidayName(date);
        const bool isToday = date == today;
        const bool isSelected = date == m_selectedDate;
        cell->setDay(date, CalendarMonth::dayTone(date, !holiday.isEmpty()), isToday, isSelected,
                     CalendarMonth::dayDescription(date, holiday, isToday, isSelected));
        cell->setToolTip(holiday);
        cell->setFocusPolicy(date == stop ? Qt::StrongFocus : Qt::NoFocus);
        cell->show();
    }
}

QDate CalendarView::keyboardStop() const
{
    for (const QDate &date : {m_keyboardDate, m_selectedDate}) {
        if (CalendarMonth::monthOf(date) == m_displayedMonth)
            return date;
    }
    return m_displayedMonth;
}

void CalendarView::moveKeyboardTo(const QDate &date)
{
    if (!date.isValid())
        return;
    m_keyboardDate = date;
    if (CalendarMonth::monthOf(date) != m_displayedMonth)
        showMonth(date);
    else
        updateGrid();
    DayCellButton *target = nullptr;
    for (DayCellButton *cell : std::as_const(m_cells)) {
        if (cell->isVisibleTo(this) && cell->date() == date)
            target = cell;
    }
    if (!target)
        return;
    if (target->hasFocus()) {
        // The same cell now shows another day (a month on): Qt sees no focus change, so a
        // screen reader is told that the focus is on a new day.
        QAccessibleEvent focus(target, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    } else {
        target->setFocus(Qt::OtherFocusReason);
    }
}

bool CalendarView::eventFilter(QObject *watched, QEvent *event)
{
    auto *cell = qobject_cast<DayCellButton *>(watched);
    if (!cell || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    // With Ctrl or Alt the keys belong to the window (page keys, menus).
    if (key->modifiers() & ~(Qt::KeypadModifier))
        return false;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        chooseDate(cell->date());
        return true;
    }
    const auto target = CalendarMonth::keyboardTarget(cell->date(), key->key());
    if (!target)
        return false;
    moveKeyboardTo(*target);
    return true;
}

void CalendarView::updateDayButtons()
{
    m_yesterdayButton->setTinted(m_selectedDate == m_yesterday);
    m_todayButton->setTinted(m_selectedDate == CalendarMonth::today());
    m_tomorrowButton->setTinted(m_selectedDate == m_tomorrow);
}

void CalendarView::updateTitle()
{
    m_monthTitle->setText(CalendarMonth::monthTitle(m_displayedMonth));
}

void CalendarView::scheduleMidnightRefresh()
{
    const Clock &clock = Clock::current();
    const QDateTime now = clock.now().toTimeZone(clock.timeZone());
    const QDateTime nextMidnight(now.date().addDays(1), QTime(0, 0), clock.timeZone());
    // A second late, so "today" has surely moved on when the grid is drawn again.
    const qint64 wait = now.msecsTo(nextMidnight) + 1000;
    m_midnightTimer->start(int(std::clamp<qint64>(wait, 1000, 25 * 3600 * 1000)));
}

void CalendarView::listRowChosen(const QModelIndex &index)
{
    chooseDate(index.data(DayListModel::DateRole).toDate());
}
