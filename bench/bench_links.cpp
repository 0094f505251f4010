#include "benchrow.h"
#include "links/linkfollower.h"
#include "links/linkgraph.h"
#include "links/linktables.h"
#include "links/notelinks.h"
#include "platform/settingsstore.h"
#include "search/notefiles.h"
#include "search/quickopen.h"
#include "storage/pathmanager.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <random>

/// Links and tags on the index benchmark's base folder: 50,000 notes of about 5 KB made of the
/// sentences of real Japanese texts (bench/data) in 500 folders, with zero to three wiki links
/// to other notes in each, one note linked from exactly 500 others, and one or two tags of 200
/// (Japanese, nested, some full-width). The index is built once before timing; files are in the
/// page cache. Each figure is set beside the work done without the index (reading every note).
class BenchLinks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void backlinks();
    void tagList();
    void completionKeystrokes();
    void renameLinkedFromFiveHundred();

private:
    double medianMs(int runs, const std::function<void()> &work) const;
    /// Every note's links or tags by reading every note: the reference.
    double scanMs(const std::function<void(const QString &path, const QString &text)> &visit);
    QString notePath(int i) const;

    QTemporaryDir m_root;
    QString m_base;
    std::unique_ptr<LinkGraph> m_graph;
};

namespace {

constexpr int noteCount = 50000;
constexpr int folderCount = 500;
constexpr qsizetype noteBytes = 5000;
constexpr int hub = 7;
constexpr int hubLinkers = 500;

} // namespace

QString BenchLinks::notePath(int i) const
{
    return QStringLiteral("Notes/Area %1/Topic-%2/note-%3.md")
        .arg(i % folderCount / 50)
        .arg(i % folderCount)
        .arg(i);
}

double BenchLinks::medianMs(int runs, const std::function<void()> &work) const
{
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double BenchLinks::scanMs(const std::function<void(const QString &, const QString &)> &visit)
{
    QElapsedTimer timer;
    timer.start();
    const NoteFiles::NoteFileList list = NoteFiles::listNoteFiles(m_base);
    for (const NoteFiles::File &file : list.files) {
        QFile in(list.filePath(file));
        if (in.open(QIODevice::ReadOnly))
            visit(list.filePath(file), QString::fromUtf8(in.readAll()));
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

void BenchLinks::initTestCase()
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

    QStringList sentences;
    static const QRegularExpression markup(QStringLiteral("^\\s*([#>`|<*+-]|\\d+\\.)"));
    for (QDirIterator it(QStringLiteral(QUILLMERE_BENCH_DATA), {QStringLiteral("*.md")});
         it.hasNext();) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            if (line.trimmed().size() < 8 || markup.match(line).hasMatch())
                continue;
            for (const QString &sentence : line.split(u'。', Qt::SkipEmptyParts)) {
                if (sentence.trimmed().size() >= 4)
                    sentences << sentence.trimmed() + u'。';
            }
        }
    }
    QVERIFY(!sentences.isEmpty());
    QStringList tags;
    for (int t = 0; t < 200; ++t)
        tags << (t % 3 == 0   ? QStringLiteral("仕事/会議%1").arg(t)
                 : t % 3 == 1 ? QStringLiteral("読書%1").arg(t)
                              : QStringLiteral("ｔａｇ%1").arg(t));
    std::mt19937 random(20261207);
    std::vector<int> hubFrom;
    for (int i = 0; i < noteCount; ++i)
        if (i != hub && int(hubFrom.size()) < hubLinkers && random() % 90 == 0)
            hubFrom.push_back(i);
    const std::vector<bool> linksHub = [&] {
        std::vector<bool> marks(noteCount);
        for (int i : hubFrom)
            marks[size_t(i)] = true;
        return marks;
    }();
    for (int i = 0; i < noteCount; ++i) {
        const QString path = m_base + u'/' + notePath(i);
        if (i < folderCount)
            QDir().mkpath(QFileInfo(path).absolutePath());
        QString text = QStringLiteral("# ノート %1\n\n#%2").arg(i).arg(tags[int(random() % 200)]);
        if (random() % 2)
            text += QStringLiteral(" ＃") + tags[int(random() % 200)];
        text += u'\n';
        for (int l = int(random() % 4); l > 0; --l) {
            int target = int(random() % noteCount);
            if (target == hub)
                ++target;
            text += QStringLiteral("[[note-%1]] を参照。").arg(target);
        }
        if (linksHub[size_t(i)])
            text += QStringLiteral("\n[[note-%1|要の]] ノート。\n").arg(hub);
        while (text.size() * 3 < noteBytes)
            text += sentences[int(random() % sentences.size())] + u'\n';
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }
    QElapsedTimer timer;
    timer.start();
    m_graph = std::make_unique<LinkGraph>(m_base);
    QString problem;
    QVERIFY2(m_graph->refresh(&problem), qPrintable(problem));
    qInfo("index with links and tags built for %d notes in %.0f ms", noteCount,
          double(timer.nsecsElapsed()) / 1e6);
}

