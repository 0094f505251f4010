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
        for (int year = 1955; year <= 2027; ++year)
            QTest::newRow(qPrintable(QString::number(year))) << year;
    }
    void rulesMatchEveryPublishedYear()
    {
        QFETCH(int, year);
        QCOMPARE(ruleYear(year), publishedYear(year));
    }
    // Years after the published table take the same rules; outside their span there are none.
    void rulesCoverTheirYearsOnly()
    {
        const QDate last(HolidayRules::lastYear, 1, 1);
        QCOMPARE(ruleYear(last.year()).value(0), HolidayCsv::key(last) + QStringLiteral(",元日"));
        QCOMPARE(ruleYear(HolidayRules::firstYear - 1), QStringList());
        QCOMPARE(ruleYear(HolidayRules::lastYear + 1), QStringList());
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
