// The note index: the search it helps answers exactly as the full scan, whatever the notes hold
// and however they changed; a damaged, foreign or locked index is never the reason a result is
// wrong.

#include "common/systemcallfaults.h"
#include "common/testenvironment.h"
#include "common/testfiles.h"
#include "index/indexedsearch.h"
#include "index/indexservice.h"
#include "index/noteindex.h"
#include "platform/atomicfile.h"
#include "search/globalsearch.h"
#include "storage/notestore.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Pieces the random notes and keywords are made of: where folding, widths, encodings and
// headers could make the index and the matcher disagree.
const QStringList pieces = {
    QStringLiteral("会議"),   QStringLiteral("議事録"),  QStringLiteral("猫"),
    QStringLiteral("ねこ"),   QStringLiteral("ネコ"),    QStringLiteral("ﾈｺ"),
    QStringLiteral("ｶﾞ"),     QStringLiteral("ガ"),      QStringLiteral("ＡＢＣ"),
    QStringLiteral("ａｂｃ"), QStringLiteral("abc"),     QStringLiteral("ABC"),
    QStringLiteral("Straße"), QStringLiteral("STRASSE"), QStringLiteral("ſ"),
    QStringLiteral("K"),      QStringLiteral("k"),       QStringLiteral("Σ"),
    QStringLiteral("ς"),      QStringLiteral("σ"),       QStringLiteral("é"),
    QStringLiteral("É"),      QStringLiteral("e\u0301"), QStringLiteral("İ"),
    QStringLiteral("ı"),      QStringLiteral("😀"),       QStringLiteral("𐐀"),
    QStringLiteral("𐐨"),      QStringLiteral(" "),       QStringLiteral("\n"),
    QStringLiteral("\r\n"),   QStringLiteral("\t"),      QStringLiteral("\u2028"),
    QStringLiteral("東京"),   QStringLiteral("予定"),    QStringLiteral("x"),
    QStringLiteral("\""),     QStringLiteral("AND"),     QStringLiteral("*"),
    QStringLiteral("𠮷"),     QStringLiteral("ー"),      QStringLiteral("〜"),
    QStringLiteral("～")};

const QStringList headers = {
    QStringLiteral("---\ncreated: 2024-01-02T03:04:05+09:00\ntags: [会議]\n---\n"),
    QStringLiteral("---\ntitle: 猫\n---\n\n"),
    QStringLiteral("\uFEFF"),
    QString(),
};

QString randomText(QRandomGenerator &random, int pieceCount)
{
    QString text;
    for (int i = 0; i < pieceCount; ++i)
        text += pieces[random.bounded(int(pieces.size()))];
    return text;
}

QByteArray randomNote(QRandomGenerator &random)
{
    QString text =
        headers[random.bounded(int(headers.size()))] + randomText(random, random.bounded(0, 40));
    if (random.bounded(8) == 0)
        text += QStringLiteral("\n\nid: 0123456789abcdef0123456789abcdef\ntype_: 1\n");
    if (random.bounded(10) == 0)
        text += QChar(0);
    QByteArray bytes = text.toUtf8();
    // Some notes are not UTF-8 at all, or end in half a character.
    if (random.bounded(15) == 0)
        bytes.insert(random.bounded(int(bytes.size()) + 1), "\xFF\xFE");
    if (random.bounded(20) == 0 && !bytes.isEmpty())
        bytes.append("\xE3\x81");
    return bytes;
}

QString randomName(QRandomGenerator &random, int index)
{
    const QString stem =
        random.bounded(6) == 0
            ? randomText(random, 2).remove(u'\n').remove(u'\r').remove(u'/').remove(u'\u2028')
            : QString();
    return QStringLiteral("n%1%2.%3").arg(index).arg(stem, random.bounded(5) == 0 ? "txt" : "md");
}

/// A keyword: mostly a piece of a note's text, with its case or width changed now and then;
/// sometimes made up.
QString randomKeyword(QRandomGenerator &random, const QList<QByteArray> &notes)
{
    QString keyword;
    if (random.bounded(4) == 0 || notes.isEmpty()) {
        keyword = randomText(random, random.bounded(1, 4));
    } else {
        const QString text = QString::fromUtf8(notes[random.bounded(int(notes.size()))]);
        if (text.isEmpty())
            return QStringLiteral("猫");
        const int from = random.bounded(int(text.size()));
        keyword = text.sliced(from, std::min<qsizetype>(text.size() - from, random.bounded(1, 7)));
    }
    if (random.bounded(3) == 0)
        keyword = random.bounded(2) ? keyword.toUpper() : keyword.toLower();
    keyword = keyword.trimmed();
    return keyword.isEmpty() ? QStringLiteral("ねこ") : keyword;
}

