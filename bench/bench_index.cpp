#include "benchrow.h"
#include "editor/editorlivestate.h"
#include "editor/markdowneditor.h"
#include "editor/notetextedit.h"
#include "index/indexedsearch.h"
#include "index/indexservice.h"
#include "platform/settingsstore.h"
#include "search/globalsearch.h"
#include "storage/pathmanager.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <random>
#include <sys/stat.h>

/// The note index on a generated base folder of 10,000, then 50,000 notes of about 5 KB, made of
/// the sentences of real Japanese texts (bench/data) with rare words sprinkled in, in 500
/// folders, each note dated a minute before the previous one. Every figure is set beside the
/// full scan and `rg -i -c -F` over the same folder in the same run; files are read once before
/// timing, so everything works from the page cache. Times are medians.
class BenchIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void commandLineTenThousand_data();
    void commandLineTenThousand();
    void buildFiftyThousandWhileTyping();
    void firstRowsFiftyThousand_data();
    void firstRowsFiftyThousand();
    void totalsFiftyThousand();
    void commandLineFiftyThousand_data();
    void commandLineFiftyThousand();
    void oneSavedNote();

private:
    void writeNotes(int first, int count);
    double medianMs(int runs, const std::function<void()> &work) const;
    double ripgrepMs(const QString &keyword) const;
    double commandMs(const QStringList &arguments) const;
    void keywordRows();
    void commandLine(int notes);

    QTemporaryDir m_root;
    QString m_base;
    QStringList m_sentences;
    std::mt19937 m_random{20261207};
    int m_notes = 0;
};

namespace {

constexpr int folderCount = 500;
constexpr qsizetype noteBytes = 5000;

/// Rare words: each in about one note in a thousand.
const QStringList rareWords = {QStringLiteral("鵺"), QStringLiteral("猩々"),
                               QStringLiteral("ウォンバット"), QStringLiteral("ziggurat")};

} // namespace

void BenchIndex::writeNotes(int first, int count)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int i = first; i < first + count; ++i) {
        const QString folder = m_base + QStringLiteral("/Notes/Area %1/Topic-%2")
                                            .arg(i % folderCount / 50)
                                            .arg(i % folderCount);
        if (i < folderCount)
            QDir().mkpath(folder);
        QByteArray bytes =
            QStringLiteral("---\ntitle: \"ノート %1\"\ncreated: 2024-03-01T09:00:00\n"
                           "---\n\n# ノート %1\n\n")
                .arg(i)
                .toUtf8();
        // One note in 250 gets a rare word somewhere: each word in about one in a thousand.
        const bool rare = m_random() % 250 == 0;
        while (bytes.size() < noteBytes) {
            QString line;
            for (int s = 1 + int(m_random() % 3); s > 0; --s)
                line += m_sentences[int(m_random() % m_sentences.size())];
            if (rare && bytes.size() > noteBytes / 2 && bytes.size() < noteBytes / 2 + 300)
                line += rareWords[int(m_random() % rareWords.size())];
            bytes += (line + u'\n').toUtf8();
        }
        QFile file(folder + QStringLiteral("/note-%1.md").arg(i));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        const struct timespec times[2] = {{now - i * 60, 0}, {now - i * 60, 0}};
        utimensat(AT_FDCWD, QFile::encodeName(file.fileName()).constData(), times, 0);
    }
    m_notes = first + count;
}

void BenchIndex::initTestCase()
{
    QVERIFY(m_root.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("cache"))));
    SettingsStore::resetInstance();
    PathManager::resetForTesting();
    m_base = m_root.filePath(QStringLiteral("base"));
    QVERIFY(QDir().mkpath(m_base));
    PathManager::setBaseFolder(m_base);

    // Sentences: the texts' lines cut after each 。, code and markup left out.
    static const QRegularExpression markup(QStringLiteral("^\\s*([#>`|<*+-]|\\d+\\.)"));
    for (QDirIterator it(QStringLiteral(QUILLMERE_BENCH_DATA), {QStringLiteral("*.md")});
         it.hasNext();) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            if (line.trimmed().size() < 8 || markup.match(line).hasMatch())
                continue;
            for (QString sentence : line.split(u'。', Qt::SkipEmptyParts)) {
                if (sentence.trimmed().size() >= 4)
                    m_sentences << sentence.trimmed() + u'。';
            }
        }
    }
    QVERIFY(m_sentences.size() > 200);
    qInfo("%lld sentences", qlonglong(m_sentences.size()));
    writeNotes(0, 10000);
    GlobalSearch::runSearch(m_base, QStringLiteral("warm"));
}

double BenchIndex::medianMs(int runs, const std::function<void()> &work) const
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double BenchIndex::ripgrepMs(const QString &keyword) const
{
    const QString rg = QStandardPaths::findExecutable(QStringLiteral("rg"));
    if (rg.isEmpty())
        return -1;
    return medianMs(7, [&] {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(rg, {QStringLiteral("-i"), QStringLiteral("-c"), QStringLiteral("-F"),
                           keyword, m_base});
        process.waitForFinished(-1);
    });
}

