#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "platform/clock.h"
#include "platform/settingsstore.h"
#include "storage/notekey.h"
#include "storage/pins.h"
#include "storage/settings.h"
#include "storage/sortmode.h"
#include "storage/viewcounts.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <memory>
#include <optional>

namespace {

using TestFiles::read;
using TestFiles::write;

QDateTime tokyoTime(int year, int month, int day, int hour, int minute)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute),
                     QTimeZone(QByteArrayLiteral("Asia/Tokyo")));
}

/// The count file once every queued write has landed, as compact JSON with sorted keys.
QByteArray storedCounts()
{
    ViewCounts::flushPendingWrites();
    const QJsonDocument stored = QJsonDocument::fromJson(read(ViewCounts::viewCountsFilePath()));
    return QJsonDocument(stored.object()).toJson(QJsonDocument::Compact);
}

// Viewed at, the month the view is stored under, read at, the count then.
using MonthRow = std::tuple<QDateTime, QString, QDateTime, int>;
// Which side file, what it holds (a pipe when null), what it holds after one more pin or view,
// and whether the old one is kept aside.
using DamagedRow = std::tuple<QString, QByteArray, QByteArray, bool>;
// Stored sort mode and older pins-on-top setting (invalid: absent), the mode they give.
using ModeRow = std::tuple<QVariant, QVariant, NotesFileSortMode>;

} // namespace

