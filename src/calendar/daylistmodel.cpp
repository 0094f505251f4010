#include "calendar/daylistmodel.h"

#include "calendar/calendarmonth.h"
#include "calendar/holidaystore.h"
#include "storage/notedocument.h"
#include "storage/pathmanager.h"
#include "storage/textfile.h"

DayListModel::DayListModel(QObject *parent) : QAbstractListModel(parent) {}

int DayListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_days.size());
}

QVariant DayListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const QDate date = m_days.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case FirstLineRole:
        return firstLine(date);
    case DateRole:
        return date;
    case WeekdayRole:
        return CalendarMonth::weekdaySymbol(date);
    case HasMemoRole:
        return hasMemo(date);
    case ToneRole:
        return int(CalendarMonth::dayTone(date, HolidayStore::shared().isHoliday(date)));
    case HolidayNameRole:
        return HolidayStore::shared().holidayName(date);
    case SelectedRole:
        return date == m_selectedDate;
    case Qt::AccessibleTextRole: {
        const QString line = firstLine(date);
        const QString description =
            CalendarMonth::dayDescription(date, HolidayStore::shared().holidayName(date),
                                          date == CalendarMonth::today(), date == m_selectedDate);
        return line.isEmpty() ? description
                              : QString(description + QStringLiteral(" メモ: ") + line);
    }
    case Qt::ToolTipRole: {
        const QString holiday = HolidayStore::shared().holidayName(date);
        QString tip = QStringLiteral("%1年%2月%3日(%4)")
                          .arg(date.year())
                          .arg(date.month())
                          .arg(date.day())
                          .arg(CalendarMonth::weekdaySymbol(date));
        if (!holiday.isEmpty())
            tip += u' ' + holiday;
        const QString line = firstLine(date);
        tip += u'\n' + (line.isEmpty() ? QStringLiteral("メモなし") : line);
        return tip;
    }
    default:
        return {};
    }
}

void DayListModel::setMonth(const QDate &month)
{
    const QDate first = CalendarMonth::monthOf(month);
    if (first != m_month) {
        beginResetModel();
        m_month = first;
        m_days = CalendarMonth::daysOf(first);
        m_summaries.clear();
        endResetModel();
    }
    refill();
}

void DayListModel::setSelectedDate(const QDate &date)
{
    const QModelIndex previous = indexOf(m_selectedDate);
    m_selectedDate = date;
    for (const QModelIndex &index : {previous, indexOf(date)}) {
        if (index.isValid())
            Q_EMIT dataChanged(index, index);
    }
}

void DayListModel::refill()
{
    for (const QDate &date : std::as_const(m_days)) {
        const QString path = PathManager::dailyMemoPath(date);
        const TextFileRead read = TextFile::readUtf8(path);
        if (read.ok())
            m_fileCache.insert(path, read.text);
        else
            m_fileCache.remove(path);
    }
    summarize();
}

void DayListModel::clearCache()
{
    m_fileCache.clear();
    summarize();
}

void DayListModel::summarize()
{
    m_summaries.clear();
    m_summaries.reserve(m_days.size());
    for (const QDate &date : std::as_const(m_days)) {
        const QString text = m_fileCache.value(PathManager::dailyMemoPath(date));
        m_summaries.append({firstBodyLine(text).value_or(QString()), !text.trimmed().isEmpty()});
    }
    allRowsChanged();
}

void DayListModel::holidaysChanged()
{
    allRowsChanged();
}

QModelIndex DayListModel::indexOf(const QDate &date) const
{
    const qsizetype row = m_days.indexOf(date);
    return row < 0 ? QModelIndex() : index(int(row));
}

QString DayListModel::firstLine(const QDate &date) const
{
    const qsizetype row = m_days.indexOf(date);
    return row >= 0 && row < m_summaries.size() ? m_summaries.at(row).firstLine : QString();
}

bool DayListModel::hasMemo(const QDate &date) const
{
    const qsizetype row = m_days.indexOf(date);
    return row >= 0 && row < m_summaries.size() && m_summaries.at(row).hasMemo;
}

void DayListModel::allRowsChanged()
{
    if (!m_days.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_days.size()) - 1));
}