double BenchIndex::commandMs(const QStringList &arguments) const
{
    return medianMs(7, [&] {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QStringLiteral(QUILLMERE_BINARY),
                      QStringList{QStringLiteral("--base"), m_base} + arguments);
        process.waitForFinished(-1);
    });
}

void BenchIndex::commandLine(int notes)
{
    QFETCH(QString, keyword);
    QFETCH(QString, goal);
    // The index current, as after any earlier search.
    QProcess build;
    build.start(
        QStringLiteral(QUILLMERE_BINARY),
        {QStringLiteral("--base"), m_base, QStringLiteral("index"), QStringLiteral("--rebuild")});
    build.waitForFinished(-1);
    commandMs({QStringLiteral("search"), keyword});
    const double indexed = commandMs({QStringLiteral("search"), keyword});
    const double scanned =
        commandMs({QStringLiteral("search"), QStringLiteral("--no-index"), keyword});
    const double rg = ripgrepMs(keyword);
    const qsizetype hits = GlobalSearch::runSearch(m_base, keyword).size();
    qInfo("%d notes, quillmere search \"%s\" (%lld hits): index %.1f ms, scan %.1f ms, rg %.1f ms",
          notes, qPrintable(keyword), qlonglong(hits), indexed, scanned, rg);
    const QString work = QStringLiteral("quillmere search, %1 notes, \"%2\" (%3 hits)")
                             .arg(notes)
                             .arg(keyword)
                             .arg(hits);
    benchRow(work, indexed, QStringLiteral("rg -i -c -F"), rg, qPrintable(goal));
    benchRow(work + QStringLiteral(" --no-index"), scanned, QStringLiteral("rg -i -c -F"), rg,
             "ratio:1.2");
}

void BenchIndex::commandLineTenThousand_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("goal");
    QTest::newRow("rare") << QStringLiteral("ウォンバット") << QStringLiteral("ratio:0.5");
    QTest::newRow("rare ASCII") << QStringLiteral("ziggurat") << QStringLiteral("ratio:0.5");
    QTest::newRow("common") << QStringLiteral("文字列") << QStringLiteral("ratio:0.8");
    QTest::newRow("common ASCII") << QStringLiteral("string") << QStringLiteral("ratio:0.8");
}

void BenchIndex::commandLineTenThousand()
{
    commandLine(10000);
}

void BenchIndex::buildFiftyThousandWhileTyping()
{
    writeNotes(10000, 40000);
    GlobalSearch::runSearch(m_base, QStringLiteral("warm"));
    qint64 notesBytes = 0;
    for (QDirIterator it(m_base, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        notesBytes += it.nextFileInfo().size();
    NoteIndex::remove(NoteIndex::defaultPath(m_base));

    EditorLiveState live;
    MarkdownEditor editor(live);
    editor.resize(800, 600);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.loadText(QString(2000, u'あ'));
    QPlainTextEdit *text = editor.textEdit();
    text->setFocus();

    QElapsedTimer clock;
    clock.start();
    IndexService service;
    service.start();
    std::vector<double> keys;
    while (!service.isReady()) {
        QElapsedTimer key;
        key.start();
        QTest::keyClick(text, Qt::Key_A);
        QCoreApplication::processEvents();
        keys.push_back(double(key.nsecsElapsed()) / 1e6);
        QTest::qWait(30);
    }
    const double buildMs = double(clock.nsecsElapsed()) / 1e6;
    std::sort(keys.begin(), keys.end());
    const double worstKey = keys.empty() ? 0 : keys.back();
    const double medianKey = keys.empty() ? 0 : keys[keys.size() / 2];
    // The same keystrokes with nothing in the background.
    std::vector<double> idle;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer key;
        key.start();
        QTest::keyClick(text, Qt::Key_A);
        QCoreApplication::processEvents();
        idle.push_back(double(key.nsecsElapsed()) / 1e6);
    }
    std::sort(idle.begin(), idle.end());
    const double scan = medianMs(3, [&] { GlobalSearch::runSearch(m_base, QStringLiteral("の")); });
    service.waitUntilIdle();
    const qint64 indexBytes = QFileInfo(NoteIndex::defaultPath(m_base)).size() +
                              QFileInfo(NoteIndex::defaultPath(m_base) + "-wal").size();
    qInfo("50000 notes: index built in %.0f ms; %zu keystrokes meanwhile, median %.2f ms, worst "
          "%.2f ms (idle: worst %.2f ms); notes %lld bytes, index %lld bytes (%.2fx)",
          buildMs, keys.size(), medianKey, worstKey, idle.back(), qlonglong(notesBytes),
          qlonglong(indexBytes), double(indexBytes) / double(notesBytes));
    benchRow(QStringLiteral("index build, 50,000 notes, in the background"), buildMs,
             QStringLiteral("full scan for \"の\""), scan, "ms:60000");
    benchRow(
        QStringLiteral("worst keystroke in the editor during the build (%1 keys)").arg(keys.size()),
        worstKey, QStringLiteral("worst keystroke, nothing in the background"), idle.back(),
        "ms:16");
    benchRow(QStringLiteral("index size, MB (50,000 notes)"), double(indexBytes) / 1e6,
             QStringLiteral("notes' size, MB"), double(notesBytes) / 1e6, "ratio:2");
}

void BenchIndex::firstRowsFiftyThousand_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::newRow("1 character, common") << QStringLiteral("の");
    QTest::newRow("1 character, rare") << QStringLiteral("鵺");
    QTest::newRow("2 characters, common") << QStringLiteral("文字");
    QTest::newRow("2 characters, rare") << QStringLiteral("猩々");
    QTest::newRow("3+ characters, common") << QStringLiteral("文字列");
    QTest::newRow("3+ characters, rare") << QStringLiteral("ウォンバット");
    QTest::newRow("ASCII, common") << QStringLiteral("string");
    QTest::newRow("ASCII, rare") << QStringLiteral("ziggurat");
}