void BenchLinks::backlinks()
{
    const QString target = notePath(hub);
    qsizetype rows = 0;
    const double ours = medianMs(9, [&] { rows = m_graph->backlinks(target, nullptr)->size(); });
    QCOMPARE(rows, qsizetype(hubLinkers));
    const QString key = NoteLinks::fold(QStringLiteral("note-%1").arg(hub));
    qsizetype scanned = 0;
    const double scan = scanMs([&](const QString &, const QString &text) {
        for (const NoteLinks::Link &link : NoteLinks::links(text))
            scanned += NoteLinks::fold(link.target) == key;
    });
    QCOMPARE(scanned, qsizetype(hubLinkers));
    benchRow(QStringLiteral("backlinks of a note linked from 500 of 50,000"), ours,
             QStringLiteral("reading every note"), scan, "ms:20");
}

void BenchLinks::tagList()
{
    qsizetype count = 0;
    const double ours = medianMs(
        9, [&] { count = LinkTables::tagCounts(m_graph->search().index().handle())->size(); });
    QCOMPARE(count, qsizetype(200));
    QSet<QString> seen;
    const double scan = scanMs([&](const QString &, const QString &text) {
        for (const NoteLinks::Tag &tag : NoteLinks::tags(text))
            seen.insert(NoteLinks::fold(tag.spelling));
    });
    benchRow(QStringLiteral("tag list with counts, 50,000 notes"), ours,
             QStringLiteral("reading every note"), scan, "ms:50");
}

void BenchLinks::completionKeystrokes()
{
    const QList<QuickOpen::Candidate> files = QuickOpen::gatherFiles(m_base);
    const QString typed = QStringLiteral("note-123");
    QList<double> times;
    for (qsizetype n = 1; n <= typed.size(); ++n) {
        const QString query = typed.first(n);
        times.append(medianMs(5, [&] { QuickOpen::filteredFiles(files, query); }));
    }
    std::sort(times.begin(), times.end());
    benchRow(QStringLiteral("name list per keystroke (quick open's matching), 50,000 notes, worst"),
             times.last(), QStringLiteral("median keystroke"), times[times.size() / 2], "ms:16");
}

void BenchLinks::renameLinkedFromFiveHundred()
{
    qsizetype asked = 0;
    LinkFollower::Handlers handlers;
    handlers.confirm = [&](qsizetype links, const QList<LinkUpdater::Linker> &) {
        asked = links;
        return true;
    };
    LinkFollower follower(handlers);
    const QString from = m_base + u'/' + notePath(hub);
    const QString to = m_base + QStringLiteral("/Notes/要のノート.md");
    QVERIFY(QFile::rename(from, to));
    QElapsedTimer timer;
    timer.start();
    follower.follow(from, to);
    const double ours = double(timer.nsecsElapsed()) / 1e6;
    QCOMPARE(asked, qsizetype(hubLinkers));
    qsizetype rewritten = 0;
    const double scan = scanMs([&](const QString &, const QString &text) {
        rewritten += text.contains(QStringLiteral("[[要のノート|要の]]"));
    });
    QCOMPARE(rewritten, qsizetype(hubLinkers));
    benchRow(QStringLiteral("rename of a note linked from 500 of 50,000, links rewritten"), ours,
             QStringLiteral("reading every note once"), scan, "ms:2000");
}

QTEST_GUILESS_MAIN(BenchLinks)
#include "bench_links.moc"
