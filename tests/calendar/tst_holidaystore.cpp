#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "calendar/bundledholidays.h"
#include "calendar/holidaycsv.h"
#include "calendar/holidaystore.h"
#include "platform/appevents.h"

#include <QSignalSpy>
#include <QStringEncoder>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

/// Stands for a named pipe in a table's place.
constexpr char namedPipe[] = "<named pipe>";

QByteArray testData(const QString &name)
{
    return TestFiles::read(QStringLiteral(QUILLMERE_TEST_DATA "/holidays/") + name);
}

QByteArray encoded(const char *encoding, const QString &text)
{
    return QStringEncoder(encoding).encode(text);
}

QString publishedText()
{
    const auto decoded = HolidayCsv::decode(testData(QStringLiteral("syukujitsu.csv")));
    return decoded ? decoded->text : QString();
}

bool writeTable(const QString &baseFolder, const QByteArray &bytes)
{
    return TestFiles::write(baseFolder + QLatin1Char('/') + HolidayStore::relativePath, bytes);
}

QHash<QString, QString> tableOf(const QList<HolidayRow> &rows)
{
    QHash<QString, QString> table;
    for (const HolidayRow &row : rows)
        table.insert(row.key, row.name);
    return table;
}

struct Decoding
{
    QByteArray bytes;
    HolidayCsv::Encoding encoding;
    int records;
    QString key, name;
};

} // namespace

class TestHolidayStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    // The encoding is found from the bytes: the published table and copies of it in the other
    // encodings, and short files whose UTF-8 or EUC-JP bytes also decode as Shift-JIS without a
    // single error, into nonsense. Expected: the record count and one record.
    void encodings_data()
    {
        QTest::addColumn<Decoding>("row");
        using E = HolidayCsv::Encoding;
        const QString text = publishedText();
        const QString sports = QStringLiteral("体育の日（スポーツの日）");
        const QString day = QStringLiteral("2019/10/14"), old = QStringLiteral("1989/2/24");
        const QString funeral = QStringLiteral("大喪の礼");
        const QString enthronement = QStringLiteral("即位礼正殿の儀");
        QTest::newRow("published Shift-JIS file")
            << Decoding{testData(QStringLiteral("syukujitsu.csv")), E::shiftJis, 1068, day, sports};
        QTest::newRow("UTF-8 copy without header, from another source") << Decoding{
            testData(QStringLiteral("syukujitsu-utf8-noheader.csv")), E::utf8, 1032, day, sports};
        QTest::newRow("UTF-8 with byte-order mark")
            << Decoding{QByteArray("\xEF\xBB\xBF" + text.toUtf8()), E::utf8, 1068, day, sports};
        QTest::newRow("EUC-JP") << Decoding{encoded("EUC-JP", text), E::eucJp, 1068, day, sports};
        QTest::newRow("short UTF-8")
            << Decoding{QString(old + u',' + funeral).toUtf8(), E::utf8, 1, old, funeral};
        QTest::newRow("short EUC-JP") << Decoding{encoded("EUC-JP", old + u',' + enthronement),
                                                  E::eucJp, 1, old, enthronement};
        QTest::newRow("short Shift-JIS stays Shift-JIS")
            << Decoding{encoded("Shift_JIS", old + u',' + funeral), E::shiftJis, 1, old, funeral};
    }
    void encodings()
    {
        QFETCH(Decoding, row);
        const auto decoded = HolidayCsv::decode(row.bytes);
        QVERIFY(decoded.has_value());
        QCOMPARE(decoded->encoding, row.encoding);
        const QList<HolidayRow> rows = HolidayCsv::parse(decoded->text);
        QCOMPARE(rows.size(), row.records);
        QCOMPARE(tableOf(rows).value(row.key), row.name);
    }
    void undecodableBytes()
    {
        // 0x80 and 0xA0 are single bytes no encoding of the three gives a meaning to.
        QVERIFY(!HolidayCsv::decode(QByteArray("2025/1/1,\x80\xA0\xFF")).has_value());
    }
    void recordShapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("spaces and tabs around the comma are trimmed")
            << u" 2025/3/20 \t,\t春分の日 \r\n"_s << u"2025/3/20"_s << u"春分の日"_s;
        QTest::newRow("CR alone ends a line")
            << u"2025/3/20,春分の日\r2025/5/5,こどもの日"_s << u"2025/5/5"_s << u"こどもの日"_s;
        QTest::newRow("further fields are ignored")
            << u"2025/3/20,春分の日,spring"_s << u"2025/3/20"_s << u"春分の日"_s;
        QTest::newRow("the later of two lines wins")
            << u"2025/3/20,春分\n2025/3/20,春分の日\n"_s << u"2025/3/20"_s << u"春分の日"_s;
        QTest::newRow("a line without comma is skipped")
            << u"2025/3/20 春分の日\n2025/3/21,x"_s << u"2025/3/20 春分の日"_s << u""_s;
        QTest::newRow("the header is stored like any line")
            << HolidayCsv::officialHeader << u"国民の祝日・休日月日"_s << u"国民の祝日・休日名称"_s;
    }
    void recordShapes()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(tableOf(HolidayCsv::parse(text)).value(key), expected);
    }
    void keysAndDailyFileNames_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("keyDate");
        QTest::addColumn<QDate>("fileDate");
        const QDate day(2025, 3, 5);
        QTest::newRow("key: no leading zeros") << "2025/3/5" << day << QDate();
        QTest::newRow("key with leading zeros is not a key") << "2025/03/05" << QDate() << QDate();
        QTest::newRow("key of a day that does not exist") << "2025/2/29" << QDate() << QDate();
        QTest::newRow("daily file name") << "2025-03-05" << QDate() << day;
        QTest::newRow("daily file name without zero padding") << "2025-3-5" << QDate() << QDate();
        QTest::newRow("daily file name with a suffix") << "2025-03-05 copy" << QDate() << QDate();
        QTest::newRow("daily file name of a day that does not exist")
            << "2025-02-30" << QDate() << QDate();
    }
    void keysAndDailyFileNames()
    {
        QFETCH(QString, text);
        QFETCH(QDate, keyDate);
        QFETCH(QDate, fileDate);
        QCOMPARE(HolidayCsv::dateOfKey(text).value_or(QDate()), keyDate);
        if (keyDate.isValid())
            QCOMPARE(HolidayStore::key(keyDate), text);
        QCOMPARE(HolidayStore::dateFromDailyFileName(text).value_or(QDate()), fileDate);
    }

    // A base folder's own table, else the shipped one, whoever made the folder. Columns: the
    // folder's own table (none: no file) and the names of 2025-03-20 and 2040-05-04 shown.
    void tableOfTheFolderOrTheShippedOne_data()
    {
        QTest::addColumn<QByteArray>("own");
        QTest::addColumn<QString>("equinox");
        QTest::addColumn<QString>("greeneryDay");
        const QString equinox = QStringLiteral("春分の日"), greenery = QStringLiteral("みどりの日");
        QTest::newRow("no table of its own: the shipped one")
            << QByteArray() << equinox << greenery;
        QTest::newRow("its own table replaces the shipped one")
            << encoded("Shift_JIS", QStringLiteral("2025/3/20,春分\r\n")) << u"春分"_s << QString();
        QTest::newRow("an empty table of its own: no holidays")
            << QByteArray("") << QString() << QString();
        QTest::newRow("its own table cannot be decoded: the shipped one")
            << QByteArray("2025/1/1,\x80\xA0\xFF") << equinox << greenery;
        // It would hold up the calendar and the command line: never opened.
        QTest::newRow("a pipe where its table belongs: the shipped one")
            << QByteArray(namedPipe) << equinox << greenery;
    }
    void tableOfTheFolderOrTheShippedOne()
    {
        QFETCH(QByteArray, own);
        QFETCH(QString, equinox);
        QFETCH(QString, greeneryDay);
        const QString base = m_env->makeFolder(QStringLiteral("existing"));
        std::optional<TestFiles::Fifo> fifo;
        if (own == namedPipe) {
            QDir().mkpath(base + u'/' + PathManager::dataFolderName);
            fifo.emplace(base + u'/' + HolidayStore::relativePath, m_env->path(u"spare"_s));
            QVERIFY(fifo->made());
        } else if (!own.isNull()) {
            QVERIFY(writeTable(base, own));
        }
        m_env->useBaseFolder(QStringLiteral("existing"));
        HolidayStore &store = HolidayStore::shared();
        QCOMPARE(store.holidayName(QDate(2025, 3, 20)), equinox);
        QCOMPARE(store.holidayName(QDate(2040, 5, 4)), greeneryDay);
        // Nothing is written into the user's folder to get there.
        QCOMPARE(QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 own.isNull() ? QStringList() : QStringList{PathManager::dataFolderName});
        if (fifo)
            QCOMPARE(fifo->timesOpened(), 0);
    }

    void storeFollowsTheBaseFolder()
    {
        const QString withTable = m_env->makeFolder(QStringLiteral("with"));
        QVERIFY(writeTable(withTable, QStringLiteral("2025/1/13,自分の休日\n").toUtf8()));
        m_env->useBaseFolder(QStringLiteral("with"));
        HolidayStore &store = HolidayStore::shared();
        QCOMPARE(store.holidayName(QDate(2025, 1, 13)), QStringLiteral("自分の休日"));
        QCOMPARE(store.loadedRootPath(), std::optional<QString>(withTable));

        const QString without = m_env->useBaseFolder(QStringLiteral("without"));
        QCOMPARE(store.holidayName(QDate(2025, 1, 13)), QStringLiteral("成人の日"));
        QCOMPARE(store.loadedRootPath(), std::optional<QString>(without));
        QVERIFY(!QFileInfo::exists(without + QStringLiteral("/Data"))); // reading creates nothing

        // Same folder, new file: only the notification tells the store to look again.
        QVERIFY(
            writeTable(without, encoded("Shift_JIS", QStringLiteral("2025/3/21,会社の休日\r\n"))));
        QCOMPARE(store.holidayName(QDate(2025, 3, 21)), QString());
        QSignalSpy loaded(&store, &HolidayStore::loaded);
        AppEvents::instance().postBaseFolderChanged();
        QCOMPARE(store.holidayName(QDate(2025, 3, 21)), QStringLiteral("会社の休日"));
        QCOMPARE(store.holidayName(QDate(2025, 1, 13)), QString());
        QCOMPARE(loaded.count(), 1);

        // Switching back, as the window's folder chooser does.
        PathManager::setBaseFolder(withTable);
        QCOMPARE(store.holidayName(QDate(2025, 1, 13)), QStringLiteral("自分の休日"));
        PathManager::setBaseFolder(m_env->makeFolder(QStringLiteral("chosen")));
        QCOMPARE(store.holidayName(QDate(2025, 1, 13)), QStringLiteral("成人の日"));
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(TestHolidayStore)
#include "tst_holidaystore.moc"
