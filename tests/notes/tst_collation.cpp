#include "common/testenvironment.h"
#include "notes/notestestutil.h"

#include "notes/noteorder.h"
#include "notes/notescan.h"
#include "platform/naturalorder.h"
#include "search/globalsearch.h"
#include "search/quickopen.h"

#include <QTest>

#include <algorithm>
#include <clocale>
#include <memory>

using namespace NotesTestUtil;

namespace {

/// Names that differ in everything the order must get right, shuffled; all sorts below start
/// from this order.
const QStringList mixedNames{"会議.md", "item 10.md", "B.md", "愛.md", "item 2.md", "a.md"};

} // namespace

// Registered once per locale: every expectation below holds under each of them.
class TestCollation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void naturalOrder_data();
    void naturalOrder();
    void noteListBreaksDateTiesByName();
    void folderTreeInNaturalOrder();
    void searchPutsTheLaterNameFirstOnEqualDates();
    void quickOpenWalksInNaturalOrder();

private:
    QString at(const QString &relative) const { return m_base + u'/' + relative; }
    /// Writes an empty note at each path, all with the same date.
    bool writeNotesOfOneDate(const QStringList &relative) const;

    std::unique_ptr<TestEnvironment> m_env;
    QString m_base;
};

void TestCollation::initTestCase()
{
    // A locale the C library lacks would leave the process under C without a word.
    const QByteArray wanted = qgetenv("LC_ALL");
    if (!wanted.isEmpty())
        QCOMPARE(QByteArray(std::setlocale(LC_ALL, nullptr)), wanted);
}

void TestCollation::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_base = m_env->useBaseFolder();
}

void TestCollation::cleanup()
{
    m_env.reset();
}

bool TestCollation::writeNotesOfOneDate(const QStringList &relative) const
{
    return std::all_of(relative.begin(), relative.end(), [this](const QString &name) {
        return writeNote(at(name), "hello\n", minute(5));
    });
}

void TestCollation::naturalOrder_data()
{
    QTest::addColumn<QStringList>("pair"); // in their order
    QTest::addColumn<bool>("tie");         // equal to compare(); code units decide

    QTest::newRow("letter case is ignored") << QStringList{"a.md", "B.md"} << false;
    QTest::newRow("numbers by value") << QStringList{"item 2.md", "item 10.md"} << false;
    QTest::newRow("numbers by value, letter case aside")
        << QStringList{"Item 2.md", "item 10.md"} << false;
    QTest::newRow("full-width digits by value") << QStringList{"２.md", "10.md"} << false;
    QTest::newRow("kana before kanji") << QStringList{"かきく.md", "愛.md"} << false;
    // 会 comes before 愛 in code points; read aloud, あい comes before かいぎ.
    QTest::newRow("common kanji by reading") << QStringList{"愛.md", "会議.md"} << false;
    QTest::newRow("names equal but for case") << QStringList{"A.md", "a.md"} << true;
    QTest::newRow("hiragana and katakana spellings")
        << QStringList{"あいう.md", "アイウ.md"} << true;
}

void TestCollation::naturalOrder()
{
    QFETCH(QStringList, pair);
    QFETCH(bool, tie);
    const QString &first = pair.at(0);
    const QString &second = pair.at(1);
    const auto sign = [](int value) { return (value > 0) - (value < 0); };
    const int expected = tie ? 0 : -1;
    QCOMPARE(sign(NaturalOrder::compare(first, second)), expected);
    QCOMPARE(sign(NaturalOrder::compare(second, first)), -expected);
    QCOMPARE(sign(NaturalOrder::sortKey(first).compare(NaturalOrder::sortKey(second))), expected);
    QVERIFY(NaturalOrder::lessThan(first, second));
    QVERIFY(!NaturalOrder::lessThan(second, first));
}

void TestCollation::noteListBreaksDateTiesByName()
{
    const QString notes = at(QStringLiteral("Notes"));
    QVERIFY(writeNote(notes + QStringLiteral("/old.md"), "x", minute(1)));
    QVERIFY(writeNote(notes + QStringLiteral("/new.md"), "x", minute(9)));
    for (const QString &name : mixedNames)
        QVERIFY(writeNote(notes + u'/' + name, "x", minute(5)));

    const QStringList expected{"new.md",     "a.md",  "B.md",    "item 2.md",
                               "item 10.md", "愛.md", "会議.md", "old.md"};
    for (const NotesFileSortMode mode :
         {NotesFileSortMode::modificationDate, NotesFileSortMode::pinsFirst,
          NotesFileSortMode::viewCount}) {
        const QStringList ordered = NoteOrder::orderNotes(NoteScan::noteItemsInFolder(notes), mode);
        QCOMPARE(relativeTo(notes, ordered), expected);
    }
}

void TestCollation::folderTreeInNaturalOrder()
{
    for (const char *folder : {"会議", "item 10", "B", "a/Z", "愛", "item 2", "a/y"})
        QVERIFY(QDir().mkpath(at(QString::fromUtf8(folder))));
    QCOMPARE(relativeTo(m_base, NoteScan::collectFolders(m_base)),
             (QStringList{".", "a", "a/y", "a/Z", "B", "item 2", "item 10", "愛", "会議"}));
}

void TestCollation::searchPutsTheLaterNameFirstOnEqualDates()
{
    QVERIFY(writeNotesOfOneDate(mixedNames));
    QStringList found;
    for (const SearchHit &hit : GlobalSearch::runSearch(m_base, QStringLiteral("hello")))
        found.append(hit.filePath);
    QCOMPARE(relativeTo(m_base, found),
             (QStringList{"会議.md", "愛.md", "item 10.md", "item 2.md", "B.md", "a.md"}));
}

void TestCollation::quickOpenWalksInNaturalOrder()
{
    // A folder takes its place among the files by its own name.
    QVERIFY(writeNotesOfOneDate(mixedNames + QStringList{"Item 3/x.md"}));
    const QList<QuickOpen::Candidate> files = QuickOpen::gatherFiles(m_base);
    const auto shown = [&files](const QList<qsizetype> &indices) {
        QStringList paths;
        for (const qsizetype index : indices)
            paths.append(files[index].filePath);
        return paths;
    };
    const QStringList expected{"a.md",       "B.md",  "item 2.md", "Item 3/x.md",
                               "item 10.md", "愛.md", "会議.md"};
    QCOMPARE(relativeTo(m_base, shown(QuickOpen::filteredFiles(files, QStringLiteral("md")))),
             expected);
    // The recent list keeps that order among equal dates.
    QCOMPARE(relativeTo(m_base, shown(QuickOpen::filteredFiles(files, QString()))), expected);
}

QTEST_GUILESS_MAIN(TestCollation)
#include "tst_collation.moc"
