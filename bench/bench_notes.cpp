#include "benchrow.h"
#include "notes/foldertree.h"
#include "notes/noteorder.h"
#include "notes/notesbrowser.h"
#include "notes/notescan.h"
#include "platform/settingsstore.h"
#include "storage/pathmanager.h"
#include "storage/pins.h"
#include "storage/viewcounts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

/// The notes page on a large Notes folder: 10,000 notes in 500 folders. Listing "すべて" reads
/// every folder and dates every note, then orders them; it runs on every refresh, after every
/// save and after every move, so it has to stay well below what a user notices.
class BenchNotes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void listAllNotes_data();
    void listAllNotes();
    void listAllNotesBesideBareLoop_data();
    void listAllNotesBesideBareLoop();
    void scanAllNotes();
    void plainReaddirAndStat();
    void orderAllNotes_data();
    void orderAllNotes();
    void collectFolderTree();

private:
    static constexpr int topFolders = 50;
    static constexpr int subfoldersEach = 9; // 50 + 50 × 9 = 500 folders
    static constexpr int notesPerFolder = 20;

    void addData();

    QTemporaryDir m_root;
    QString m_notes;
};

void BenchNotes::initTestCase()
{
    QVERIFY(m_root.isValid());
    // Settings and the default base folder must land in the temporary folder, never in the
    // user's own.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("data"))));
    SettingsStore::resetInstance();
    PathManager::resetForTesting();
    const QString base = m_root.filePath(QStringLiteral("base"));
    QVERIFY(QDir().mkpath(base));
    PathManager::setBaseFolder(base);
    m_notes = PathManager::notesFolderPath();

    // Dates spread over a year, one note every few minutes, as a real folder would have.
    const QDateTime start(QDate(2024, 4, 1), QTime(8, 0), QTimeZone::utc());
    int made = 0;
    QStringList folders;
    for (int top = 0; top < topFolders; ++top) {
        const QString parent = m_notes + QStringLiteral("/Project %1").arg(top);
        folders.append(parent);
        for (int sub = 0; sub < subfoldersEach; ++sub)
            folders.append(parent + QStringLiteral("/Topic %1").arg(sub));
    }
    for (const QString &folder : std::as_const(folders)) {
        QVERIFY(QDir().mkpath(folder));
        for (int i = 0; i < notesPerFolder; ++i, ++made) {
            QFile file(folder + QStringLiteral("/メモ %1.md").arg(made));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("---\ntitle: x\n---\n\nbody\n");
            QVERIFY(file.setFileTime(start.addSecs(qint64(made) * 7 * 60 + (made * 7919) % 3600),
                                     QFileDevice::FileModificationTime));
            if (made % 200 == 0)
                Pins::pinNote(file.fileName());
            if (made % 20 == 0)
                ViewCounts::recordNoteView(file.fileName());
        }
    }
    QCOMPARE(made, 10000);
    ViewCounts::flushPendingWrites();
}

void BenchNotes::cleanupTestCase()
{
    ViewCounts::resetCachesForTesting();
    Pins::resetCachesForTesting();
    SettingsStore::resetInstance();
    PathManager::resetForTesting();
}

void BenchNotes::addData()
{
    QTest::addColumn<NotesFileSortMode>("mode");
    QTest::newRow("modificationDate") << NotesFileSortMode::modificationDate;
    QTest::newRow("pinsFirst") << NotesFileSortMode::pinsFirst;
    QTest::newRow("viewCount") << NotesFileSortMode::viewCount;
}

void BenchNotes::listAllNotes_data()
{
    addData();
}

void BenchNotes::listAllNotes()
{
    QFETCH(NotesFileSortMode, mode);
    NotesBrowser browser;
    browser.setPageVisible(true); // "すべて": nothing remembered yet
    browser.setSortMode(mode);
    QVERIFY(browser.isAllNotesSelected());
    QBENCHMARK
    {
        browser.loadFiles();
    }
    QCOMPARE(browser.notes().size(), 10000);
}

namespace {

/// The floor for any listing: the same folders read and every note dated with bare system
/// calls, no strings built.
int readAndStat(int parentFd, const char *name)
{
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir)
        return 0;
    int notes = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        if (entry->d_type == DT_DIR) {
            notes += readAndStat(::dirfd(dir), entry->d_name);
            continue;
        }
        struct stat info;
        if (::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode))
            ++notes;
    }
    ::closedir(dir);
    return notes;
}

} // namespace

void BenchNotes::listAllNotesBesideBareLoop_data()
{
    addData();
}

// The listing and the bare loop in turns, so that both meet the same machine (a busy moment
// slows both), each figure the median of its rounds: the row scripts/bench prints.
void BenchNotes::listAllNotesBesideBareLoop()
{
    QFETCH(NotesFileSortMode, mode);
    NotesBrowser browser;
    browser.setPageVisible(true);
    browser.setSortMode(mode);
    const QByteArray root = QFile::encodeName(m_notes);
    std::vector<double> listing;
    std::vector<double> bare;
    int count = 0;
    for (int round = 0; round < 21; ++round) {
        QElapsedTimer timer;
        timer.start();
        count = readAndStat(AT_FDCWD, root.constData());
        bare.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        browser.loadFiles();
        listing.push_back(timer.nsecsElapsed() / 1e6);
    }
    QCOMPARE(count, 10000);
    QCOMPARE(browser.notes().size(), 10000);
    const auto median = [](std::vector<double> times) {
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    benchRow(QStringLiteral("notes page \"すべて\", 10,000 notes in 500 folders, by %1")
                 .arg(QString::fromUtf8(QTest::currentDataTag())),
             median(listing), QStringLiteral("bare readdir + stat"), median(bare), "ratio:1.15");
}

void BenchNotes::scanAllNotes()
{
    qsizetype count = 0;
    QBENCHMARK
    {
        count = NoteScan::collectAllNoteItems(m_notes).size();
    }
    QCOMPARE(count, 10000);
}

void BenchNotes::plainReaddirAndStat()
{
    const QByteArray root = QFile::encodeName(m_notes);
    int count = 0;
    QBENCHMARK
    {
        count = readAndStat(AT_FDCWD, root.constData());
    }
    QCOMPARE(count, 10000);
}

void BenchNotes::orderAllNotes_data()
{
    addData();
    QTest::newRow("modificationDate, every note of one date")
        << NotesFileSortMode::modificationDate;
}

void BenchNotes::orderAllNotes()
{
    QFETCH(NotesFileSortMode, mode);
    QList<NoteFileItem> items = NoteScan::collectAllNoteItems(m_notes);
    if (QByteArray(QTest::currentDataTag()).contains("one date")) {
        for (NoteFileItem &item : items)
            item.modified = 0;
    }
    QStringList ordered;
    QBENCHMARK
    {
        ordered = NoteOrder::orderNotes(items, mode);
    }
    QCOMPARE(ordered.size(), 10000);
}

void BenchNotes::collectFolderTree()
{
    QList<FolderRow> rows;
    QBENCHMARK
    {
        const FolderTree tree(NoteScan::collectFolders(m_notes));
        rows = tree.visibleRows(tree.initiallyExpanded());
    }
    QCOMPARE(rows.size(), 501);
}

QTEST_GUILESS_MAIN(BenchNotes)
#include "bench_notes.moc"