class TestNoteStats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_base = m_env->useBaseFolder();
        m_clock.setNow(tokyoTime(2025, 3, 10, 12, 0));
        Clock::setCurrent(&m_clock);
    }
    void cleanup() { m_env.reset(); }

    void pinningMovesToTheFront()
    {
        for (const char *name : {"Notes/a.md", "Notes/sub/計画.md", "Notes/c.md", "Notes/a.md"})
            Pins::pinNote(note(QString::fromUtf8(name)));
        QCOMPARE(read(Pins::pinsFilePath()), "Notes/a.md\nNotes/c.md\nNotes/sub/計画.md\n");
        // The note list looks pins up by path: each path is what the key says.
        const QStringList pinned{note("Notes/a.md"), note("Notes/c.md"), note("Notes/sub/計画.md")};
        QCOMPARE(Pins::pinnedPaths(), pinned);

        for (const QString &path : pinned)
            Pins::unpinNote(path);
        QVERIFY(QFile::exists(Pins::pinsFilePath()));
        QCOMPARE(read(Pins::pinsFilePath()), "");

        Pins::pinNote(m_env->path(QStringLiteral("elsewhere/x.md")));
        QCOMPARE(read(Pins::pinsFilePath()), "");
    }
    // A path said to be standardized is one that cleaning leaves as it is: its key is the rest of
    // it. Double slash, dot and dot-dot folders, a slash or dot at the end, relative: not so.
    void standardizedPathsNeedNoCleaning()
    {
        QStringList standardized;
        for (const char *path :
             {"/base/Notes/a.md", "/", "/base//Notes/a.md", "/base/./Notes/a.md",
              "/base/x/../Notes/a.md", "/base/Notes/", "/base/Notes/.", "Notes/a.md"}) {
            if (isStandardizedPath(QString::fromLatin1(path)))
                standardized.append(QDir::cleanPath(QString::fromLatin1(path)));
        }
        QCOMPARE(standardized, QStringList({"/base/Notes/a.md", "/"}));
    }
    // Entries of months no longer shown, and entries of the wrong shape, are dropped on the next
    // write; the lookups by path and by key agree on what is left.
    void countFileIsReadTolerantly()
    {
        QVERIFY(write(ViewCounts::viewCountsFilePath(), R"({
            "Notes/keep.md": {"2025-03": 4, "2025-02": 1, "2025-01": 9},
            "Notes/old.md": {"2024-12": 3},
            "Notes/zero.md": {"2025-03": 0, "2025-02": -2},
            "Notes/partly.md": {"2025-03": 2, "2025-02": "x", "2024-02": 1.5},
            "Notes/wrong.md": [1, 2]
        })"));
        const QHash<QString, int> byPath = ViewCounts::viewCountsByPath();
        QCOMPARE(byPath,
                 (QHash<QString, int>{{note("Notes/keep.md"), 5}, {note("Notes/partly.md"), 2}}));
        const QStringList notes{note("Notes/keep.md"), note("Notes/old.md"), note("Notes/zero.md"),
                                note("Notes/wrong.md")};
        const QHash<QString, int> byKey = ViewCounts::viewCounts(notes);
        for (const QString &path : notes)
            QCOMPARE(byPath.value(path), byKey.value(path));

        ViewCounts::removeViewCount(note("Notes/old.md"));
        QCOMPARE(storedCounts(),
                 R"({"Notes/keep.md":{"2025-02":1,"2025-03":4},"Notes/partly.md":{"2025-03":2}})");
    }

    void pinFileIsReadTolerantly_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("rewritten");

        const QByteArray ab("Notes/a.md\nNotes/b.md\n");
        QTest::newRow("duplicates and blank lines")
            << QByteArray("\nNotes/a.md\n\nNotes/b.md\nNotes/a.md\n \n") << ab;
        QTest::newRow("CRLF, CR, tabs, no final break")
            << QByteArray(" Notes/a.md\t\r\n\rNotes/b.md") << ab;
        QTest::newRow("Unicode separators and a BOM")
            << QByteArray("\xEF\xBB\xBFNotes/a.md\xE2\x80\xA8Notes/b.md\xE2\x80\xA9") << ab;
        QTest::newRow("a damaged line keeps the other pins")
            << QByteArray("Notes/a.md\n\xFF\nNotes/b.md\n")
            << QByteArray("Notes/a.md\n\xEF\xBF\xBD\nNotes/b.md\n");
    }
    void pinFileIsReadTolerantly()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, rewritten);
        QVERIFY(write(Pins::pinsFilePath(), stored));
        // Keys are taken from standardized paths, and a sibling folder is not inside the base.
        const QStringList candidates{note("Notes/b.md"), note("Notes/c.md"), note("Notes/./a.md"),
                                     m_base + "-old/Notes/a.md"};
        QCOMPARE(Pins::pinnedFiles(candidates),
                 QStringList({note("Notes/./a.md"), note("Notes/b.md")}));

        Pins::unpinNote(note("Notes/c.md"));
        QCOMPARE(read(Pins::pinsFilePath()), rewritten);
    }
    void renameKeepsThePinsPlace()
    {
        for (const char *name : {"Notes/a.md", "Notes/b.md", "Notes/c.md"})
            Pins::pinNote(note(QString::fromLatin1(name)));
        Pins::renamePinnedNote(note("Notes/b.md"), note("Notes/S/d.md"));
        Pins::renamePinnedNote(note("Notes/x.md"), note("Notes/y.md"));
        QCOMPARE(read(Pins::pinsFilePath()), "Notes/c.md\nNotes/S/d.md\nNotes/a.md\n");

        // Onto a note that is pinned already: the earlier of the two places wins.
        Pins::renamePinnedNote(note("Notes/a.md"), note("Notes/c.md"));
        QCOMPARE(read(Pins::pinsFilePath()), "Notes/c.md\nNotes/S/d.md\n");
    }
    // Notes count, a text note's extension in any case; a PDF, a daily memo and a folder merely
    // starting with Notes do not. A note counts once per run, a new run starting from the file.
    void whatCountsAsAView()
    {
        const QStringList paths{note("Notes/a.md"), note("Notes/S/b.TXT"), note("Notes/paper.pdf"),
                                note("Daily/2025-03-10.txt"), note("Notes2/a.md")};
        for (int run = 1; run <= 2; ++run) {
            ViewCounts::resetCachesForTesting();
            for (const QString &path : paths + paths)
                ViewCounts::recordNoteView(path);
            const QHash<QString, int> counts = ViewCounts::viewCounts(paths);
            QList<int> inOrder;
            for (const QString &path : paths)
                inOrder.append(counts.value(path, -1));
            QCOMPARE(inOrder, (QList<int>{run, run, 0, 0, 0}));
        }
    }
    void monthsFollowJapanTime_data()
    {
        QTest::addColumn<MonthRow>("row");
        const QDateTime lateMarch = tokyoTime(2025, 3, 31, 23, 30);
        QTest::newRow("31 March 23:30 counts in April")
            << MonthRow{lateMarch, "2025-03", tokyoTime(2025, 4, 30, 23, 59), 1};
        QTest::newRow("but not in May")
            << MonthRow{lateMarch, "2025-03", tokyoTime(2025, 5, 1, 0, 0), 0};
        QTest::newRow("31 March 15:30 UTC is April in Japan")
            << MonthRow{QDateTime(QDate(2025, 3, 31), QTime(15, 30), QTimeZone::utc()), "2025-04",
                        tokyoTime(2025, 5, 31, 12, 0), 1};
        QTest::newRow("December counts in January")
            << MonthRow{tokyoTime(2024, 12, 31, 23, 59), "2024-12", tokyoTime(2025, 1, 1, 0, 0), 1};
    }
    void monthsFollowJapanTime()
    {
        QFETCH(MonthRow, row);
        const auto &[viewedAt, month, readAt, expected] = row;
        m_clock.setNow(viewedAt);
        ViewCounts::recordNoteView(note("Notes/a.md"));
        QCOMPARE(storedCounts(), R"({"Notes/a.md":{")" + month.toLatin1() + R"(":1}})");
        m_clock.setNow(readAt);
        QCOMPARE(ViewCounts::viewCounts({note("Notes/a.md")}).value(note("Notes/a.md")), expected);
    }
    void renameMergesMonthCounts()
    {
        const QByteArray before(
            R"({"Notes/a.md":{"2025-02":1,"2025-03":2},"Notes/b.md":{"2025-03":3}})");
        QVERIFY(write(ViewCounts::viewCountsFilePath(), before));
        ViewCounts::renameViewCount(note("Notes/a.md"), note("Notes/./a.md"));
        QCOMPARE(storedCounts(), before);

        ViewCounts::renameViewCount(note("Notes/a.md"), note("Notes/b.md"));
        QCOMPARE(storedCounts(), R"({"Notes/b.md":{"2025-02":1,"2025-03":5}})");
    }
    void cachesFollowTheBaseFolder()
    {
        const QString first = m_base;
        Pins::pinNote(note("Notes/a.md"));
        ViewCounts::recordNoteView(note("Notes/a.md"));

        // Away and straight back without waiting: the write still queued for the first folder must
        // not be lost to the reread.
        m_base = m_env->useBaseFolder(QStringLiteral("second"));
        QVERIFY(!Pins::isPinned(note("Notes/a.md")));
        QCOMPARE(ViewCounts::viewCounts({note("Notes/a.md")}).value(note("Notes/a.md")), 0);
        ViewCounts::recordNoteView(note("Notes/b.md"));

        PathManager::setBaseFolder(first);
        m_base = first;
        QVERIFY(Pins::isPinned(note("Notes/a.md")));
        ViewCounts::recordNoteView(note("Notes/c.md"));
        QCOMPARE(storedCounts(), R"({"Notes/a.md":{"2025-03":1},"Notes/c.md":{"2025-03":1}})");
        PathManager::setBaseFolder(m_env->path(QStringLiteral("second")));
        QCOMPARE(storedCounts(), R"({"Notes/b.md":{"2025-03":1}})");
    }
    void queuedWritesLandInCallOrder()
    {
        // Each write's snapshot holds one more note: a write landing late would leave fewer.
        for (int i = 0; i < 300; ++i)
            ViewCounts::recordNoteView(note(QStringLiteral("Notes/n%1.md").arg(i)));
        QCOMPARE(QJsonDocument::fromJson(storedCounts()).object().size(), 300);
    }
    // The next write must not cost the user what a damaged file still holds, nor wait for a
    // pipe's writer: the old file is renamed aside first, and a pipe is never opened.
    void damagedSideFilesAreSetAside_data()
    {
        QTest::addColumn<DamagedRow>("row");
        QTest::newRow("pins that are not UTF-8") << DamagedRow{
            "pins", "Notes/b.md\n\xff\n", "Notes/a.md\nNotes/b.md\n\xEF\xBF\xBD\n", true};
        QTest::newRow("counts cut short")
            << DamagedRow{"counts", "{\"Notes/b.md\":{\"2025-03\":114},\"Notes/c.md\":{\"2025-0",
                          R"({"Notes/a.md":{"2025-03":1}})", true};
        QTest::newRow("counts of another shape") << DamagedRow{
            "counts", R"({"Notes/b.md":[114]})", R"({"Notes/a.md":{"2025-03":1}})", true};
        QTest::newRow("a pipe as pins") << DamagedRow{"pins", QByteArray(), "Notes/a.md\n", true};
        QTest::newRow("a pipe as counts")
            << DamagedRow{"counts", QByteArray(), R"({"Notes/a.md":{"2025-03":1}})", true};
        QTest::newRow("healthy pins stay")
            << DamagedRow{"pins", "Notes/b.md\n", "Notes/a.md\nNotes/b.md\n", false};
    }
    void damagedSideFilesAreSetAside()
    {
        QFETCH(DamagedRow, row);
        const auto &[kind, stored, after, setAside] = row;
        const bool pins = kind == u"pins";
        const QString path = pins ? Pins::pinsFilePath() : ViewCounts::viewCountsFilePath();
        std::optional<TestFiles::Fifo> fifo;
        if (stored.isNull()) {
            fifo.emplace(path, m_env->path(QStringLiteral("spare")));
            QVERIFY(fifo->made());
        } else {
            QVERIFY(write(path, stored));
        }
        if (pins)
            Pins::pinNote(note("Notes/a.md"));
        else
            ViewCounts::recordNoteView(note("Notes/a.md"));
        ViewCounts::flushPendingWrites();

        QCOMPARE(read(path), after);
        const QFileInfoList kept = QDir(QFileInfo(path).absolutePath())
                                       .entryInfoList({QFileInfo(path).fileName() + ".damaged-*"},
                                                      QDir::AllEntries | QDir::System);
        QCOMPARE(kept.size(), setAside ? 1 : 0);
        if (fifo) {
            QCOMPARE(fifo->timesOpened(), 0);
            QVERIFY(!kept.value(0).isFile());
        } else if (setAside) {
            QCOMPARE(read(kept.value(0).filePath()), stored);
        }
    }
    void initialSortMode_data()
    {
        QTest::addColumn<ModeRow>("row");
        using M = NotesFileSortMode;
        QTest::newRow("older setting off") << ModeRow{{}, false, M::modificationDate};
        QTest::newRow("stored mode wins") << ModeRow{"viewCount", false, M::viewCount};
        QTest::newRow("case-sensitive raw value")
            << ModeRow{"PinsFirst", false, M::modificationDate};
        QTest::newRow("wrong type counts as absent") << ModeRow{2, 1, M::pinsFirst};
    }
    void initialSortMode()
    {
        QFETCH(ModeRow, row);
        const auto &[storedMode, pinsOnTop, expected] = row;
        if (storedMode.isValid())
            SettingsStore::instance().setValue(QStringLiteral("notesFileSortMode"), storedMode);
        if (pinsOnTop.isValid())
            SettingsStore::instance().setValue(QStringLiteral("notesPinSortToTop"), pinsOnTop);
        QCOMPARE(Settings::instance().notesFileSortMode(), expected);
    }

private:
    QString note(const QString &relative) const { return m_base + u'/' + relative; }

    std::unique_ptr<TestEnvironment> m_env;
    FixedClock m_clock{tokyoTime(2025, 3, 10, 12, 0), QTimeZone::utc()};
    QString m_base;
};

QTEST_GUILESS_MAIN(TestNoteStats)
#include "tst_notestats.moc"
