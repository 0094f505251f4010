#include "common/testenvironment.h"
#include "common/testfiles.h"
#include "history/historyrecorder.h"
#include "history/historyrepository.h"
#include "history/historyrestore.h"
#include "history/textdiff.h"
#include "platform/clock.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"
#include "storage/notestore.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>
#include <thread>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

/// One scenario: what happens to the notes, given the recorder, the clock and the base folder.
struct Steps
{
    HistoryRecorder &recorder;
    FixedClock &clock;
    QString base;

    QString note(const QString &relative) const { return base + u'/' + relative; }
    void save(const QString &relative, const QByteArray &text) const
    {
        QVERIFY(NoteStore::instance().writeNote(note(relative), QString::fromUtf8(text),
                                                std::nullopt, nullptr));
    }
    /// Another program writes the note, a second later.
    void otherProgram(const QString &relative, const QByteArray &text) const
    {
        clock.advance(1);
        QVERIFY(TestFiles::write(note(relative), text));
    }
};

using Scenario = std::function<void(const Steps &)>;

} // namespace

Q_DECLARE_METATYPE(Scenario)

class HistoryTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_environment;
    FixedClock m_clock{QDateTime(QDate(2026, 3, 2), QTime(9, 0), QTimeZone::utc())};
    QString m_base;

    QString repositoryPath() const { return HistoryRepository::repositoryPathFor(m_base); }

    /// "event:text" of each version of the note at `relative`, newest first.
    QStringList history(const QString &relative)
    {
        HistoryRepository repository(repositoryPath());
        QString error;
        const auto versions = repository.versions(relative, &error);
        if (!versions)
            return {QStringLiteral("error: ") + error};
        QStringList lines;
        for (const HistoryVersion &version : *versions) {
            const auto text = repository.text(relative, version.id, &error);
            // The body: a save through the editor's store adds its own header lines.
            lines.append(
                HistoryEvents::code(version.event) + u':' +
                (text ? parseNoteDocument(QString::fromUtf8(*text)).body : QStringLiteral("?")));
        }
        return lines;
    }

    QString note(const QString &relative) const { return m_base + u'/' + relative; }

