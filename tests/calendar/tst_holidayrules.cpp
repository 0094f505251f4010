#include "common/testfiles.h"

#include "calendar/bundledholidays.h"
#include "calendar/holidaycsv.h"
#include "calendar/holidayrules.h"

#include <QFile>
#include <QTest>

namespace {

QByteArray publishedBytes()
{
    return TestFiles::read(QStringLiteral(QUILLMERE_TEST_DATA "/holidays/syukujitsu.csv"));
}

// "yyyy/M/d,name" lines of one year, in date order.
QStringList publishedYear(int year)
{
    static const QList<HolidayRow> rows =
        HolidayCsv::parse(HolidayCsv::decode(publishedBytes())->text);
    QStringList lines;
    for (const HolidayRow &row : rows) {
        const auto date = HolidayCsv::dateOfKey(row.key);
        if (date && date->year() == year)
            lines.append(row.key + u',' + row.name);
    }
    return lines;
}

QStringList ruleYear(int year)
{
    QStringList lines;
    for (const HolidayRules::Holiday &holiday : HolidayRules::holidaysOfYear(year))
        lines.append(HolidayCsv::key(holiday.date) + u',' + holiday.name);
    return lines;
}

} // namespace

class TestHolidayRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rulesMatchEveryPublishedYear_data()
    {
        QTest::addColumn<int>("year");
        QVERIFY2(!publishedBytes().isEmpty(), "published table missing from the test data");
        for (int year = 1955; year <= 2027; ++year)
            QTest::newRow(qPrintable(QString::number(year))) << year;
    }
    void rulesMatchEveryPublishedYear()
    {
        QFETCH(int, year);
        const QStringList published = publishedYear(year);
        QVERIFY(!published.isEmpty());
        QCOMPARE(ruleYear(year), published);
    }
    void computedYears_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("name");
        const auto row = [](const char *intent, const QDate &date, const char *name) {
            QTest::newRow(intent) << date << QString::fromUtf8(name);
        };
        row("Monday holiday: third Monday of July", QDate(2028, 7, 17), "海の日");
        row("citizens' holiday between 敬老の日 and 秋分の日", QDate(2032, 9, 21), "休日");
        row("substitute skips the holidays that follow a Sunday", QDate(2037, 5, 6), "休日");
        row("substitute for 建国記念の日 on a Sunday", QDate(2029, 2, 12), "休日");
        row("last year of the shipped table", QDate(2050, 11, 23), "勤労感謝の日");
        row("last year of the rules", QDate(HolidayRules::lastYear, 1, 1), "元日");
        row("no rules before the first year", QDate(HolidayRules::firstYear - 1, 1, 1), "");
        row("no rules after the last year", QDate(HolidayRules::lastYear + 1, 1, 1), "");
    }
    void computedYears()
    {
        QFETCH(QDate, date);
        QFETCH(QString, name);
        const QList<HolidayRules::Holiday> holidays = HolidayRules::holidaysOfYear(date.year());
        QStringList names;
        for (const HolidayRules::Holiday &holiday : holidays) {
            if (holiday.date == date)
                names.append(holiday.name);
        }
        // A substitute day never doubles up with the holiday it stands in for.
        QCOMPARE(names, name.isEmpty() ? QStringList() : QStringList{name});
    }
    void bundledTableIsPublishedPlusRules()
    {
        const QByteArray bundled = BundledHolidays::table();
        const QByteArray published = publishedBytes();
        // Regenerate with tools/holidaygen when this fails.
        const auto expected = HolidayCsv::extendedTable(published, BundledHolidays::untilYear);
        QVERIFY(expected.has_value());
        QCOMPARE(bundled, *expected);
        QVERIFY(bundled.startsWith(published));

        const auto decoded = HolidayCsv::decode(bundled);
        QVERIFY(decoded);
        QCOMPARE(decoded->encoding, HolidayCsv::Encoding::shiftJis);
        QVERIFY(decoded->text.startsWith(HolidayCsv::officialHeader + QStringLiteral("\r\n")));
        QVERIFY(decoded->text.endsWith(QStringLiteral("2050/11/23,勤労感謝の日\r\n")));
        QCOMPARE(decoded->text.count(u'\n'), decoded->text.count(QStringLiteral("\r\n")));
    }
};

QTEST_GUILESS_MAIN(TestHolidayRules)
#include "tst_holidayrules.moc"