void BenchIndex::firstRowsFiftyThousand()
{
    QFETCH(QString, keyword);
    IndexedSearch indexed(m_base);
    indexed.setWatching(true);
    QString problem;
    QVERIFY(indexed.open(&problem) && indexed.update(&problem));
    qsizetype candidates = 0;
    // As the window's worker answers: the watcher's reports read (nothing changed), the
    // candidates, the newest 50 rows.
    const double first = medianMs(7, [&] {
        QVERIFY(indexed.update(&problem));
        QVERIFY(!indexed.updateWalked());
        const std::optional<QList<qsizetype>> found = indexed.candidates(keyword, &problem);
        QVERIFY(found);
        candidates = found->size();
        indexed.firstHits(*found, keyword, IndexService::firstRows);
    });
    const double scan = medianMs(3, [&] { GlobalSearch::runSearch(m_base, keyword); });
    const double rg = ripgrepMs(keyword);
    const qsizetype hits = GlobalSearch::runSearch(m_base, keyword).size();
    qInfo("50000 notes, first 50 rows of \"%s\" (%lld candidates, %lld hits): %.1f ms; full scan "
          "%.1f ms; rg %.1f ms",
          qPrintable(keyword), qlonglong(candidates), qlonglong(hits), first, scan, rg);
    benchRow(QStringLiteral("first 50 rows, 50,000 notes, %1 \"%2\" (%3 hits)")
                 .arg(QString::fromUtf8(QTest::currentDataTag()), keyword)
                 .arg(hits),
             first, QStringLiteral("full scan"), scan, "ms:50");
    benchRow(QStringLiteral("  (the same beside rg -i -c -F)"), first,
             QStringLiteral("rg -i -c -F"), rg, "ms:50");
}

void BenchIndex::totalsFiftyThousand()
{
    const QString keyword = QStringLiteral("の");
    IndexedSearch indexed(m_base);
    indexed.setWatching(true);
    QString problem;
    QVERIFY(indexed.open(&problem) && indexed.update(&problem));
    qsizetype hits = 0;
    const double totals = medianMs(5, [&] {
        QVERIFY(indexed.update(&problem));
        QVERIFY(!indexed.updateWalked());
        hits = indexed.search(keyword, &problem)->size();
    });
    // The same after a walk, as the command line and a window that lost track answer.
    const double walked = medianMs(3, [&] {
        QVERIFY(indexed.refresh(&problem));
        indexed.search(keyword, &problem);
    });
    qInfo("  after a stat walk: %.1f ms", walked);
    const double scan = medianMs(3, [&] { GlobalSearch::runSearch(m_base, keyword); });
    const double rg = ripgrepMs(keyword);
    qInfo("50000 notes, all of \"%s\" (%lld hits): %.1f ms; full scan %.1f ms; rg %.1f ms",
          qPrintable(keyword), qlonglong(hits), totals, scan, rg);
    benchRow(QStringLiteral("complete totals, 50,000 notes, \"の\" (%1 hits)").arg(hits), totals,
             QStringLiteral("full scan"), scan, "ms:300");
    benchRow(QStringLiteral("  (the same beside rg -i -c -F)"), totals,
             QStringLiteral("rg -i -c -F"), rg, "ms:300");
}

void BenchIndex::commandLineFiftyThousand_data()
{
    commandLineTenThousand_data();
}

void BenchIndex::commandLineFiftyThousand()
{
    commandLine(50000);
}

void BenchIndex::oneSavedNote()
{
    IndexedSearch indexed(m_base);
    QString problem;
    QVERIFY(indexed.open(&problem) && indexed.refresh(&problem));
    const QString note = m_base + QStringLiteral("/Notes/Area 0/Topic-7/note-7.md");
    QFile file(note);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    int round = 0;
    std::vector<double> times;
    for (; round < 21; ++round) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes + QByteArray::number(round));
        file.close();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(indexed.updateNote(note, &problem));
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    QElapsedTimer read;
    read.start();
    QVERIFY(file.open(QIODevice::ReadOnly));
    file.readAll();
    file.close();
    const double readMs = double(read.nsecsElapsed()) / 1e6;
    benchRow(QStringLiteral("one saved note re-indexed (50,000 notes)"), times[times.size() / 2],
             QStringLiteral("reading the note"), readMs, "ms:5");
}

QTEST_MAIN(BenchIndex)
#include "bench_index.moc"
