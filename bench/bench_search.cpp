#include "benchrow.h"
#include "platform/settingsstore.h"
#include "search/globalsearch.h"
#include "search/notefiles.h"
#include "search/quickopen.h"
#include "storage/pathmanager.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>

/// Global search and quick open on a generated folder of notes: ~5 KB each, Japanese and
/// English mixed, every note with a front-matter header, spread over 500 folders. Each search
/// is set against `rg -i -c -F` over the same folder in the same run. Files are read once
/// before timing, so both work from the page cache. Times are medians of several runs.
class BenchSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void searchTenThousandNotes_data();
    void searchTenThousandNotes();
    void quickOpenGatherTenThousand();
    void searchFiftyThousandNotes_data();
    void searchFiftyThousandNotes();
    void quickOpenFilterFiftyThousand();

private:
    void writeNotes(int first, int count);
    double medianMs(int runs, const std::function<void()> &work) const;
    double ripgrepMs(const QString &keyword) const;

    QTemporaryDir m_root;
    QString m_base;
    std::mt19937 m_random{20240601};
};

namespace {

const QStringList japaneseWords = {
    QStringLiteral("今日は"),     QStringLiteral("会議"),   QStringLiteral("資料を"),
    QStringLiteral("確認した"),   QStringLiteral("予定"),   QStringLiteral("打ち合わせ"),
    QStringLiteral("進捗"),       QStringLiteral("報告"),   QStringLiteral("メモ"),
    QStringLiteral("タスク"),     QStringLiteral("課題"),   QStringLiteral("検討する"),
    QStringLiteral("対応"),       QStringLiteral("実装"),   QStringLiteral("設計"),
    QStringLiteral("レビュー"),   QStringLiteral("仕様"),   QStringLiteral("顧客に"),
    QStringLiteral("連絡"),       QStringLiteral("明日"),   QStringLiteral("来週"),
    QStringLiteral("共有します"), QStringLiteral("修正"),   QStringLiteral("完了。"),
    QStringLiteral("について、"), QStringLiteral("ですが"), QStringLiteral("ました。"),
};

const QStringList englishWords = {
    QStringLiteral("the"),     QStringLiteral("and"),     QStringLiteral("Project"),
    QStringLiteral("meeting"), QStringLiteral("notes"),   QStringLiteral("review"),
    QStringLiteral("design"),  QStringLiteral("update"),  QStringLiteral("task"),
    QStringLiteral("plan"),    QStringLiteral("release"), QStringLiteral("bug"),
    QStringLiteral("fix"),     QStringLiteral("deploy"),  QStringLiteral("client"),
    QStringLiteral("budget"),  QStringLiteral("draft"),   QStringLiteral("build"),
    QStringLiteral("test"),    QStringLiteral("data"),    QStringLiteral("report"),
    QStringLiteral("idea"),    QStringLiteral("with"),    QStringLiteral("for"),
};

constexpr int folderCount = 500;
constexpr qint64 noteBytes = 5000;

} // namespace

void BenchSearch::writeNotes(int first, int count)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int i = first; i < first + count; ++i) {
        const QString folder = m_base + QStringLiteral("/Notes/Area %1/Topic-%2")
                                            .arg(i % folderCount / 50)
                                            .arg(i % folderCount);
        if (i < folderCount)
            QDir().mkpath(folder);
        QString text = QStringLiteral("---\ntitle: \"Note %1\"\ncreated: 2024-03-01T09:00:00\n"
                                      "updated: 2024-05-01T18:30:00\n---\n\n# ノート %1\n\n")
                           .arg(i);
        QByteArray bytes = text.toUtf8();
        while (bytes.size() < noteBytes) {
            QString line = (m_random() % 4 == 0) ? QStringLiteral("- ") : QString();
            const int words = 6 + int(m_random() % 12);
            for (int w = 0; w < words; ++w) {
                const bool english = m_random() % 3 == 0;
                const QStringList &list = english ? englishWords : japaneseWords;
                line += list[int(m_random() % list.size())];
                if (english)
                    line += u' ';
            }
            // The rare keyword: a handful of notes only.
            if (i % 1000 == 7 && m_random() % 10 == 0)
                line += QStringLiteral(" Quokka sighting ");
            bytes += (line + u'\n').toUtf8();
        }
        QFile file(folder + QStringLiteral("/note-%1.md").arg(i));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        // Distinct modification times, as notes edited over months have.
        const struct timespec times[2] = {{now - i * 60, 0}, {now - i * 60, 0}};
        utimensat(AT_FDCWD, QFile::encodeName(file.fileName()).constData(), times, 0);
    }
}

void BenchSearch::initTestCase()
{
    QVERIFY(m_root.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("data"))));
    SettingsStore::resetInstance();
    PathManager::resetForTesting();
    m_base = m_root.filePath(QStringLiteral("base"));
    QVERIFY(QDir().mkpath(m_base));
    PathManager::setBaseFolder(m_base);
    writeNotes(0, 10000);
    // Warm the page cache.
    GlobalSearch::runSearch(m_base, QStringLiteral("warm"));
}