QString hitsText(const QList<SearchHit> &hits)
{
    QStringList lines;
    for (const SearchHit &hit : hits)
        lines << QStringLiteral("%1 %2 [%3] %4")
                     .arg(hit.matchCount)
                     .arg(hit.filePath, hit.snippet, hit.sortDate.toString(Qt::ISODateWithMs));
    return lines.join(u'\n');
}

} // namespace

class TestNoteIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void matchesTheScanOnRandomNotes();
    void damagedOrForeignIndexIsRebuilt_data();
    void damagedOrForeignIndexIsRebuilt();
    void lockedIndexFailsWithoutHarm();
    void twoConnectionsStayExact();
    void liesOutsideTheBaseFolder();
    void windowServiceFollowsEveryChange();
    void watchedFoldersTellWhatChanged_data();
    void watchedFoldersTellWhatChanged();
    void failingCacheDiskLeavesSearchExact_data();
    void failingCacheDiskLeavesSearchExact();

private:
    /// Searches `keywords` with the index (after a refresh) and by the scan; fails naming the
    /// first keyword they disagree on.
    void compare(IndexedSearch &indexed, const QStringList &keywords, const QString &context)
    {
        QString problem;
        QVERIFY2(indexed.refresh(&problem), qPrintable(problem));
        for (qsizetype k = 0; k < keywords.size(); ++k) {
            const QString &keyword = keywords[k];
            const std::optional<QList<SearchHit>> found = indexed.search(keyword, &problem);
            QVERIFY2(found, qPrintable(problem));
            const QList<SearchHit> scanned = GlobalSearch::runSearch(m_base, keyword);
            // The first rows, found newest first, are the full result's (every third keyword:
            // they cost a search of their own).
            QList<SearchHit> first = scanned.mid(0, 20);
            if (k % 3 == 0) {
                const std::optional<QList<qsizetype>> candidates =
                    indexed.candidates(keyword, &problem);
                QVERIFY(candidates);
                first = indexed.firstHits(*candidates, keyword, 20);
            }
            if (*found != scanned || first != scanned.mid(0, 20))
                QFAIL(qPrintable(QStringLiteral("%1, keyword \"%2\" (%3):\nindex:\n%4\nscan:\n%5")
                                     .arg(context, keyword, keyword.toUtf8().toHex(' '),
                                          hitsText(*found), hitsText(scanned))));
        }
    }

    void writeNotes(int count, QRandomGenerator &random, QList<QByteArray> &notes,
                    QStringList &paths)
    {
        for (int i = 0; i < count; ++i) {
            const QString folder =
                random.bounded(3) == 0
                    ? QStringLiteral("/会議/")
                    : (random.bounded(3) == 0 ? QStringLiteral("/abc/x/") : QStringLiteral("/"));
            const QString path = m_base + folder + randomName(random, i);
            notes << randomNote(random);
            // Equal dates now and then, so that names decide the order.
            QVERIFY(TestFiles::write(path, notes.back(), 1'700'000'000 + random.bounded(50)));
            paths << path;
        }
    }

    std::unique_ptr<TestEnvironment> m_env;
    QString m_base;
};

void TestNoteIndex::matchesTheScanOnRandomNotes()
{
    m_base = m_env->useBaseFolder();
    // QUILLMERE_SEED repeats a failed run.
    const quint32 seed = qEnvironmentVariableIsSet("QUILLMERE_SEED")
                             ? quint32(qEnvironmentVariableIntValue("QUILLMERE_SEED"))
                             : QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    const auto context = [seed](const char *step) {
        return QStringLiteral("seed %1, %2").arg(seed).arg(QLatin1String(step));
    };
    QList<QByteArray> notes;
    QStringList paths;
    writeNotes(300, random, notes, paths);
    // A note whose name is not UTF-8, and one in the application's Data folder.
    QVERIFY(TestFiles::writeExactly(QFile::encodeName(m_base) + "/\xFF\xFE猫.md", "猫と会議"));
    QVERIFY(TestFiles::write(m_base + QStringLiteral("/Data/猫.md"), "猫"));

    IndexedSearch indexed(m_base);
    QString problem;
    QVERIFY2(indexed.open(&problem), qPrintable(problem));
    QStringList keywords;
    for (int i = 0; i < 300; ++i)
        keywords << randomKeyword(random, notes);
    keywords << QStringLiteral("猫") << QStringLiteral("会議") << QStringLiteral("😀")
             << QStringLiteral("\"") << QStringLiteral("a\nb") << QString(QChar(0))
             << QStringLiteral("ss") << QStringLiteral("\u00DF") << QStringLiteral("kkk")
             << QString(100000, u'猫');
    compare(indexed, keywords, context("built"));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(indexed.readCount(), indexed.listedCount());

    // Another program changes, adds, removes and renames notes; the very next search knows.
    for (int i = 0; i < 40; ++i) {
        const int k = random.bounded(int(paths.size()));
        if (!QFileInfo::exists(paths[k]))
            continue;
        switch (random.bounded(4)) {
        case 0: {
            // Rewritten in place to the same size, and dated back as it was (as a sync tool
            // may): only the change time tells.
            const QDateTime modified = QFileInfo(paths[k]).lastModified();
            notes[k] = QByteArray(notes[k].size(), 'k');
            QFile file(paths[k]);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QCOMPARE(file.write(notes[k]), notes[k].size());
            QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
            file.close();
            break;
        }
        case 1:
            notes[k] = randomNote(random);
            QVERIFY(TestFiles::write(paths[k], notes[k]));
            break;
        case 2:
            QFile::remove(paths[k]);
            break;
        case 3: {
            const QString moved = paths[k] + QStringLiteral(".moved.md");
            QFile::rename(paths[k], moved);
            paths[k] = moved;
            break;
        }
        }
    }
    writeNotes(10, random, notes, paths);
    compare(indexed, keywords.mid(0, 120) << QStringLiteral("kkk"),
            context("changed by another program"));
    if (QTest::currentTestFailed())
        return;
    QVERIFY(indexed.readCount() < indexed.listedCount() / 2);

    // A second refresh with nothing changed reads nothing older than the racy window.
    QVERIFY(indexed.refresh(&problem));
    QVERIFY(indexed.readCount() <= 60);
    ::unlink(QByteArray(QFile::encodeName(m_base) + "/\xFF\xFE猫.md").constData());
}

void TestNoteIndex::damagedOrForeignIndexIsRebuilt_data()
{
    QTest::addColumn<QByteArray>("damage");
    QTest::newRow("garbage") << QByteArray("garbage");
    QTest::newRow("truncated") << QByteArray("truncated");
    QTest::newRow("foreign") << QByteArray("foreign");
    QTest::newRow("other version") << QByteArray("version");
    QTest::newRow("other base folder") << QByteArray("base");
    QTest::newRow("pages zeroed") << QByteArray("zeroed");
}

void TestNoteIndex::damagedOrForeignIndexIsRebuilt()
{
    QFETCH(QByteArray, damage);
    m_base = m_env->useBaseFolder();
    QVERIFY(TestFiles::write(m_base + QStringLiteral("/a.md"), "今日の会議は猫と", 1'700'000'000));
    QVERIFY(TestFiles::write(m_base + QStringLiteral("/b.md"), "犬の会議", 1'700'000'001));
    const QString path = NoteIndex::defaultPath(m_base);
    {
        IndexedSearch indexed(m_base);
        QString problem;
        QVERIFY(indexed.open(&problem));
        QVERIFY(indexed.refresh(&problem));
    }
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    const QByteArray bytes = TestFiles::read(path);
    QVERIFY(bytes.size() > 4096);
    QByteArray damaged;
    if (damage == "garbage") {
        damaged = QByteArray(bytes.size(), '\x5A');
    } else if (damage == "truncated") {
        damaged = bytes.left(bytes.size() / 3 + 100);
    } else if (damage == "zeroed") {
        damaged = bytes;
        for (qsizetype i = 4096; i < damaged.size(); ++i)
            damaged[i] = 0;
    } else {
        sqlite3 *db = nullptr;
        QVERIFY(sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK);
        const char *sql =
            damage == "foreign"
                ? "DROP TABLE meta; CREATE TABLE other(x)"
                : (damage == "version"
                       ? "UPDATE meta SET value = 999 WHERE key = 'version'"
                       : "UPDATE meta SET value = x'2F6F74686572' WHERE key = 'base'");
        QVERIFY(sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK);
        sqlite3_close(db);
    }
    if (!damaged.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(damaged), damaged.size());
    }

    IndexedSearch indexed(m_base);
    QString problem;
    bool reset = false;
    bool opened = indexed.open(&problem, &reset);
    // Damage deep in the file may show only once read: the refresh fails, the next open
    // starts afresh.
    if (opened && !indexed.refresh(&problem))
        opened = indexed.open(&problem, &reset) && indexed.refresh(&problem);
    QVERIFY2(opened, qPrintable(problem));
    if (damage != "zeroed")
        QVERIFY(reset);
    for (const QString &keyword :
         {QStringLiteral("会議"), QStringLiteral("猫"), QStringLiteral("今日の会議")}) {
        const std::optional<QList<SearchHit>> found = indexed.search(keyword, &problem);
        QVERIFY2(found, qPrintable(problem));
        QCOMPARE(*found, GlobalSearch::runSearch(m_base, keyword));
    }
    QCOMPARE(indexed.index().status()->notes, 2);
}

void TestNoteIndex::lockedIndexFailsWithoutHarm()
{
    m_base = m_env->useBaseFolder();
    QVERIFY(TestFiles::write(m_base + QStringLiteral("/a.md"), "会議", 1'700'000'000));
    const QString path = NoteIndex::defaultPath(m_base);
    {
        IndexedSearch indexed(m_base);
        QString problem;
        QVERIFY(indexed.open(&problem) && indexed.refresh(&problem));
    }
    // Another program holds the file locked for writing: a note changed meanwhile cannot be
    // written into the index, which says so and stays as it was.
    sqlite3 *holder = nullptr;
    QVERIFY(sqlite3_open(QFile::encodeName(path).constData(), &holder) == SQLITE_OK);
    QVERIFY(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr,
                         nullptr) == SQLITE_OK);
    QVERIFY(TestFiles::write(m_base + QStringLiteral("/b.md"), "会議の猫", 1'700'000'001));
    IndexedSearch indexed(m_base);
    QString problem;
    const bool usable = indexed.open(&problem) && indexed.refresh(&problem);
    QVERIFY(!usable);
    QVERIFY(!problem.isEmpty());
    QVERIFY(!indexed.search(QStringLiteral("会議"), &problem));
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    // The lock gone, the same index serves again: nothing was deleted.
    QVERIFY2(indexed.open(&problem), qPrintable(problem));
    QVERIFY(indexed.refresh(&problem));
    QCOMPARE(indexed.readCount(), 1);
    QCOMPARE(indexed.search(QStringLiteral("猫"), &problem)->size(), 1);
}

void TestNoteIndex::twoConnectionsStayExact()
{
    // The window's worker and a command line run on the same index: each one's view of which
    // text belongs to which note follows the other's writes.
    m_base = m_env->useBaseFolder();
    const QString a = m_base + QStringLiteral("/a.md");
    QVERIFY(TestFiles::write(a, "猫", 1'700'000'000));
    QVERIFY(TestFiles::write(m_base + QStringLiteral("/b.md"), "犬", 1'700'000'001));
    IndexedSearch window(m_base);
    IndexedSearch command(m_base);
    QString problem;
    QVERIFY(window.open(&problem) && window.refresh(&problem));
    QVERIFY(command.open(&problem) && command.refresh(&problem));
    QCOMPARE(command.readCount(), 0);
    QVERIFY(TestFiles::write(a, "犬と会議", 1'700'000'005));
    QVERIFY(command.refresh(&problem));
    QCOMPARE(command.search(QStringLiteral("会議"), &problem)->size(), 1);
    // The window learns of the command's writes, and has nothing left to read itself.
    QVERIFY(window.refresh(&problem));
    QCOMPARE(window.readCount(), 0);
    QCOMPARE(*window.search(QStringLiteral("会議"), &problem),
             GlobalSearch::runSearch(m_base, QStringLiteral("会議")));
    QCOMPARE(*window.search(QStringLiteral("犬"), &problem),
             GlobalSearch::runSearch(m_base, QStringLiteral("犬")));
    QVERIFY(window.search(QStringLiteral("猫"), &problem)->isEmpty());
}

void TestNoteIndex::liesOutsideTheBaseFolder()
{
    m_base = m_env->useBaseFolder();
    const QString path = NoteIndex::defaultPath(m_base);
    QVERIFY(path.startsWith(m_env->path(QStringLiteral("cache/Quillmere/index/"))));
    QVERIFY(path.endsWith(QStringLiteral(".sqlite")));
    QVERIFY(path != NoteIndex::defaultPath(m_env->makeFolder(QStringLiteral("other"))));
    IndexedSearch indexed(m_base);
    QString problem;
    QVERIFY(indexed.open(&problem));
    struct stat info = {};
    QVERIFY(::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &info) == 0);
    QCOMPARE(info.st_mode & 0777, 0700u);
    QCOMPARE(QDir(m_base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    // A cache folder that lies inside the base folder is not used at all.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_base + QStringLiteral("/.cache")));
    QVERIFY(NoteIndex::defaultPath(m_base).isEmpty());
    IndexedSearch inside(m_base);
    QVERIFY(!inside.open(&problem));
    QVERIFY(!QFileInfo::exists(m_base + QStringLiteral("/.cache")));
}

void TestNoteIndex::windowServiceFollowsEveryChange()
{
    QCOMPARE(IndexService::progressText(12345, 50000),
             QStringLiteral("索引を作成中… 12,345 / 50,000"));
    m_base = m_env->useBaseFolder();
    for (int i = 0; i < 300; ++i)
        QVERIFY(TestFiles::write(m_base + QStringLiteral("/n%1.md").arg(i),
                                 i % 3 ? "犬の散歩" : "猫の会議", 1'700'000'000 + i));
    QList<SearchHit> found;
    bool complete = false;
    // The service's answer is the scan's, whether it used the index or not.
    const auto searchIn = [&](IndexService &service, const QString &keyword) {
        complete = false;
        service.search(keyword, this, [&](QList<SearchHit> hits, bool done) {
            found = std::move(hits);
            complete = done;
        });
        QTRY_VERIFY(complete);
        QCOMPARE(found, GlobalSearch::runSearch(m_base, keyword));
    };
    {
        IndexService service;
        QSignalSpy states(&service, &IndexService::stateChanged);
        // Searches before the index is complete scan.
        service.start();
        const auto search = [&](const QString &keyword) { searchIn(service, keyword); };
        search(QStringLiteral("会議"));
        QTRY_VERIFY(service.isReady());
        QCOMPARE(states.first().first().toString(), QStringLiteral("索引を作成中… 0 / 300"));
        QTRY_COMPARE(states.last().first().toString(), QString());

        // Its own save is queued at once; another program's change is found by the next search.
        QVERIFY(NoteStore::instance().writeNote(m_base + QStringLiteral("/n1.md"),
                                                QStringLiteral("猫の会議"), std::nullopt, nullptr));
        QVERIFY(TestFiles::write(m_base + QStringLiteral("/n2.md"), "会議室", 1'700'001'000));
        QVERIFY(QFile::rename(m_base + QStringLiteral("/n4.md"), m_base + QStringLiteral("/x.md")));
        QVERIFY(QFile::remove(m_base + QStringLiteral("/n0.md")));
        search(QStringLiteral("会議"));
        search(QStringLiteral("犬"));
    }

    // Another program holds the index locked: the window scans, says so once, and uses the
    // index again once it is free.
    const QString path = NoteIndex::defaultPath(m_base);
    sqlite3 *holder = nullptr;
    QVERIFY(sqlite3_open(QFile::encodeName(path).constData(), &holder) == SQLITE_OK);
    QVERIFY(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr,
                         nullptr) == SQLITE_OK);
    IndexService window;
    QSignalSpy told(&window, &IndexService::stateChanged);
    window.start();
    window.waitUntilIdle();
    QTRY_VERIFY(!told.isEmpty() &&
                told.last().first().toString().startsWith(QStringLiteral("索引を使えない")));
    QVERIFY(TestFiles::write(m_base + QStringLiteral("/n5.md"), "会議", 1'700'002'000));
    const auto windowSearch = [&](const QString &keyword) { searchIn(window, keyword); };
    windowSearch(QStringLiteral("会議"));
    window.waitUntilIdle();
    QVERIFY(!window.isReady());
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    windowSearch(QStringLiteral("会議"));
    window.waitUntilIdle();
    QTRY_VERIFY(window.isReady());
    windowSearch(QStringLiteral("会議"));
    int problems = 0;
    for (const QList<QVariant> &state : std::as_const(told))
        problems += state.first().toString().startsWith(QStringLiteral("索引を使えない"));
    QCOMPARE(problems, 1);
}

void TestNoteIndex::watchedFoldersTellWhatChanged_data()
{
    // Another program's change, and whether the next search may rely on the kernel's reports
    // (false) or must walk every note (true) to find it.
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("walks");
    QTest::newRow("written in place") << "write a.md" << false;
    QTest::newRow("saved by renaming over it") << "save a.md" << false;
    QTest::newRow("removed") << "remove b.md" << false;
    QTest::newRow("renamed") << "rename b.md" << true;
    QTest::newRow("added") << "write e.md" << true;
    QTest::newRow("added in a new folder") << "write new/f.md" << true;
    QTest::newRow("folder renamed") << "rename sub" << true;
    QTest::newRow("folder removed") << "remove sub" << true;
    QTest::newRow("a link's target outside written") << "write outside/target.md" << false;
    QTest::newRow("written through another name") << "write outside/other.md" << false;
    QTest::newRow("hidden and other files") << "write .e.md" << false;
    QTest::newRow("index rebuilt by another program") << "rebuild" << true;
}

void TestNoteIndex::watchedFoldersTellWhatChanged()
{
    QFETCH(QString, change);
    QFETCH(bool, walks);
    m_base = m_env->useBaseFolder();
    const QString outside = m_env->makeFolder(QStringLiteral("outside"));
    QVERIFY(TestFiles::write(m_base + QStringLiteral("/a.md"), "猫の会議", 1'700'000'000));
    QVERIFY(TestFiles::write(m_base + QStringLiteral("/b.md"), "犬", 1'700'000'001));
    QVERIFY(TestFiles::write(m_base + QStringLiteral("/sub/c.md"), "会議室", 1'700'000'002));
    QVERIFY(TestFiles::write(outside + QStringLiteral("/target.md"), "犬", 1'700'000'003));
    QVERIFY(QFile::link(outside + QStringLiteral("/target.md"), m_base + QStringLiteral("/l.md")));
    QVERIFY(TestFiles::write(outside + QStringLiteral("/other.md"), "猫", 1'700'000'004));
    QVERIFY(::link(QFile::encodeName(outside + QStringLiteral("/other.md")).constData(),
                   QFile::encodeName(m_base + QStringLiteral("/h.md")).constData()) == 0);

    IndexedSearch indexed(m_base);
    indexed.setWatching(true);
    QString problem;
    QVERIFY2(indexed.open(&problem) && indexed.update(&problem), qPrintable(problem));
    QVERIFY(indexed.updateWalked());
    QVERIFY(indexed.update(&problem));
    QVERIFY(!indexed.updateWalked());

    const auto exact = [&](const QString &when, IndexedSearch &indexed) {
        for (const QString &keyword : {QStringLiteral("会議"), QStringLiteral("猫"),
                                       QStringLiteral("犬"), QStringLiteral("後")}) {
            const std::optional<QList<SearchHit>> found = indexed.search(keyword, &problem);
            QVERIFY2(found, qPrintable(problem));
            const QList<SearchHit> scanned = GlobalSearch::runSearch(m_base, keyword);
            if (*found != scanned)
                QFAIL(qPrintable(QStringLiteral("%1, \"%2\":\nindex:\n%3\nscan:\n%4")
                                     .arg(when, keyword, hitsText(*found), hitsText(scanned))));
        }
    };
    // A command's index of its own, made before the change: its one walk, looking the notes up
    // in one block, finds the change too.
    const QString commandIndex = m_env->path(QStringLiteral("command.sqlite"));
    {
        IndexedSearch command(m_base, commandIndex);
        QVERIFY2(command.open(&problem) && command.refresh(&problem), qPrintable(problem));
    }
    const QString what = change.section(u' ', 1);
    const QString path =
        (what.startsWith(QStringLiteral("outside/")) ? m_env->path(what) : m_base + u'/' + what);
    if (change.startsWith(QStringLiteral("write ")))
        QVERIFY(TestFiles::write(path, "会議の後", 1'700'000'100));
    else if (change.startsWith(QStringLiteral("save ")))
        QVERIFY(AtomicFile::write(path, "会議の後"));
    else if (change == QStringLiteral("rename b.md"))
        QVERIFY(QFile::rename(path, m_base + QStringLiteral("/d.md")));
    else if (change == QStringLiteral("rename sub"))
        QVERIFY(QDir().rename(path, m_base + QStringLiteral("/後")));
    else if (change == QStringLiteral("remove sub"))
        QVERIFY(QDir(path).removeRecursively());
    else if (change.startsWith(QStringLiteral("remove ")))
        QVERIFY(QFile::remove(path));
    if (change == QStringLiteral("write .e.md"))
        QVERIFY(TestFiles::write(m_base + QStringLiteral("/e.tmp"), "会議の後"));
    if (change == QStringLiteral("rebuild")) {
        IndexedSearch other(m_base);
        QVERIFY(other.open(&problem) && other.rebuild(&problem));
    }
    QVERIFY2(indexed.update(&problem), qPrintable(problem));
    QCOMPARE(indexed.updateWalked(), walks);
    exact(QStringLiteral("after the change"), indexed);
    IndexedSearch command(m_base, commandIndex);
    QVERIFY2(command.open(&problem) && command.refresh(&problem), qPrintable(problem));
    exact(QStringLiteral("a command after the change"), command);

    // Watched again after a walk, the new folders too: every note written in place is found
    // without one.
    for (QDirIterator it(m_base, {QStringLiteral("*.md")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        QVERIFY(TestFiles::write(it.next(), "後で", 1'700'000'200));
    QVERIFY2(indexed.update(&problem), qPrintable(problem));
    QVERIFY(!indexed.updateWalked());
    exact(QStringLiteral("after writing every note"), indexed);
}

void TestNoteIndex::failingCacheDiskLeavesSearchExact_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("afterBuild");
    QTest::newRow("full, once the index is built") << ENOSPC << true;
    QTest::newRow("read-only from the start") << EROFS << false;
}

void TestNoteIndex::failingCacheDiskLeavesSearchExact()
{
    QFETCH(int, error);
    QFETCH(bool, afterBuild);
    m_base = m_env->useBaseFolder();
    for (int i = 0; i < 40; ++i)
        QVERIFY(TestFiles::write(m_base + QStringLiteral("/n%1.md").arg(i),
                                 i % 2 ? "犬の散歩" : "猫の会議", 1'700'000'000 + i));
    const QString cache = m_env->makeFolder(QStringLiteral("cache/Quillmere/index"));
    SystemCallFaults::Guard guard;
    if (!afterBuild)
        SystemCallFaults::refuseWritingIn(cache, error);

    IndexService service;
    QSignalSpy states(&service, &IndexService::stateChanged);
    service.start();
    service.waitUntilIdle();
    QCOMPARE(service.isReady(), afterBuild);
    if (afterBuild)
        SystemCallFaults::refuseWritingIn(cache, error);
    QList<SearchHit> found;
    bool complete = false;
    const auto search = [&](const QString &keyword) {
        complete = false;
        service.search(keyword, this, [&](QList<SearchHit> hits, bool done) {
            found = std::move(hits);
            complete = done;
        });
        QTRY_VERIFY(complete);
        QCOMPARE(found, GlobalSearch::runSearch(m_base, keyword));
        service.waitUntilIdle();
    };
    // Every search answers as the scan, changes by another program included, while the index
    // cannot be written; the reason is told once.
    for (int round = 0; round < 3; ++round) {
        QVERIFY(TestFiles::write(m_base + QStringLiteral("/n%1.md").arg(round), "会議のあとの散歩",
                                 1'700'001'000 + round));
        search(QStringLiteral("会議"));
        search(QStringLiteral("散歩"));
        QVERIFY(!service.isReady());
    }
    QTRY_VERIFY(!states.isEmpty());
    const auto told = [&] {
        int problems = 0;
        for (const QList<QVariant> &state : std::as_const(states))
            problems += state.first().toString().startsWith(QStringLiteral("索引を使えない"));
        return problems;
    };
    QTRY_COMPARE(told(), 1);

    // Room again: the index comes back and answers as exactly.
    SystemCallFaults::reset();
    search(QStringLiteral("会議"));
    QTRY_VERIFY(service.isReady());
    QVERIFY(TestFiles::write(m_base + QStringLiteral("/n39.md"), "会議", 1'700'002'000));
    search(QStringLiteral("会議"));
    search(QStringLiteral("犬"));
    QCOMPARE(told(), 1);
}

QTEST_GUILESS_MAIN(TestNoteIndex)
#include "tst_noteindex.moc"