private Q_SLOTS:
    void init()
    {
        m_environment = std::make_unique<TestEnvironment>();
        m_base = m_environment->useBaseFolder();
        m_base = PathManager::baseFolderPath();
        m_clock.setNow(QDateTime(QDate(2026, 3, 2), QTime(9, 0), QTimeZone::utc()));
        Clock::setCurrent(&m_clock);
        HistoryRepository::setLockPatience(std::chrono::milliseconds(3000));
    }

    void cleanup() { m_environment.reset(); }

    void recordsAVersionWheneverTextCouldBeLost_data()
    {
        QTest::addColumn<HistoryRecorder::Mode>("mode");
        QTest::addColumn<Scenario>("scenario");
        QTest::addColumn<QString>("inspected");
        QTest::addColumn<QStringList>("expected");
        const auto window = HistoryRecorder::Mode::window;
        const QString a = QStringLiteral("Notes/a.md");

        QTest::newRow("the original before the first save, the last save on leaving")
            << window << Scenario([](const Steps &s) {
                   s.save(QStringLiteral("Notes/a.md"), "edited once");
                   s.save(QStringLiteral("Notes/a.md"), "edited twice");
                   s.recorder.noteLeft(s.note(QStringLiteral("Notes/a.md")));
               })
            << a << QStringList{"save:edited twice", "original:original"};
        QTest::newRow("saves kept at most every ten minutes")
            << window << Scenario([](const Steps &s) {
                   s.recorder.noteOpened(s.note(QStringLiteral("Notes/a.md")));
                   s.clock.advance(9 * 60);
                   s.save(QStringLiteral("Notes/a.md"), "nine minutes");
                   s.clock.advance(60);
                   s.save(QStringLiteral("Notes/a.md"), "ten minutes");
                   s.clock.advance(60);
                   s.save(QStringLiteral("Notes/a.md"), "eleven minutes");
               })
            << a << QStringList{"save:eleven minutes", "save:ten minutes", "original:original"};
        QTest::newRow("another program's version, noticed")
            << window << Scenario([](const Steps &s) {
                   s.recorder.noteOpened(s.note(QStringLiteral("Notes/a.md")));
                   s.otherProgram(QStringLiteral("Notes/a.md"), "theirs");
                   s.recorder.noticeOutsideChange(s.note(QStringLiteral("Notes/a.md")));
                   s.recorder.noticeOutsideChange(s.note(QStringLiteral("Notes/a.md")));
               })
            << a << QStringList{"outside:theirs", "original:original"};
        QTest::newRow("another program's version, before a merge")
            << window << Scenario([](const Steps &s) {
                   const QString path = s.note(QStringLiteral("Notes/a.md"));
                   QVERIFY(TestFiles::write(path, "one\ntwo\nthree\n"));
                   MemoManager memo;
                   memo.loadFile(path);
                   s.recorder.noteOpened(path);
                   s.otherProgram(QStringLiteral("Notes/a.md"), "one\ntwo\nthree\nfour\n");
                   QCOMPARE(memo.save(QStringLiteral("zero\none\ntwo\nthree\n")).status,
                            SaveOutcome::Status::Merged);
                   s.recorder.noteLeft(path);
               })
            << a
            << QStringList{"save:zero\none\ntwo\nthree\nfour\n", "outside:one\ntwo\nthree\nfour\n",
                           "original:one\ntwo\nthree\n"};
        QTest::newRow("another program's version, before a conflict copy")
            << window << Scenario([](const Steps &s) {
                   const QString path = s.note(QStringLiteral("Notes/a.md"));
                   MemoManager memo;
                   memo.loadFile(path);
                   s.recorder.noteOpened(path);
                   s.otherProgram(QStringLiteral("Notes/a.md"), "theirs");
                   QCOMPARE(memo.save(QStringLiteral("mine")).status,
                            SaveOutcome::Status::Conflicted);
               })
            << a << QStringList{"outside:theirs", "original:original"};
        QTest::newRow("renamed: one history under the new name")
            << window << Scenario([](const Steps &s) {
                   s.recorder.noteOpened(s.note(QStringLiteral("Notes/a.md")));
                   s.save(QStringLiteral("Notes/a.md"), "before the rename");
                   QVERIFY(NoteStore::instance().moveNote(s.note(QStringLiteral("Notes/a.md")),
                                                          s.note(QStringLiteral("Notes/b.md")),
                                                          nullptr));
               })
            << QStringLiteral("Notes/b.md")
            << QStringList{"rename:before the rename", "original:original"};
        QTest::newRow("moved with its folder") << window << Scenario([](const Steps &s) {
            s.recorder.noteOpened(s.note(QStringLiteral("Notes/a.md")));
            QVERIFY(NoteStore::instance().moveFolder(s.note(QStringLiteral("Notes")),
                                                     s.note(QStringLiteral("Moved")), nullptr));
        }) << QStringLiteral("Moved/a.md") << QStringList{"rename:original", "original:original"};
        QTest::newRow("deleted: its last text") << window << Scenario([](const Steps &s) {
            s.recorder.noteOpened(s.note(QStringLiteral("Notes/a.md")));
            s.save(QStringLiteral("Notes/a.md"), "last words");
            QVERIFY(
                NoteStore::instance().deleteNote(s.note(QStringLiteral("Notes/a.md")), nullptr));
        }) << a << QStringList{"delete:last words", "original:original"};
        QTest::newRow("deleted with its folder, never opened")
            << window << Scenario([](const Steps &s) {
                   QVERIFY(NoteStore::instance().deleteFolder(s.note(QStringLiteral("Notes")),
                                                              nullptr));
               })
            << a << QStringList{"delete:original"};
        QTest::newRow("restored: what it held before, then the version brought back")
            << window << Scenario([](const Steps &s) {
                   s.recorder.noteOpened(s.note(QStringLiteral("Notes/a.md")));
                   s.save(QStringLiteral("Notes/a.md"), "worse");
                   s.recorder.restoring(s.note(QStringLiteral("Notes/a.md")));
                   s.save(QStringLiteral("Notes/a.md"), "original");
               })
            << a << QStringList{"restore:original", "save:worse", "original:original"};
        QTest::newRow("the command line: before --append, and each change")
            << HistoryRecorder::Mode::commandLine << Scenario([](const Steps &s) {
                   s.recorder.setFirstEvent(HistoryEvent::append);
                   s.save(QStringLiteral("Notes/a.md"), "original\nline");
                   s.save(QStringLiteral("Notes/a.md"), "original\nline\nline");
               })
            << a
            << QStringList{"save:original\nline\nline", "save:original\nline", "append:original"};
        QTest::newRow("nothing twice: opened again, saved unchanged")
            << window << Scenario([](const Steps &s) {
                   s.recorder.noteOpened(s.note(QStringLiteral("Notes/a.md")));
                   s.save(QStringLiteral("Notes/a.md"), "original");
                   s.recorder.noteLeft(s.note(QStringLiteral("Notes/a.md")));
                   s.recorder.noteOpened(s.note(QStringLiteral("Notes/a.md")));
                   HistoryRecorder nextSession(HistoryRecorder::Mode::window);
                   nextSession.noteOpened(s.note(QStringLiteral("Notes/a.md")));
                   nextSession.finish();
               })
            << a << QStringList{"original:original"};
    }

    void recordsAVersionWheneverTextCouldBeLost()
    {
        QFETCH(HistoryRecorder::Mode, mode);
        QFETCH(Scenario, scenario);
        QFETCH(QString, inspected);
        QFETCH(QStringList, expected);
        QVERIFY(TestFiles::write(note(QStringLiteral("Notes/a.md")), "original"));
        HistoryRecorder recorder(mode);
        QSignalSpy failures(&recorder, &HistoryRecorder::failed);
        scenario({recorder, m_clock, m_base});
        recorder.finish();
        QCOMPARE(history(inspected), expected);
        QCOMPARE(failures.count(), 0);
    }

    void aNoteAtARenamedNotesOldPlaceStartsItsOwnHistory()
    {
        QVERIFY(TestFiles::write(note(QStringLiteral("a.md")), "first note"));
        HistoryRecorder recorder(HistoryRecorder::Mode::commandLine);
        recorder.noteOpened(note(QStringLiteral("a.md")));
        QVERIFY(NoteStore::instance().moveNote(note(QStringLiteral("a.md")),
                                               note(QStringLiteral("b.md")), nullptr));
        QVERIFY(
            NoteStore::instance().createNote(note(QStringLiteral("a.md")), "second note", nullptr));
        QCOMPARE(history(QStringLiteral("a.md")), QStringList{"save:second note"});
        QCOMPARE(history(QStringLiteral("b.md")),
                 (QStringList{"rename:first note", "original:first note"}));
    }

    void aDeletedNoteComesBackWithExactlyItsBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("placeTaken");
        QTest::newRow("byte-order mark, CRLF, no final line break")
            << QByteArray("\xEF\xBB\xBF---\r\ntitle: x\r\n---\r\n\r\n  first line\r\nlast")
            << false;
        QTest::newRow("not UTF-8") << QByteArray("caf\xE9\nna\xEFve\n") << false;
        QTest::newRow("its place taken meanwhile") << QByteArray("kept\n") << true;
    }

    void aDeletedNoteComesBackWithExactlyItsBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, placeTaken);
        const QString path = note(QStringLiteral("Notes/sub/gone.md"));
        QVERIFY(TestFiles::write(path, bytes));
        HistoryRecorder recorder(HistoryRecorder::Mode::window);
        QVERIFY(NoteStore::instance().deleteFolder(note(QStringLiteral("Notes/sub")), nullptr));
        if (placeTaken)
            QVERIFY(TestFiles::write(path, "a newcomer"));
        std::optional<QList<DeletedNote>> deleted;
        recorder.deletedNotes(
            [&](std::optional<QList<DeletedNote>> found, QString) { deleted = found; });
        QTRY_VERIFY(deleted.has_value());
        QCOMPARE(deleted->size(), placeTaken ? 0 : 1);
        if (!placeTaken) {
            QCOMPARE(deleted->first().path, QStringLiteral("Notes/sub/gone.md"));
            QCOMPARE(deleted->first().time, m_clock.now());
            if (bytes.startsWith("\xEF\xBB\xBF"))
                QCOMPARE(deleted->first().firstLine, QStringLiteral("first line"));
        }
        HistoryRepository repository(repositoryPath());
        const auto versions = repository.versions(QStringLiteral("Notes/sub/gone.md"), nullptr);
        QVERIFY(versions && !versions->isEmpty());
        const auto text =
            repository.text(QStringLiteral("Notes/sub/gone.md"), versions->first().id, nullptr);
        QVERIFY(text);
        QString error;
        const QString written = HistoryRestore::writeNew(path, *text, &error);
        QCOMPARE(error, QString());
        QCOMPARE(written, placeTaken ? note(QStringLiteral("Notes/sub/gone (2).md")) : path);
        QCOMPARE(TestFiles::read(written), bytes);
        if (placeTaken)
            QCOMPARE(TestFiles::read(path), QByteArray("a newcomer"));
    }

    void thinningKeepsThePromisedVersions()
    {
        // Ten-minute saves for two days, six-hourly ones for two hundred days before that.
        const QDateTime now(QDate(2026, 3, 2), QTime(9, 0), QTimeZone::utc());
        HistoryRepository repository(repositoryPath());
        QList<QDateTime> times;
        for (qint64 age = 200 * 24 * 3600; age > 2 * 24 * 3600; age -= 6 * 3600)
            times.append(now.addSecs(-age));
        for (qint64 age = 2 * 24 * 3600; age >= 0; age -= 600)
            times.append(now.addSecs(-age));
        for (qsizetype i = 0; i < times.size(); ++i) {
            QString error;
            QVERIFY2(repository.record(QStringLiteral("a.md"), HistoryEvent::save,
                                       QByteArray::number(i), times[i], &error),
                     qPrintable(error));
        }
        QString error;
        QVERIFY2(repository.thin(now, QTimeZone::utc(), &error), qPrintable(error));
        QVERIFY2(repository.pack(&error), qPrintable(error));
        repository.close();

        const auto kept =
            HistoryRepository(repositoryPath()).versions(QStringLiteral("a.md"), nullptr);
        QVERIFY(kept);
        // Which period each version falls in, and whether one was kept there.
        QHash<QString, int> keptPerPeriod;
        QSet<QString> periods;
        const auto periodOf = [&](const QDateTime &time) -> QString {
            const qint64 age = time.secsTo(now);
            if (age < 24 * 3600)
                return time.toString(Qt::ISODate);
            if (age < 7 * 24 * 3600)
                return QStringLiteral("hour ") + time.toString(QStringLiteral("yyyy-MM-dd HH"));
            if (age < 90 * 24 * 3600)
                return QStringLiteral("day ") + time.toString(QStringLiteral("yyyy-MM-dd"));
            return QStringLiteral("month ") + time.toString(QStringLiteral("yyyy-MM"));
        };
        for (const QDateTime &time : times)
            periods.insert(periodOf(time));
        HistoryRepository reader(repositoryPath());
        for (const HistoryVersion &version : *kept) {
            ++keptPerPeriod[periodOf(version.time)];
            // The text of each version kept is the one recorded then.
            const auto text = reader.text(QStringLiteral("a.md"), version.id, nullptr);
            QVERIFY(text);
            QCOMPARE(times.at(text->toInt()), version.time);
        }
        QCOMPARE(QSet<QString>(keptPerPeriod.keyBegin(), keptPerPeriod.keyEnd()), periods);
        for (auto it = keptPerPeriod.cbegin(); it != keptPerPeriod.cend(); ++it)
            QVERIFY2(it.value() == 1, qPrintable(it.key()));
        QCOMPARE(kept->first().time, now);
        QVERIFY(kept->size() < times.size());
        // Packed: no loose object left, one pack.
        QDirIterator loose(repositoryPath() + QStringLiteral("/objects"), QDir::Files,
                           QDirIterator::Subdirectories);
        QStringList files;
        while (loose.hasNext())
            files.append(QFileInfo(loose.next()).fileName());
        QCOMPARE(files.filter(QStringLiteral(".pack")).size(), 1);
        QCOMPARE(files.filter(QRegularExpression(QStringLiteral("^[0-9a-f]{38}$"))), QStringList());
        // The refs are packed too: no file of its own per note.
        QDirIterator refs(repositoryPath() + QStringLiteral("/refs"), QDir::Files,
                          QDirIterator::Subdirectories);
        QVERIFY(!refs.hasNext());
    }

    void aDamagedHistoryIsSetAsideAndSavingGoesOn_data()
    {
        QTest::addColumn<bool>("brokenObject");
        QTest::newRow("not a repository") << false;
        QTest::newRow("an object unreadable") << true;
    }

    void aDamagedHistoryIsSetAsideAndSavingGoesOn()
    {
        QFETCH(bool, brokenObject);
        const QString path = note(QStringLiteral("a.md"));
        QVERIFY(TestFiles::write(path, "original"));
        {
            HistoryRecorder first(HistoryRecorder::Mode::commandLine);
            first.noteOpened(path);
        }
        if (brokenObject) {
            QDirIterator objects(repositoryPath() + QStringLiteral("/objects"), QDir::Files,
                                 QDirIterator::Subdirectories);
            while (objects.hasNext()) {
                const QString object = objects.next();
                QFile::setPermissions(object, QFile::ReadOwner | QFile::WriteOwner);
                QVERIFY(TestFiles::write(object, "garbage"));
            }
        } else {
            QVERIFY(QDir(repositoryPath()).removeRecursively());
            QVERIFY(TestFiles::write(repositoryPath(), "not a repository"));
        }
        HistoryRecorder recorder(HistoryRecorder::Mode::window);
        QSignalSpy failures(&recorder, &HistoryRecorder::failed);
        QVERIFY(
            NoteStore::instance().writeNote(path, QStringLiteral("edited"), std::nullopt, nullptr));
        recorder.finish();
        QCOMPARE(TestFiles::read(path), QByteArray("edited"));
        QCOMPARE(history(QStringLiteral("a.md")),
                 (QStringList{"save:edited", "original:original"}));
        const QStringList setAside =
            QDir(HistoryRepository::folder()).entryList({QStringLiteral("*.damaged-*")});
        QCOMPARE(setAside.size(), 1);
        QCOMPARE(failures.count(), 0);
    }

    void aFailureIsSaidOnceAndSavingGoesOn_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("another process holds the lock") << QStringLiteral("lock");
        QTest::newRow("the history's folder cannot be made") << QStringLiteral("folder");
        QTest::newRow("the disk is full (file size limit)") << QStringLiteral("full");
    }

    void aFailureIsSaidOnceAndSavingGoesOn()
    {
        QFETCH(QString, fault);
        HistoryRepository::setLockPatience(std::chrono::milliseconds(20));
        const QString path = note(QStringLiteral("a.md"));
        QVERIFY(TestFiles::write(path, "original"));
        HistoryRecorder recorder(HistoryRecorder::Mode::window);
        QSignalSpy failures(&recorder, &HistoryRecorder::failed);
        int held = -1;
        rlimit sizeLimit{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &sizeLimit) == 0);
        const auto ignoreSizeSignal = std::signal(SIGXFSZ, SIG_IGN);
        if (fault == u"lock") {
            // Another process holding the history's lock the whole time.
            QDir().mkpath(HistoryRepository::folder());
            held = ::open(QFile::encodeName(repositoryPath() + QStringLiteral(".lock")).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
        } else if (fault == u"folder") {
            // A file where the folder goes: no write there succeeds, not even as root.
            QVERIFY(QDir().mkpath(QFileInfo(HistoryRepository::folder()).path()));
            QVERIFY(TestFiles::write(HistoryRepository::folder(), "in the way"));
        } else {
            // Room for a note's few bytes, none for the history's objects.
            const rlimit tight{64, sizeLimit.rlim_max};
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &tight) == 0);
        }
        for (int i = 0; i < 3; ++i) {
            const QString text = QStringLiteral("edit ") + QString::number(i);
            QVERIFY(NoteStore::instance().writeNote(path, text, std::nullopt, nullptr));
            m_clock.advance(HistoryRecorder::saveIntervalSecs);
            recorder.waitForWorker();
            QCoreApplication::sendPostedEvents(&recorder);
            QCOMPARE(TestFiles::read(path), text.toUtf8());
        }
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &sizeLimit) == 0);
        std::signal(SIGXFSZ, ignoreSizeSignal);
        QCOMPARE(failures.count(), 1);
        QVERIFY(failures.first().first().toString().startsWith(
            QStringLiteral("履歴を記録できませんでした")));
        // A failing disk is no damage: nothing is set aside.
        QCOMPARE(QDir(QFileInfo(HistoryRepository::folder()).path())
                     .entryList({QStringLiteral("*.damaged-*")}, QDir::AllEntries),
                 QStringList());
        QCOMPARE(QDir(HistoryRepository::folder()).entryList({QStringLiteral("*.damaged-*")}),
                 QStringList());
        // Nothing of the history went into the base folder.
        QCOMPARE(QDir(m_base).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("a.md")});
        if (held >= 0)
            ::close(held);
        if (fault == u"folder")
            QVERIFY(QFile::remove(HistoryRepository::folder()));
        QVERIFY(NoteStore::instance().writeNote(path, QStringLiteral("free again"), std::nullopt,
                                                nullptr));
        recorder.waitForWorker();
        QCoreApplication::sendPostedEvents(&recorder);
        QCOMPARE(recorder.lastError(), QString());
        QCOMPARE(history(QStringLiteral("a.md")).first(), QStringLiteral("save:free again"));
        QCOMPARE(failures.count(), 1);
    }

    void theWindowAndTheCommandLineWriteAtOnce()
    {
        // Each writer has its own repository handle and lock, as separate processes do; one
        // of them thins and packs meanwhile.
        constexpr int writers = 4;
        constexpr int versionsEach = 40;
        std::vector<std::thread> threads;
        for (int w = 0; w < writers; ++w) {
            threads.emplace_back([this, w] {
                HistoryRepository repository(repositoryPath());
                for (int i = 0; i < versionsEach; ++i) {
                    QString error;
                    const QByteArray text = QByteArray::number(w) + ':' + QByteArray::number(i);
                    const QDateTime time = m_clock.now().addSecs(i);
                    QVERIFY2(repository.record(QStringLiteral("shared.md"), HistoryEvent::save,
                                               text, time, &error),
                             qPrintable(error));
                    QVERIFY2(repository.record(QStringLiteral("own") + QString::number(w) +
                                                   QStringLiteral(".md"),
                                               HistoryEvent::save, text, time, &error),
                             qPrintable(error));
                    if (w == 0 && i % 10 == 9)
                        QVERIFY2(repository.pack(&error), qPrintable(error));
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        HistoryRepository repository(repositoryPath());
        const auto shared = repository.versions(QStringLiteral("shared.md"), nullptr);
        QVERIFY(shared);
        QCOMPARE(shared->size(), writers * versionsEach);
        for (int w = 0; w < writers; ++w) {
            const auto own = repository.versions(
                QStringLiteral("own") + QString::number(w) + QStringLiteral(".md"), nullptr);
            QVERIFY(own);
            QCOMPARE(own->size(), versionsEach);
        }
    }

    void differencesByWordsAndByCharacters_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Latin text by whole words") << "the colour of the sea"
                                                   << "the color of the sea"
                                                   << "the [-colour-]{+color+} of the sea";
        QTest::newRow("Japanese text by characters") << "今日は晴れでした。"
                                                     << "今日は雨でした。"
                                                     << "今日は[-晴れ-]{+雨+}でした。";
        QTest::newRow("lines added between unchanged lines") << "one\ntwo\n"
                                                             << "one\nnew line\ntwo\n"
                                                             << "one\n{+new line\n+}two\n";
        QTest::newRow("a changed line among many") << "a\nb\nc\nd\n"
                                                   << "a\nb\nC\nd\n"
                                                   << "a\nb\n[-c-]{+C+}\nd\n";
        QTest::newRow("mixed, surrogate pair kept whole") << "メモ😀 draft"
                                                          << "メモ😃 final"
                                                          << "メモ[-😀-]{+😃+} [-draft-]{+final+}";
    }

    void differencesByWordsAndByCharacters()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, expected);
        QString shown;
        for (const DiffRun &run : TextDiff::compare(before, after)) {
            if (run.kind == DiffRun::Kind::same)
                shown += run.text;
            else if (run.kind == DiffRun::Kind::removed)
                shown += QStringLiteral("[-") + run.text + QStringLiteral("-]");
            else
                shown += QStringLiteral("{+") + run.text + QStringLiteral("+}");
        }
        QCOMPARE(shown, expected);
    }

    void differencesSpellBothTexts()
    {
        // Random edits of a mixed text: the runs must spell both sides exactly.
        QRandomGenerator random(25);
        const QString pieces[] = {"日本語", "の", "text ", "word", "\n", "。", "カナ", " ", "x"};
        for (int round = 0; round < 200; ++round) {
            QString before, after;
            for (int i = 0; i < 30; ++i) {
                const QString piece = pieces[random.bounded(9)];
                const int fate = random.bounded(6);
                if (fate != 0)
                    before += piece;
                if (fate != 1)
                    after += fate == 2 ? pieces[random.bounded(9)] : piece;
            }
            QString spelledBefore, spelledAfter;
            for (const DiffRun &run : TextDiff::compare(before, after)) {
                if (run.kind != DiffRun::Kind::added)
                    spelledBefore += run.text;
                if (run.kind != DiffRun::Kind::removed)
                    spelledAfter += run.text;
            }
            QCOMPARE(spelledBefore, before);
            QCOMPARE(spelledAfter, after);
        }
    }
};

QTEST_GUILESS_MAIN(HistoryTest)
#include "tst_history.moc"