void BenchSearch::cleanupTestCase()
{
    SettingsStore::resetInstance();
    PathManager::resetForTesting();
}

double BenchSearch::medianMs(int runs, const std::function<void()> &work) const
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double BenchSearch::ripgrepMs(const QString &keyword) const
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

void BenchSearch::searchTenThousandNotes_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::newRow("common ASCII keyword") << QStringLiteral("project");
    QTest::newRow("rare ASCII keyword") << QStringLiteral("quokka");
    QTest::newRow("common Japanese keyword") << QStringLiteral("打ち合わせ");
    QTest::newRow("absent Japanese keyword") << QStringLiteral("稟議書");
}

void BenchSearch::searchTenThousandNotes()
{
    QFETCH(QString, keyword);
    qsizetype hits = 0;
    const double ours =
        medianMs(9, [&] { hits = GlobalSearch::runSearch(m_base, keyword).size(); });
    const double oneThread =
        medianMs(5, [&] { GlobalSearch::runSearch(m_base, keyword, {.threadCount = 1}); });
    const double rg = ripgrepMs(keyword);
    qInfo("10000 notes, \"%s\": %lld hits; search %.1f ms (one thread %.1f ms); rg -i -c -F "
          "%.1f ms; ratio ours/rg %.2f",
          qPrintable(keyword), qlonglong(hits), ours, oneThread, rg, rg > 0 ? ours / rg : 0.0);
    benchRow(QStringLiteral("in-process search, 10,000 notes, %1 \"%2\" (%3 hits)")
                 .arg(QString::fromUtf8(QTest::currentDataTag()), keyword)
                 .arg(hits),
             ours, QStringLiteral("rg -i -c -F"), rg, "ratio:0.8");
}

void BenchSearch::quickOpenGatherTenThousand()
{
    qsizetype count = 0;
    const double gather = medianMs(9, [&] { count = QuickOpen::gatherFiles(m_base).size(); });
    // find reading every file's time is the same work in a small C tool: the yardstick on a
    // busy machine.
    const double find = medianMs(9, [&] {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QStringLiteral("find"),
                      {m_base, QStringLiteral("-name"), QStringLiteral("*.md"),
                       QStringLiteral("-printf"), QStringLiteral("%T@ %p\\n")});
        process.waitForFinished(-1);
    });
    qInfo("quick open: gathering %lld files %.1f ms (target 25 ms); find -printf %%T@ %.1f ms",
          qlonglong(count), gather, find);
    benchRow(QStringLiteral("quick open: gathering 10,000 notes with their dates"), gather,
             QStringLiteral("find -printf %T@"), find, "ms:25");
    QCOMPARE(count, 10000);
}

void BenchSearch::searchFiftyThousandNotes_data()
{
    writeNotes(10000, 40000);
    GlobalSearch::runSearch(m_base, QStringLiteral("warm"));
    searchTenThousandNotes_data();
}

void BenchSearch::searchFiftyThousandNotes()
{
    QFETCH(QString, keyword);
    qsizetype hits = 0;
    const double ours =
        medianMs(5, [&] { hits = GlobalSearch::runSearch(m_base, keyword).size(); });
    const double rg = ripgrepMs(keyword);
    qInfo("50000 notes, \"%s\": %lld hits; search %.1f ms (target 300 ms); rg %.1f ms",
          qPrintable(keyword), qlonglong(hits), ours, rg);
    benchRow(QStringLiteral("in-process search, 50,000 notes, %1 \"%2\"")
                 .arg(QString::fromUtf8(QTest::currentDataTag()), keyword),
             ours, QStringLiteral("rg -i -c -F"), rg, "ms:300");
}

void BenchSearch::quickOpenFilterFiftyThousand()
{
    const QList<QuickOpen::Candidate> files = QuickOpen::gatherFiles(m_base);
    QCOMPARE(files.size(), 50000);
    const QStringList queries = {QStringLiteral("n"),      QStringLiteral("no"),
                                 QStringLiteral("note-4"), QStringLiteral("note-49999"),
                                 QStringLiteral("topic"),  QStringLiteral("md")};
    for (const QString &query : queries) {
        qsizetype shown = 0;
        const double ms =
            medianMs(9, [&] { shown = QuickOpen::filteredFiles(files, query).size(); });
        qInfo("quick open: filtering 50000 names by \"%s\": %lld shown, %.2f ms (target 5 ms)",
              qPrintable(query), qlonglong(shown), ms);
    }
    const double recent = medianMs(9, [&] { QuickOpen::filteredFiles(files, QString()); });
    qInfo("quick open: 30 most recent of 50000: %.2f ms", recent);
}

QTEST_GUILESS_MAIN(BenchSearch)
#include "bench_search.moc"
