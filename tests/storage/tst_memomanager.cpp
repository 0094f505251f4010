#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "platform/appevents.h"
#include "platform/clock.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"
#include "storage/pins.h"
#include "storage/viewcounts.h"

#include <QSignalSpy>
#include <QTest>

namespace {

using TestFiles::read;
using TestFiles::write;

QString bodyOf(const QString &path)
{
    return parseNoteDocument(QString::fromUtf8(read(path))).body;
}

} // namespace

class TestMemoManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_clock = std::make_unique<FixedClock>(
            QDateTime(QDate(2025, 3, 5), QTime(9, 5, 7), QTimeZone("Asia/Tokyo")),
            QTimeZone("Asia/Tokyo"));
        Clock::setCurrent(m_clock.get());
        m_base = m_env->useBaseFolder();
        QDir().mkpath(m_base + QStringLiteral("/Notes"));
    }
    void cleanup()
    {
        Clock::setCurrent(nullptr);
        m_env.reset();
    }

    void newDailyMemoIsCreatedByFirstSave()
    {
        MemoManager memo;
        memo.loadMemo(QDate(2025, 3, 5));
        const QString path = m_base + QStringLiteral("/Daily/2025-03-05.txt");
        QCOMPARE(memo.currentFilePath(), path);
        QVERIFY(memo.headerIsPending());
        QVERIFY(!QFile::exists(path));

        QSignalSpy saved(&AppEvents::instance(), &AppEvents::memoSaved);
        memo.updateModifiedFlag(QStringLiteral("朝の散歩"));
        QVERIFY(memo.isModified());
        QCOMPARE(memo.save(QStringLiteral("朝の散歩")).status, SaveOutcome::Status::Saved);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(memo.temporaryMessage(), MemoManager::savedMessage);
        QVERIFY(!memo.isModified());
        QVERIFY(!memo.headerIsPending());
        QCOMPARE(QString::fromUtf8(read(path)),
                 QStringLiteral("---\ntitle: \"2025-03-05\"\ncreated: \"2025-03-05T09:05:07\"\n"
                                "updated: \"2025-03-05T09:05:07\"\n---\n\n朝の散歩"));
        QCOMPARE(memo.externalChangeText(), std::nullopt);
    }

    void saveWithoutChangesWritesNothing()
    {
        const QString path = notePath(QStringLiteral("plain.md"));
        QVERIFY(write(path, "no header here\n"));
        MemoManager memo;
        memo.loadFile(path);
        QSignalSpy saved(&AppEvents::instance(), &AppEvents::memoSaved);
        memo.markModified();
        QCOMPARE(memo.save(QStringLiteral("no header here\n")).status,
                 SaveOutcome::Status::NothingToSave);
        QCOMPARE(saved.count(), 0);
        QCOMPARE(read(path), QByteArray("no header here\n"));
        QVERIFY(!memo.isModified());
    }

    void saveKeepsJoplinTrailerAndHeaderLines()
    {
        const QString path = notePath(QStringLiteral("raw-note.md"));
        QVERIFY(QFile::copy(QStringLiteral(QUILLMERE_TEST_DATA "/joplin/raw-note.md"), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        const NoteDocumentParts before = parseNoteDocument(QString::fromUtf8(read(path)));

        MemoManager memo;
        memo.loadFile(path);
        QCOMPARE(memo.loadedBody(), before.body);
        QCOMPARE(memo.joplinHeaderYAML(), *before.joplinYAML);
        QCOMPARE(memo.save(memo.loadedBody() + QStringLiteral("\n追記")).status,
                 SaveOutcome::Status::Saved);

        const QByteArray written = read(path);
        const NoteDocumentParts after = parseNoteDocument(QString::fromUtf8(written));
        QCOMPARE(after.joplinYAML, before.joplinYAML);
        QVERIFY(after.joplinIsTrailing);
        QCOMPARE(after.body, before.body + QStringLiteral("\n追記"));
        QCOMPARE(memo.save(memo.loadedBody()).status, SaveOutcome::Status::NothingToSave);
        QCOMPARE(read(path), written);
    }

    void displayedHeaderFallsBackToFileDates()
    {
        const QString path = notePath(QStringLiteral("created-only.md"));
        const QDateTime modified(QDate(2024, 6, 1), QTime(12, 0), QTimeZone("Asia/Tokyo"));
        QVERIFY(write(path, "---\ncreated: 2024-01-02\n---\n\nbody", modified));
        MemoManager memo;
        memo.loadFile(path);
        QVERIFY(!memo.headerIsPending());
        QCOMPARE(memo.statusModificationDate(), modified);
        // The file's own created line is shown as written, the missing lines as a save adds them.
        QCOMPARE(memo.headerYAML(),
                 QStringLiteral("---\ntitle: \"created-only\"\ncreated: "
                                "2024-01-02\nupdated: \"2024-06-01T12:00:00\"\n---"));
    }

    void unreadableFileIsNeverOverwritten_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: a folder
        QTest::newRow("Shift-JIS text") << QByteArray("\x93\xfa\x96\x7b\x8c\xea\n");
        QTest::newRow("stray byte in UTF-8") << QByteArray("ok \xff then more");
        QTest::newRow("a folder where a note should be") << QByteArray();
    }
    void unreadableFileIsNeverOverwritten()
    {
        QFETCH(QByteArray, bytes);
        const QString path = notePath(QStringLiteral("odd.txt"));
        QVERIFY(bytes.isNull() ? QDir().mkpath(path) : write(path, bytes));

        MemoManager memo;
        memo.loadFile(path);
        QVERIFY(!memo.isEditable());
        QVERIFY(!memo.loadError().isEmpty());
        QCOMPARE(memo.temporaryMessage(), MemoManager::unreadableMessage);
        QSignalSpy saved(&AppEvents::instance(), &AppEvents::memoSaved);
        memo.markModified();
        QCOMPARE(memo.save(QStringLiteral("typed over it")).status, SaveOutcome::Status::Refused);
        QVERIFY(!memo.renameCurrentFile(QStringLiteral("renamed")));
        QCOMPARE(saved.count(), 0);
        QCOMPARE(QFileInfo(path).isDir(), bytes.isNull());
        QCOMPARE(read(path), bytes);

        // Loading something else makes the store editable again.
        memo.loadMemo(QDate(2025, 3, 5));
        QVERIFY(memo.isEditable());
    }

    void failedSaveKeepsEdits()
    {
        QVERIFY(write(notePath(QStringLiteral("blocker")), "a file, not a folder"));
        MemoManager memo;
        memo.loadFile(notePath(QStringLiteral("blocker/note.md")));
        memo.markModified();
        QSignalSpy saved(&AppEvents::instance(), &AppEvents::memoSaved);
        QCOMPARE(memo.save(QStringLiteral("大事な文章")).status, SaveOutcome::Status::Failed);
        QCOMPARE(memo.temporaryMessage(), MemoManager::saveFailedMessage);
        QVERIFY(memo.isModified());
        QCOMPARE(memo.loadedBody(), QString());
        QCOMPARE(saved.count(), 0);
    }

    void externalChangeIsOfferedOncePerText()
    {
        const QString path = notePath(QStringLiteral("shared.md"));
        QVERIFY(write(path, "---\ntitle: shared\n---\n\nfirst"));
        MemoManager memo;
        memo.loadFile(path);
        QCOMPARE(memo.externalChangeText(), std::nullopt);

        QVERIFY(write(path, "---\ntitle: shared\n---\n\nsecond"));
        const auto offered = memo.externalChangeText();
        QVERIFY(offered);
        memo.setDeclinedExternalContent(offered);
        QCOMPARE(memo.externalChangeText(), std::nullopt);

        QVERIFY(write(path, "---\ntitle: shared\n---\n\nthird"));
        QVERIFY(memo.externalChangeText());
        memo.markModified();
        QSignalSpy replaced(&memo, &MemoManager::bodyReplaced);
        QVERIFY(memo.reloadFromDisk());
        QCOMPARE(replaced.count(), 1);
        QCOMPARE(memo.loadedBody(), QStringLiteral("third"));
        QVERIFY(!memo.isModified());
        QCOMPARE(memo.externalChangeText(), std::nullopt);

        // A file that turned unreadable, or went away, is not offered as a change.
        QVERIFY(write(path, "\xff\xfe"));
        QCOMPARE(memo.externalChangeText(), std::nullopt);
        QFile::remove(path);
        QCOMPARE(memo.externalChangeText(), std::nullopt);
    }

    void saveMergesOtherProgramsChanges_data()
    {
        QTest::addColumn<QByteArray>("theirs");
        QTest::addColumn<QString>("ours");
        QTest::addColumn<QString>("merged");
        const QByteArray header = "---\ntitle: \"shared\"\n---\n\n";
        QTest::newRow("they append while we edit the top")
            << header + "one\ntwo\nthree\nfour\n"
            << QStringLiteral("ONE\ntwo\nthree\n") << QStringLiteral("ONE\ntwo\nthree\nfour\n");
        QTest::newRow("they edit the top while we append")
            << header + "uno\ntwo\nthree\n"
            << QStringLiteral("one\ntwo\nthree\n追記\n")
            << QStringLiteral("uno\ntwo\nthree\n追記\n");
    }
    void saveMergesOtherProgramsChanges()
    {
        QFETCH(QByteArray, theirs);
        QFETCH(QString, ours);
        QFETCH(QString, merged);
        const QString path = notePath(QStringLiteral("shared.md"));
        QVERIFY(write(path, "---\ntitle: \"shared\"\n---\n\none\ntwo\nthree\n"));
        MemoManager memo;
        memo.loadFile(path);
        QVERIFY(write(path, theirs));
        QSignalSpy replaced(&memo, &MemoManager::bodyReplaced);
        memo.markModified();
        QCOMPARE(memo.save(ours).status, SaveOutcome::Status::Merged);
        QCOMPARE(bodyOf(path), merged);
        QCOMPARE(memo.loadedBody(), merged);
        QCOMPARE(replaced.count(), 1);
        QVERIFY(!memo.isModified());
        QCOMPARE(memo.temporaryMessage(), MemoManager::mergedMessage);
        // What was merged is now the reference: the next save of the same text writes nothing.
        QCOMPARE(memo.save(merged).status, SaveOutcome::Status::NothingToSave);
    }

    void conflictingChangesKeepBothFiles()
    {
        const QString path = notePath(QStringLiteral("shared.md"));
        QVERIFY(write(path, "---\ntitle: \"shared\"\n---\n\nmeeting at 10\nbring slides\n"));
        MemoManager memo;
        memo.loadFile(path);
        const QByteArray theirs = "---\ntitle: \"shared\"\n---\n\nmeeting at 11\nbring slides\n";
        QVERIFY(write(path, theirs));
        memo.markModified();
        const SaveOutcome outcome = memo.save(QStringLiteral("meeting at 9\nbring slides\n"));

        QCOMPARE(outcome.status, SaveOutcome::Status::Conflicted);
        QCOMPARE(read(path), theirs);
        QCOMPARE(outcome.conflictPath,
                 notePath(QStringLiteral("shared (競合 2025-03-05 090507).md")));
        QCOMPARE(bodyOf(outcome.conflictPath), QStringLiteral("meeting at 9\nbring slides\n"));
        QCOMPARE(memo.loadedBody(), QStringLiteral("meeting at 11\nbring slides\n"));
        QCOMPARE(memo.currentFilePath(), path);
        QVERIFY(!memo.isModified());
        QVERIFY(memo.temporaryMessage().startsWith(MemoManager::conflictMessage));

        // A second conflict within the same second gets a name of its own.
        QVERIFY(write(path, "---\ntitle: \"shared\"\n---\n\nmeeting at 12\nbring slides\n"));
        memo.markModified();
        const SaveOutcome second = memo.save(QStringLiteral("meeting at 8\nbring slides\n"));
        QCOMPARE(second.status, SaveOutcome::Status::Conflicted);
        QVERIFY(second.conflictPath != outcome.conflictPath);
        QCOMPARE(bodyOf(outcome.conflictPath), QStringLiteral("meeting at 9\nbring slides\n"));
        QCOMPARE(bodyOf(second.conflictPath), QStringLiteral("meeting at 8\nbring slides\n"));
    }

    void fileChangedElsewhereBeforeSave_data()
    {
        QTest::addColumn<QByteArray>("theirs"); // null: deleted
        QTest::addColumn<bool>("conflicted");
        QTest::newRow("made unreadable: kept, ours beside it") << QByteArray("caf\xe9\n") << true;
        QTest::newRow("deleted: written again") << QByteArray() << false;
    }
    void fileChangedElsewhereBeforeSave()
    {
        QFETCH(QByteArray, theirs);
        QFETCH(bool, conflicted);
        const QString path = notePath(QStringLiteral("shared.md"));
        QVERIFY(write(path, "first\n"));
        MemoManager memo;
        memo.loadFile(path);
        QVERIFY(theirs.isNull() ? QFile::remove(path) : write(path, theirs));
        memo.markModified();
        const SaveOutcome outcome = memo.save(QStringLiteral("first\nsecond\n"));
        QCOMPARE(outcome.status,
                 conflicted ? SaveOutcome::Status::Conflicted : SaveOutcome::Status::Saved);
        QCOMPARE(bodyOf(conflicted ? outcome.conflictPath : path),
                 QStringLiteral("first\nsecond\n"));
        if (conflicted)
            QCOMPARE(read(path), theirs);
        QCOMPARE(memo.isEditable(), !conflicted);
    }

    void watcherReportsOtherWritersOnly()
    {
        const QString path = notePath(QStringLiteral("watched.md"));
        QVERIFY(write(path, "one\n"));
        MemoManager memo;
        memo.setWatchingFile(true);
        memo.loadFile(path);
        QSignalSpy changed(&memo, &MemoManager::diskChanged);

        memo.markModified();
        QCOMPARE(memo.save(QStringLiteral("one\ntwo\n")).status, SaveOutcome::Status::Saved);
        // Our own atomic replace drops the watch on the old file; another writer is still seen.
        QTest::qWait(200);
        QCOMPARE(changed.count(), 0);
        QVERIFY(write(path, read(path) + "three\n"));
        QTRY_VERIFY(changed.count() > 0);
        QVERIFY(memo.reloadIfChangedOnDisk());
        QCOMPARE(memo.loadedBody(), QStringLiteral("one\ntwo\nthree\n"));

        // A memo that does not exist yet is seen when another program creates it.
        memo.loadMemo(QDate(2025, 3, 6));
        changed.clear();
        QVERIFY(write(memo.currentFilePath(), "made elsewhere\n"));
        QTRY_VERIFY(changed.count() > 0);
    }

    void renameRefusals_data()
    {
        QTest::addColumn<QString>("newName");
        QTest::addColumn<QString>("message");
        QTest::newRow("only full stops") << "..." << MemoManager::emptyNameMessage;
        QTest::newRow("only removed characters") << "/:*?" << MemoManager::emptyNameMessage;
        QTest::newRow("blank") << " \t " << MemoManager::emptyNameMessage;
        QTest::newRow("name of another note") << "other" << MemoManager::nameTakenMessage;
        QTest::newRow("name of another note after cleaning")
            << " ot/her " << MemoManager::nameTakenMessage;
    }
    void renameRefusals()
    {
        QFETCH(QString, newName);
        QFETCH(QString, message);
        QVERIFY(write(notePath(QStringLiteral("mine.md")), "mine"));
        QVERIFY(write(notePath(QStringLiteral("other.md")), "other"));
        MemoManager memo;
        memo.loadFile(notePath(QStringLiteral("mine.md")));
        QVERIFY(!memo.renameCurrentFile(newName));
        QCOMPARE(memo.temporaryMessage(), message);
        QCOMPARE(memo.currentFilePath(), notePath(QStringLiteral("mine.md")));
        QCOMPARE(read(notePath(QStringLiteral("mine.md"))), QByteArray("mine"));
        QCOMPARE(read(notePath(QStringLiteral("other.md"))), QByteArray("other"));
    }

    void renameSavesFirstAndCarriesPinAndViews()
    {
        const QString oldPath = notePath(QStringLiteral("draft.md"));
        QVERIFY(write(oldPath, "---\ntitle: draft\n---\n\nv1"));
        Pins::pinNote(oldPath);
        ViewCounts::recordNoteView(oldPath);
        MemoManager memo;
        memo.loadFile(oldPath);
        memo.markModified();
        // Unsaved edits are not moved: the caller saves first.
        QVERIFY(!memo.renameCurrentFile(QStringLiteral("計画")));
        QVERIFY(QFile::exists(oldPath));
        QCOMPARE(memo.save(QStringLiteral("v2")).status, SaveOutcome::Status::Saved);
        QSignalSpy moved(&AppEvents::instance(), &AppEvents::fileMoved);

        QVERIFY(memo.renameCurrentFile(QStringLiteral("計画")));
        const QString newPath = notePath(QStringLiteral("計画.md"));
        QCOMPARE(memo.currentFilePath(), newPath);
        QVERIFY(!QFile::exists(oldPath));
        QVERIFY(!memo.isModified());
        const NoteDocumentParts onDisk = parseNoteDocument(QString::fromUtf8(read(newPath)));
        QCOMPARE(onDisk.body, QStringLiteral("v2"));
        QCOMPARE(onDisk.obsidian->title, QStringLiteral("draft")); // until the next save
        QVERIFY(memo.headerYAML().contains(QStringLiteral("title: \"計画\"")));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.at(0).at(0).toString(), newPath);
        QVERIFY(Pins::isPinned(newPath));
        QVERIFY(!Pins::isPinned(oldPath));
        ViewCounts::resetCachesForTesting(); // as the next run reads the counts
        QCOMPARE(ViewCounts::viewCounts({oldPath, newPath}),
                 (QHash<QString, int>{{oldPath, 0}, {newPath, 1}}));

        // To the same name once cleaned: nothing moves.
        QVERIFY(memo.renameCurrentFile(QStringLiteral(" 計画 ")));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(bodyOf(newPath), QStringLiteral("v2"));
    }

    void dailyMemoCannotBeRenamed()
    {
        MemoManager memo;
        memo.loadMemo(QDate(2025, 3, 5));
        QVERIFY(!memo.renameCurrentFile(QStringLiteral("other")));
        QCOMPARE(memo.temporaryMessage(), QString());
        memo.clearDocument();
        QVERIFY(!memo.renameCurrentFile(QStringLiteral("other")));
    }

    void newerMessageIsNotCutShort()
    {
        MemoManager memo;
        memo.setMessageDurationForTesting(300);
        memo.showTemporaryMessage(QStringLiteral("first"));
        QTest::qWait(150);
        memo.showTemporaryMessage(QStringLiteral("second"));
        QTest::qWait(250); // the first message's timer has fired by now
        QCOMPARE(memo.temporaryMessage(), QStringLiteral("second"));
        QTRY_COMPARE_WITH_TIMEOUT(memo.temporaryMessage(), QString(), 1000);
    }

    void sanitizeFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *intent, const QString &name, const char *expected) {
            QTest::newRow(intent) << name << QString::fromUtf8(expected);
        };
        row("forbidden characters go", "a/b:c\\d*e?f\"g<h>i|j", "abcdefghij");
        row("control characters go", QStringLiteral("tab\there\x01"), "tabhere");
        row("outer blanks and newlines", " \n 会議メモ \n", "会議メモ");
        row("leading dots", "..hidden", "hidden");
        row("dots behind blanks do not make a hidden file", ". .name", "name");
        row("inner dots stay", "v1.2 notes", "v1.2 notes");
    }
    void sanitizeFileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(MemoManager::sanitizeFileName(name), expected);
    }

private:
    QString notePath(const QString &name) const
    {
        return m_base + QStringLiteral("/Notes/") + name;
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FixedClock> m_clock;
    QString m_base;
};

QTEST_GUILESS_MAIN(TestMemoManager)
#include "tst_memomanager.moc"
