#include "benchrow.h"

#include "history/historypane.h"
#include "history/historyrecorder.h"
#include "history/historyrepository.h"
#include "history/textdiff.h"
#include "platform/clock.h"
#include "storage/notestore.h"
#include "storage/pathmanager.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <algorithm>

/// The history's costs: recording a version in a repository that holds 50,000 notes (on the
/// worker; what the GUI thread pays per save meanwhile), listing a note's 1,000 versions, the
/// difference view of two 1 MB versions, and how large a simulated year of daily use at 10,000
/// notes leaves the repository. Everything is generated in a temporary folder.
class BenchHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void recordAtFiftyThousandNotes();
    void listThousandVersions();
    void differenceOfTwoMegabyteVersions();
    void yearOfDailyUse();

private:
    static double median(QList<double> values);
    static qint64 folderBytes(const QString &folder);
    QTemporaryDir m_dir;
};

double BenchHistory::median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

qint64 BenchHistory::folderBytes(const QString &folder)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        // What the files take on disk, in whole blocks of 4 KiB.
        total += (it.fileInfo().size() + 4095) / 4096 * 4096;
    }
    return total;
}

void BenchHistory::initTestCase()
{
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("state"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
}

void BenchHistory::recordAtFiftyThousandNotes()
{
    const int notes = qEnvironmentVariableIntValue("QUILLMERE_BENCH_HISTORY_NOTES") > 0
                          ? qEnvironmentVariableIntValue("QUILLMERE_BENCH_HISTORY_NOTES")
                          : 50000;
    const QString base = m_dir.filePath(QStringLiteral("fifty"));
    QDir().mkpath(base + QStringLiteral("/Notes"));
    PathManager::setBaseFolderForProcess(base);
    const QDateTime start(QDate(2026, 1, 5), QTime(9, 0), QTimeZone::utc());
    {
        HistoryRepository repository(HistoryRepository::repositoryPathFor(base));
        for (int i = 0; i < notes; ++i) {
            QVERIFY(repository.record(
                QStringLiteral("Notes/note%1.md").arg(i), HistoryEvent::original,
                QByteArray("# note ") + QByteArray::number(i) + '\n', start, nullptr));
        }
    }
    // On the worker thread, as the window records.
    HistoryRepository repository(HistoryRepository::repositoryPathFor(base));
    QList<double> record;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer timer;
        timer.start();
        QVERIFY(repository.record(QStringLiteral("Notes/note%1.md").arg(i * 997 % notes),
                                  HistoryEvent::save, "edited " + QByteArray::number(i) + '\n',
                                  start.addSecs(i), nullptr));
        record.append(timer.nsecsElapsed() / 1e6);
    }
    benchRow(QStringLiteral("history: record a version among %1 notes (worker)").arg(notes),
             median(record), QStringLiteral("-"), 0, "ms:50");

    // What the GUI thread pays for a save with the history attached, the worker busy.
    FixedClock clock(start.addDays(1));
    Clock::setCurrent(&clock);
    HistoryRecorder recorder(HistoryRecorder::Mode::window);
    QList<double> withHistory;
    QList<double> without;
    for (int i = 0; i < 40; ++i) {
        const QString path = base + QStringLiteral("/Notes/open%1.md").arg(i % 4);
        const QString text = QStringLiteral("typing %1\n").arg(i).repeated(200);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(NoteStore::instance().writeNote(path, text, std::nullopt, nullptr));
        withHistory.append(timer.nsecsElapsed() / 1e6);
        clock.advance(HistoryRecorder::saveIntervalSecs); // every save records
    }
    recorder.waitForWorker();
    recorder.disconnect();
    QObject::disconnect(&NoteStore::instance(), nullptr, &recorder, nullptr);
    for (int i = 0; i < 40; ++i) {
        const QString path = base + QStringLiteral("/Notes/open%1.md").arg(i % 4);
        const QString text = QStringLiteral("typing %1\n").arg(i).repeated(200);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(NoteStore::instance().writeNote(path, text, std::nullopt, nullptr));
        without.append(timer.nsecsElapsed() / 1e6);
    }
    benchRow(QStringLiteral("history: GUI thread per save, history recording"), median(withHistory),
             QStringLiteral("the same save without history"), median(without), "ms:16");

    // Keystrokes in an editor while the worker records a hundred versions of 200 KB notes.
    HistoryRecorder busy(HistoryRecorder::Mode::window);
    QPlainTextEdit editor;
    editor.setPlainText(QStringLiteral("今日の議事録。\n").repeated(2000));
    editor.show();
    QList<double> keystrokes;
    QList<double> idle;
    for (int i = 0; i < 100; ++i) {
        const QString path = base + QStringLiteral("/Notes/big%1.md").arg(i);
        QVERIFY(NoteStore::instance().writeNote(
            path, QStringLiteral("大きなノート %1\n").arg(i).repeated(12000), std::nullopt,
            nullptr));
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(&editor, Qt::Key_A);
        QCoreApplication::processEvents();
        keystrokes.append(timer.nsecsElapsed() / 1e6);
    }
    busy.waitForWorker();
    for (int i = 0; i < 100; ++i) {
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(&editor, Qt::Key_A);
        QCoreApplication::processEvents();
        idle.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(keystrokes.begin(), keystrokes.end());
    std::sort(idle.begin(), idle.end());
    Clock::setCurrent(nullptr);
    benchRow(QStringLiteral("history: slowest keystroke while recording"), keystrokes.last(),
             QStringLiteral("slowest keystroke, history idle"), idle.last(), "ms:16");
}

void BenchHistory::listThousandVersions()
{
    const QString base = m_dir.filePath(QStringLiteral("thousand"));
    QDir().mkpath(base);
    HistoryRepository repository(HistoryRepository::repositoryPathFor(base));
    const QDateTime start(QDate(2026, 1, 5), QTime(9, 0), QTimeZone::utc());
    QByteArray text = QByteArray("今日の議事録。The meeting notes.\n").repeated(60);
    for (int i = 0; i < 1000; ++i) {
        text += "line " + QByteArray::number(i) + '\n';
        QVERIFY(repository.record(QStringLiteral("a.md"), HistoryEvent::save, text,
                                  start.addSecs(600 * i), nullptr));
    }
    const auto list = [&] {
        QList<double> times;
        for (int round = 0; round < 10; ++round) {
            QElapsedTimer timer;
            timer.start();
            const auto versions = repository.versions(QStringLiteral("a.md"), nullptr);
            times.append(timer.nsecsElapsed() / 1e6);
            if (!versions || versions->size() != 1000)
                return -1.0;
        }
        return median(times);
    };
    const double loose = list();
    QVERIFY(repository.pack(nullptr));
    const double packed = list();
    benchRow(QStringLiteral("history: list 1,000 versions (packed)"), packed,
             QStringLiteral("the same, loose objects"), loose, "ms:50");
}

void BenchHistory::differenceOfTwoMegabyteVersions()
{
    // A megabyte of mixed Japanese and Latin lines; the other version with a few hundred
    // lines edited, added or removed.
    QStringList lines;
    QRandomGenerator random(7);
    const QString words[] = {QStringLiteral("会議"),           QStringLiteral("の"),
                             QStringLiteral("議事録"),         QStringLiteral("を"),
                             QStringLiteral("meeting "),       QStringLiteral("notes "),
                             QStringLiteral("まとめました。"), QStringLiteral("items ")};
    qsizetype bytes = 0;
    while (bytes < (1 << 20)) {
        QString line;
        for (int w = 0; w < 12; ++w)
            line += words[random.bounded(8)];
        line += u'\n';
        bytes += line.toUtf8().size();
        lines.append(line);
    }
    QStringList other = lines;
    for (int edit = 0; edit < 300; ++edit) {
        const qsizetype at = random.bounded(other.size());
        switch (edit % 3) {
        case 0:
            other[at].insert(random.bounded(other[at].size()), QStringLiteral("追加"));
            break;
        case 1:
            other.removeAt(at);
            break;
        default:
            other.insert(at, QStringLiteral("new line written later\n"));
        }
    }
    const QString before = lines.join(QString());
    const QString after = other.join(QString());
    const DifferenceStyle style = DifferenceStyle::forBackground(Qt::white);
    QList<double> times;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        QTextDocument document;
        style.render(document, TextDiff::compare(before, after));
        times.append(timer.nsecsElapsed() / 1e6);
    }
    QList<double> plain;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        QTextDocument document;
        document.setPlainText(after);
        plain.append(timer.nsecsElapsed() / 1e6);
    }
    benchRow(QStringLiteral("history: difference view of two 1 MB versions"), median(times),
             QStringLiteral("setPlainText of 1 MB"), median(plain), "ms:200");
}

