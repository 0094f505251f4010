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

using namespace Qt::StringLiterals;

namespace {

using TestFiles::read;
using TestFiles::write;

QString bodyOf(const QString &path)
{
    return parseNoteDocument(QString::fromUtf8(read(path))).body;
}

// Their bytes (null: deleted), our text, the save's status and the document's text afterwards
// (null: read-only).
using WriterRow = std::tuple<QByteArray, QString, SaveOutcome::Status, QString>;

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

    // What a save keeps of another program's file is the note format tests' concern: here, that
    // the store hands the metadata on to it.
    void saveKeepsJoplinTrailer()
    {
        const QString path = notePath(QStringLiteral("raw-note.md"));
        QVERIFY(QFile::copy(QStringLiteral(QUILLMERE_TEST_DATA "/joplin/raw-note.md"), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        const NoteDocumentParts before = parseNoteDocument(QString::fromUtf8(read(path)));
        MemoManager memo;
        memo.loadFile(path);
        QCOMPARE(memo.save(before.body + QStringLiteral("\n追記")).status,
                 SaveOutcome::Status::Saved);
        const NoteDocumentParts after = parseNoteDocument(QString::fromUtf8(read(path)));
        QCOMPARE(after.joplinYAML, before.joplinYAML);
        QVERIFY(after.joplinIsTrailing);
        QCOMPARE(after.body, before.body + QStringLiteral("\n追記"));
    }

    void displayedHeaderFallsBackToFileDates()
    {
        const QString path = notePath(QStringLiteral("created-only.md"));
        const QDateTime modified(QDate(2024, 6, 1), QTime(12, 0), QTimeZone("Asia/Tokyo"));
        QVERIFY(write(path, "---\ncreated: 2024-01-02\n---\n\nbody", modified));
        MemoManager memo;
        memo.loadFile(path);
        QCOMPARE(memo.statusModificationDate(), modified);
        // The file's own created line is shown as written, the missing lines as a save adds them.
        QCOMPARE(memo.headerYAML(),
                 QStringLiteral("---\ntitle: \"created-only\"\ncreated: "
                                "2024-01-02\nupdated: \"2024-06-01T12:00:00\"\n---"));
    }

    // What cannot be read is the safe-write tests' concern; here, that it is never written.
    void unreadableFileIsNeverOverwritten()
    {
        const QByteArray bytes("ok \xff then more");
        const QString path = notePath(QStringLiteral("odd.txt"));
        QVERIFY(write(path, bytes));
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
        QCOMPARE(read(path), bytes);

        // Loading something else makes the store editable again.
        memo.loadMemo(QDate(2025, 3, 5));
        QVERIFY(memo.isEditable());
    }

    // Following an offered change, and asking once per text, are the window's tests' concern.
    void externalChangeIsOfferedOnlyForReadableText()
    {
        const QString path = notePath(QStringLiteral("shared.md"));
        QVERIFY(write(path, "---\ntitle: shared\n---\n\nfirst"));
        MemoManager memo;
        memo.loadFile(path);
        QCOMPARE(memo.externalChangeText(), std::nullopt);
        const QByteArray second = "---\ntitle: shared\n---\n\nsecond";
        QVERIFY(write(path, second));
        QCOMPARE(memo.externalChangeText(), std::optional(QString::fromUtf8(second)));
        QVERIFY(write(path, "\xff\xfe"));
        QCOMPARE(memo.externalChangeText(), std::nullopt);
        QFile::remove(path);
        QCOMPARE(memo.externalChangeText(), std::nullopt);
    }

    // Another program wrote to, or removed, the note between our load and our save.
    void saveAfterAnotherWriter_data()
    {
        QTest::addColumn<WriterRow>("row");
        const QByteArray header = "---\ntitle: \"shared\"\n---\n\n";
        const auto row = [](const char *name, const QByteArray &theirs, const char *ours,
                            SaveOutcome::Status status, const char *loaded) {
            QTest::newRow(name) << WriterRow{theirs, QString::fromUtf8(ours), status,
                                             loaded ? QString::fromUtf8(loaded) : QString()};
        };
        using S = SaveOutcome::Status;
        // Built a second time with a merge library that cannot be loaded: what would have been
        // merged or conflicted is kept beside their file, and said to be unmerged.
#ifdef QUILLMERE_TEST_MERGE_UNAVAILABLE
        const S merged = S::Unmerged, conflicted = S::Unmerged;
        const char *mergedText = "uno\ntwo\nthree\n";
#else
        const S merged = S::Merged, conflicted = S::Conflicted;
        const char *mergedText = "uno\ntwo\nthree\n追記\n";
#endif
        row("they edit the top while we append", header + "uno\ntwo\nthree\n",
            "one\ntwo\nthree\n追記\n", merged, mergedText);
        row("both change one line: theirs kept, ours beside it", header + "uno\ntwo\nthree\n",
            "eins\ntwo\nthree\n", conflicted, "uno\ntwo\nthree\n");
        row("made unreadable: kept, ours beside it", "caf\xe9\n", "one\ntwo\nthree\nfour\n",
            S::Unmerged, nullptr);
        row("deleted: written again", QByteArray(), "one\ntwo\n", S::Saved, "one\ntwo\n");
    }
    void saveAfterAnotherWriter()
    {
        QFETCH(WriterRow, row);
        const auto &[theirs, ours, status, loaded] = row;
        const QString path = notePath(QStringLiteral("shared.md"));
        QVERIFY(write(path, "---\ntitle: \"shared\"\n---\n\none\ntwo\nthree\n"));
        MemoManager memo;
        memo.loadFile(path);
        QVERIFY(theirs.isNull() ? QFile::remove(path) : write(path, theirs));
        memo.markModified();
        QSignalSpy replaced(&memo, &MemoManager::bodyReplaced);
        const SaveOutcome outcome = memo.save(ours);

        QCOMPARE(outcome.status, status);
        QVERIFY(!memo.isModified());
        QCOMPARE(memo.currentFilePath(), path);
        QCOMPARE(memo.isEditable(), !loaded.isNull());
        if (!loaded.isNull())
            QCOMPARE(memo.loadedBody(), loaded);
        // The editor is told to show what the document now holds.
        QCOMPARE(replaced.count(), int(!loaded.isNull() && loaded != ours));
        if (status == SaveOutcome::Status::Conflicted || status == SaveOutcome::Status::Unmerged) {
            QCOMPARE(read(path), theirs);
            QCOMPARE(outcome.conflictPath,
                     notePath(QStringLiteral("shared (競合 2025-03-05 090507).md")));
            QCOMPARE(bodyOf(outcome.conflictPath), ours);
            // Only a merge that ran can say both changed the same lines.
            QCOMPARE(memo.temporaryMessage(),
                     (status == SaveOutcome::Status::Conflicted ? MemoManager::conflictMessage
                                                                : MemoManager::unmergedMessage) +
                         QStringLiteral("shared (競合 2025-03-05 090507).md"));
            return;
        }
        QCOMPARE(bodyOf(path), loaded);
        // What was written is now the reference: the next save of the same text writes nothing.
        QCOMPARE(memo.save(loaded).status, SaveOutcome::Status::NothingToSave);
    }

    void conflictsWithinOneSecondKeepEveryText()
    {
        const QString path = notePath(QStringLiteral("shared.md"));
        QVERIFY(write(path, "base\n"));
        MemoManager memo;
        memo.loadFile(path);
        QStringList conflicts;
        for (const char *text : {"ours 1\n", "ours 2\n"}) {
            QVERIFY(write(path, "theirs " + QByteArray(text)));
            memo.markModified();
            conflicts.append(memo.save(QString::fromLatin1(text)).conflictPath);
        }
        QCOMPARE_NE(conflicts[0], conflicts[1]);
        QCOMPARE(bodyOf(conflicts[0]), QStringLiteral("ours 1\n"));
        QCOMPARE(bodyOf(conflicts[1]), QStringLiteral("ours 2\n"));
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

    void renameRefusals()
    {
        QVERIFY(write(notePath(u"mine.md"_s), "mine") && write(notePath(u"other.md"_s), "other"));
        MemoManager memo;
        memo.loadFile(notePath(u"mine.md"_s));
        QStringList messages;
        // Only characters that cleaning removes; another note's name once cleaned.
        for (const QString &name : {u"/:*?"_s, u" ot/her "_s}) {
            QVERIFY(!memo.renameCurrentFile(name));
            messages.append(memo.temporaryMessage());
        }
        QCOMPARE(messages,
                 (QStringList{MemoManager::emptyNameMessage, MemoManager::nameTakenMessage}));
        QCOMPARE(memo.currentFilePath(), notePath(u"mine.md"_s));
        QCOMPARE((QByteArrayList{read(notePath(u"mine.md"_s)), read(notePath(u"other.md"_s))}),
                 (QByteArrayList{"mine", "other"}));

        // A daily memo, and no document at all, have no name to change.
        memo.loadMemo(QDate(2025, 3, 5));
        QVERIFY(!memo.renameCurrentFile(u"other"_s));
        memo.clearDocument();
        QVERIFY(!memo.renameCurrentFile(u"other"_s));
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
        const NoteDocumentParts onDisk = parseNoteDocument(QString::fromUtf8(read(newPath)));
        QCOMPARE(onDisk.body, QStringLiteral("v2"));
        QCOMPARE(onDisk.obsidian->title, QStringLiteral("draft")); // until the next save
        QVERIFY(memo.headerYAML().contains(QStringLiteral("title: \"計画\"")));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.at(0).at(0).toString(), newPath);
        // How pins and counts move is the pin and view tests' concern.
        QVERIFY(Pins::isPinned(newPath));
        QCOMPARE(ViewCounts::viewCounts({newPath}).value(newPath), 1);

        // To the same name once cleaned: nothing moves.
        QVERIFY(memo.renameCurrentFile(QStringLiteral(" 計画 ")));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(bodyOf(newPath), QStringLiteral("v2"));
    }

    // A message's timer clears that message only, never the newer one that replaced it.
    void newerMessageIsNotCutShort()
    {
        MemoManager memo;
        memo.setMessageDurationForTesting(0);
        memo.showTemporaryMessage(QStringLiteral("first"));
        memo.setMessageDurationForTesting(60 * 60 * 1000);
        memo.showTemporaryMessage(QStringLiteral("second"));
        QTest::qWait(10); // the first message's timer, due at once, fires here
        QCOMPARE(memo.temporaryMessage(), QStringLiteral("second"));
        memo.setMessageDurationForTesting(0);
        memo.showTemporaryMessage(QStringLiteral("third"));
        QTRY_COMPARE(memo.temporaryMessage(), QString());
    }

    void sanitizeFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("forbidden characters go") << u"a/b:c\\d*e?f\"g<h>i|j"_s << u"abcdefghij"_s;
        QTest::newRow("control characters go") << u"tab\there\x01"_s << u"tabhere"_s;
        QTest::newRow("outer blanks and newlines") << u" \n 会議メモ \n"_s << u"会議メモ"_s;
        QTest::newRow("leading dots") << u"..hidden"_s << u"hidden"_s;
        QTest::newRow("dots behind blanks do not make a hidden file") << u". .name"_s << u"name"_s;
        QTest::newRow("inner dots stay") << u"v1.2 notes"_s << u"v1.2 notes"_s;
    }
    void sanitizeFileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(MemoManager::sanitizeFileName(name), expected);
    }

private:
    QString notePath(const QString &name) const { return m_base + u"/Notes/"_s + name; }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FixedClock> m_clock;
    QString m_base;
};

QTEST_GUILESS_MAIN(TestMemoManager)
#include "tst_memomanager.moc"
