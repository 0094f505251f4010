#pragma once

#include <QAbstractListModel>
#include <QDate>
#include <QHash>

/// The days of the shown month with the first line of each day's memo, for the calendar's day
/// list. It keeps the texts of the month's daily memo files, read as UTF-8, until told to read
/// them again. Qt Core only; the holiday names come from HolidayStore.
class DayListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        DateRole = Qt::UserRole + 1, ///< QDate
        WeekdayRole,                 ///< "水"
        FirstLineRole,               ///< the memo's first non-blank body line, or empty
        HasMemoRole,                 ///< bool: the memo holds more than white space
        ToneRole,                    ///< int, a CalendarMonth::DayTone
        HolidayNameRole,             ///< the holiday's name, or empty
        SelectedRole,                ///< bool
    };

    explicit DayListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    QDate month() const { return m_month; }
    /// Shows the days of the month of `month` and reads their memos.
    void setMonth(const QDate &month);

    QDate selectedDate() const { return m_selectedDate; }
    void setSelectedDate(const QDate &date);

    /// Reads the memo files of the shown month again; a file that is gone or unreadable drops
    /// its day's text.
    void refill();
    /// Forgets every memo text read so far (the base folder changed).
    void clearCache();
    bool isCacheEmpty() const { return m_fileCache.isEmpty(); }
    /// Holiday names changed: every row must be drawn again.
    void holidaysChanged();

    /// The row of a day of the shown month; invalid for any other day.
    QModelIndex indexOf(const QDate &date) const;

    /// The first non-blank body line of the day's memo, trimmed; empty when there is none.
    QString firstLine(const QDate &date) const;
    /// True when the day's memo file holds more than white space.
    bool hasMemo(const QDate &date) const;

private:
    /// What a row shows of its memo, worked out once per read rather than on every paint.
    struct MemoSummary
    {
        QString firstLine;
        bool hasMemo = false;
    };

    void summarize();
    void allRowsChanged();

    QDate m_month;
    QList<QDate> m_days;
    QList<MemoSummary> m_summaries;
    QDate m_selectedDate;
    /// Memo texts by file path.
    QHash<QString, QString> m_fileCache;
};