void BenchHistory::yearOfDailyUse()
{
    // 10,000 notes of about 2 KB. Each day, 30 of them are worked on (half of the time one of
    // the 200 notes of the moment), each with its text before and three saves ten minutes
    // apart. The window thins and packs once a day; here once a month, and at the end (what is
    // left is the same). Takes minutes: run with QTEST_FUNCTION_TIMEOUT=1800000.
    const int notes = 10000;
    const QString base = m_dir.filePath(QStringLiteral("year"));
    QDir().mkpath(base);
    const QString path = HistoryRepository::repositoryPathFor(base);
    HistoryRepository repository(path);
    QRandomGenerator random(2026);
    QList<QByteArray> texts(notes);
    for (int i = 0; i < notes; ++i)
        texts[i] = QByteArray("# note ") + QByteArray::number(i) + '\n' +
                   QByteArray("今日の作業記録と次の予定。Notes on the day's work.\n").repeated(30);
    QDateTime now(QDate(2026, 1, 1), QTime(9, 0), QTimeZone::utc());
    qint64 records = 0;
    QElapsedTimer total;
    total.start();
    for (int day = 0; day < 365; ++day) {
        for (int n = 0; n < 30; ++n) {
            // Half of the work goes to the 200 notes of the moment, the rest anywhere.
            const int note =
                random.bounded(2) ? (day * 7 + random.bounded(200)) % notes : random.bounded(notes);
            const QString name = QStringLiteral("Notes/note%1.md").arg(note);
            bool recorded = false;
            repository.record(name, HistoryEvent::original, texts[note], now, nullptr, &recorded);
            records += recorded;
            for (int save = 0; save < 3; ++save) {
                now = now.addSecs(600);
                texts[note] += "edit " + QByteArray::number(day) + ' ' + QByteArray::number(save) +
                               " 追記した行です。\n";
                repository.record(name, HistoryEvent::save, texts[note], now, nullptr, &recorded);
                records += recorded;
            }
        }
        now = QDateTime(now.date().addDays(1), QTime(9, 0), QTimeZone::utc());
        if (day % 30 == 29) {
            QVERIFY(repository.thin(now, QTimeZone::utc(), nullptr));
            QVERIFY(repository.pack(nullptr));
        }
    }
    QVERIFY(repository.thin(now, QTimeZone::utc(), nullptr));
    QVERIFY(repository.pack(nullptr));
    const qint64 size = folderBytes(path);
    // What takes the room: the packs, and whatever else is left (refs, configuration).
    qint64 packs = 0;
    const QDir packFolder(path + QStringLiteral("/objects/pack"));
    for (const QFileInfo &file : packFolder.entryInfoList(QDir::Files))
        packs += file.size();
    std::printf("YEAR\t%lld versions recorded, repository %.1f MB on disk (packs %.1f MB), "
                "simulated in %.0f s\n",
                records, size / 1048576.0, packs / 1048576.0, total.elapsed() / 1000.0);
    benchRow(QStringLiteral("history: a year at 10,000 notes, repository MB"), size / 1048576.0,
             QStringLiteral("-"), 0, "ms:1000000");
}

QTEST_MAIN(BenchHistory)
#include "bench_history.moc"
