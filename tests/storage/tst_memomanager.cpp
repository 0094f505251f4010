#include "common/testenvironment.h"

#include "platform/appevents.h"
#include "platform/clock.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"
#include "storage/pins.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class TestMemoManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void newDailyMemoIsCreatedByFirstSave();
    void saveWithoutChangesWritesNothing();
    void saveKeepsJoplinTrailerAndHeaderLines();
    void displayedHeaderFallsBackToFileDates();
    void unreadableFileIsNeverOverwritten_data();
    void unreadableFileIsNeverOverwritten();
    void failedSaveKeepsEdits();
    void externalChangeIsOfferedOncePerText();
    void saveMergesOtherProgramsChanges_data();
    void saveMergesOtherProgramsChanges();
    void conflictingChangesKeepBothFiles();
    void fileMadeUnreadableElsewhereIsKept();
    void fileDeletedElsewhereIsWrittenAgain();
    void watcherReportsOtherWritersOnly();
    void renameRefusals_data();
    void renameRefusals();
    void renameSavesFirstAndCarriesPin();
    void renameToSameNameTouchesNothing();
    void dailyMemoCannotBeRenamed();
    void newerMessageIsNotCutShort();
    void sanitizeFileName_data();
    void sanitizeFileName();

private:
    QString notePath(const QString &name) const
    {
        return m_base + QStringLiteral("/Notes/") + name;
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FixedClock> m_clock;
    QString m_base;
};

void TestMemoManager::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_clock = std::make_unique<FixedClock>(
        QDateTime(QDate(2025, 3, 5), QTime(9, 5, 7), QTimeZone("Asia/Tokyo")),
        QTimeZone("Asia/Tokyo"));
    Clock::setCurrent(m_clock.get());
    m_base = m_env->useBaseFolder();
    QDir().mkpath(m_base + QStringLiteral("/Notes"));
}

void TestMemoManager::cleanup()
{
    Clock::setCurrent(nullptr);
    m_env.reset();
}

void TestMemoManager::newDailyMemoIsCreatedByFirstSave()
{
    MemoManager memo;
    memo.loadMemo(QDate(2025, 3, 5));
    const QString path = m_base + QStringLiteral("/Daily/2025-03-05.txt");
    QCOMPARE(memo.currentFilePath(), path);
    QCOMPARE(memo.loadedBody(), QString());
    QVERIFY(memo.headerIsPending());
    QVERIFY(memo.isEditable());
    QVERIFY(!QFile::exists(path));

    QSignalSpy saved(&AppEvents::instance(), &AppEvents::memoSaved);
    memo.updateModifiedFlag(QStringLiteral("朝の散歩"));
    QVERIFY(memo.isModified());
    QCOMPARE(memo.save(QStringLiteral("朝の散歩")).status, SaveOutcome::Status::Saved);

    QCOMPARE(saved.count(), 1);
    QCOMPARE(memo.temporaryMessage(), MemoManager::savedMessage);
    QVERIFY(!memo.isModified());
    QVERIFY(!memo.headerIsPending());
    QCOMPARE(QString::fromUtf8(readBytes(path)),
             QStringLiteral("---\ntitle: \"2025-03-05\"\ncreated: \"2025-03-05T09:05:07\"\n"
                            "updated: \"2025-03-05T09:05:07\"\n---\n\n朝の散歩"));
    QCOMPARE(memo.externalChangeText(), std::nullopt);
}

void TestMemoManager::saveWithoutChangesWritesNothing()
{
    const QString path = notePath(QStringLiteral("plain.md"));
    writeBytes(path, "no header here\n");
    MemoManager memo;
    memo.loadFile(path);
    QSignalSpy saved(&AppEvents::instance(), &AppEvents::memoSaved);
    memo.markModified();
    QCOMPARE(memo.save(QStringLiteral("no header here\n")).status,
             SaveOutcome::Status::NothingToSave);
    QCOMPARE(saved.count(), 0);
    QCOMPARE(readBytes(path), QByteArray("no header here\n"));
    QVERIFY(!memo.isModified());
}

void TestMemoManager::saveKeepsJoplinTrailerAndHeaderLines()
{
    const QString path = notePath(QStringLiteral("raw-note.md"));
    QVERIFY(QFile::copy(QStringLiteral(QUILLMERE_TEST_DATA "/joplin/raw-note.md"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    const NoteDocumentParts before = parseNoteDocument(QString::fromUtf8(readBytes(path)));
    QVERIFY(before.joplinIsTrailing);

    MemoManager memo;
    memo.loadFile(path);
    QCOMPARE(memo.loadedBody(), before.body);
    QCOMPARE(memo.joplinHeaderYAML(), *before.joplinYAML);
    QCOMPARE(memo.save(memo.loadedBody() + QStringLiteral("\n追記")).status,
             SaveOutcome::Status::Saved);

    const QString written = QString::fromUtf8(readBytes(path));
    const NoteDocumentParts after = parseNoteDocument(written);
    QCOMPARE(after.joplinYAML, before.joplinYAML);
    QVERIFY(after.joplinIsTrailing);
    QCOMPARE(after.body, before.body + QStringLiteral("\n追記"));
    QVERIFY(written.endsWith(*before.joplinYAML + QLatin1Char('\n')));
    // The created value comes from Joplin's own metadata, not from the save time.
    QCOMPARE(after.obsidian->createdRaw,
             yamlValue(before.joplinYAML,
                       {QStringLiteral("user_created_time"), QStringLiteral("created_time")}));

    // Saving again without edits changes nothing on disk.
    QCOMPARE(memo.save(memo.loadedBody()).status, SaveOutcome::Status::NothingToSave);
    QCOMPARE(QString::fromUtf8(readBytes(path)), written);
}

void TestMemoManager::displayedHeaderFallsBackToFileDates()
{
    const QString path = notePath(QStringLiteral("created-only.md"));
    writeBytes(path, "---\ncreated: 2024-01-02\n---\n\nbody");
    const QDateTime modified(QDate(2024, 6, 1), QTime(12, 0), QTimeZone("Asia/Tokyo"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    file.close();

    MemoManager memo;
    memo.loadFile(path);
    QVERIFY(!memo.headerIsPending());
    QCOMPARE(memo.statusModificationDate(), modified);
    // The file's own created line is shown as written, the missing lines as a save adds them.
    QCOMPARE(memo.headerYAML(),
             QStringLiteral("---\ntitle: \"created-only\"\ncreated: "
                            "2024-01-02\nupdated: \"2024-06-01T12:00:00\"\n---"));
}

void TestMemoManager::unreadableFileIsNeverOverwritten_data()
{
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("Shift-JIS text") << false << QByteArray("\x93\xfa\x96\x7b\x8c\xea\n");
    QTest::newRow("stray byte in UTF-8") << false << QByteArray("ok \xff then more");
    QTest::newRow("a folder where a note should be") << true << QByteArray();
}

void TestMemoManager::unreadableFileIsNeverOverwritten()
{
    QFETCH(bool, isFolder);
    QFETCH(QByteArray, bytes);
    const QString path = notePath(QStringLiteral("odd.txt"));
    if (isFolder)
        QDir().mkpath(path);
    else
        writeBytes(path, bytes);

    MemoManager memo;
    memo.loadFile(path);
    QVERIFY(!memo.isEditable());
    QVERIFY(!memo.loadError().isEmpty());
    QCOMPARE(memo.temporaryMessage(), MemoManager::unreadableMessage);
    QCOMPARE(memo.currentFilePath(), path);

    QSignalSpy saved(&AppEvents::instance(), &AppEvents::memoSaved);
    memo.markModified();
    QCOMPARE(memo.save(QStringLiteral("typed over it")).status, SaveOutcome::Status::Refused);
    QVERIFY(!memo.renameCurrentFile(QStringLiteral("renamed")));
    QCOMPARE(saved.count(), 0);
    QCOMPARE(QFileInfo(path).isDir(), isFolder);
    if (!isFolder)
        QCOMPARE(readBytes(path), bytes);

    // Loading something else makes the store editable again.
    memo.loadMemo(QDate(2025, 3, 5));
    QVERIFY(memo.isEditable());
}

void TestMemoManager::failedSaveKeepsEdits()
{
    writeBytes(m_base + QStringLiteral("/Notes/blocker"), "a file, not a folder");
    const QString path = m_base + QStringLiteral("/Notes/blocker/note.md");
    MemoManager memo;
    memo.loadFile(path);
    memo.markModified();
    QSignalSpy saved(&AppEvents::instance(), &AppEvents::memoSaved);

    QCOMPARE(memo.save(QStringLiteral("大事な文章")).status, SaveOutcome::Status::Failed);
    QCOMPARE(memo.temporaryMessage(), MemoManager::saveFailedMessage);
    QVERIFY(memo.isModified());
    QCOMPARE(memo.loadedBody(), QString());
    QCOMPARE(saved.count(), 0);
}

void TestMemoManager::externalChangeIsOfferedOncePerText()
{
    const QString path = notePath(QStringLiteral("shared.md"));
    writeBytes(path, "---\ntitle: shared\n---\n\nfirst");
    MemoManager memo;
    memo.loadFile(path);
    QCOMPARE(memo.externalChangeText(), std::nullopt);

    writeBytes(path, "---\ntitle: shared\n---\n\nsecond");
    const auto offered = memo.externalChangeText();
    QVERIFY(offered);
    memo.setDeclinedExternalContent(offered);
    QCOMPARE(memo.externalChangeText(), std::nullopt);

    writeBytes(path, "---\ntitle: shared\n---\n\nthird");
    const auto again = memo.externalChangeText();
    QVERIFY(again);
    memo.markModified();
    QSignalSpy replaced(&memo, &MemoManager::bodyReplaced);
    QVERIFY(memo.reloadFromDisk());
    QCOMPARE(replaced.count(), 1);
    QCOMPARE(memo.loadedBody(), QStringLiteral("third"));
    QVERIFY(!memo.isModified());
    QCOMPARE(memo.externalChangeText(), std::nullopt);

    // A file that turned unreadable is not offered as a change.
    writeBytes(path, "\xff\xfe");
    QCOMPARE(memo.externalChangeText(), std::nullopt);
    QFile::remove(path);
    QCOMPARE(memo.externalChangeText(), std::nullopt);
}

void TestMemoManager::saveMergesOtherProgramsChanges_data()
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
        << QStringLiteral("one\ntwo\nthree\n追記\n") << QStringLiteral("uno\ntwo\nthree\n追記\n");
    QTest::newRow("both made the same change")
        << header + "one\ntwo\nTHREE\n"
        << QStringLiteral("one\ntwo\nTHREE\n") << QStringLiteral("one\ntwo\nTHREE\n");
}

void TestMemoManager::saveMergesOtherProgramsChanges()
{
    QFETCH(QByteArray, theirs);
    QFETCH(QString, ours);
    QFETCH(QString, merged);
    const QString path = notePath(QStringLiteral("shared.md"));
    writeBytes(path, "---\ntitle: \"shared\"\n---\n\none\ntwo\nthree\n");
    MemoManager memo;
    memo.loadFile(path);
    writeBytes(path, theirs);
    QSignalSpy replaced(&memo, &MemoManager::bodyReplaced);

    memo.markModified();
    QCOMPARE(memo.save(ours).status, SaveOutcome::Status::Merged);

    QCOMPARE(parseNoteDocument(QString::fromUtf8(readBytes(path))).body, merged);
    QCOMPARE(memo.loadedBody(), merged);
    QCOMPARE(replaced.count(), 1);
    QVERIFY(!memo.isModified());
    QCOMPARE(memo.temporaryMessage(), MemoManager::mergedMessage);
    // What was merged is now the reference: the next save of the same text writes nothing.
    QCOMPARE(memo.save(merged).status, SaveOutcome::Status::NothingToSave);
}

void TestMemoManager::conflictingChangesKeepBothFiles()
{
    const QString path = notePath(QStringLiteral("shared.md"));
    writeBytes(path, "---\ntitle: \"shared\"\n---\n\nmeeting at 10\nbring slides\n");
    MemoManager memo;
    memo.loadFile(path);
    const QByteArray theirs = "---\ntitle: \"shared\"\n---\n\nmeeting at 11\nbring slides\n";
    writeBytes(path, theirs);

    memo.markModified();
    const SaveOutcome outcome = memo.save(QStringLiteral("meeting at 9\nbring slides\n"));

    QCOMPARE(outcome.status, SaveOutcome::Status::Conflicted);
    QCOMPARE(readBytes(path), theirs);
    QCOMPARE(outcome.conflictPath, notePath(QStringLiteral("shared (競合 2025-03-05 090507).md")));
    QCOMPARE(parseNoteDocument(QString::fromUtf8(readBytes(outcome.conflictPath))).body,
             QStringLiteral("meeting at 9\nbring slides\n"));
    QCOMPARE(memo.loadedBody(), QStringLiteral("meeting at 11\nbring slides\n"));
    QCOMPARE(memo.currentFilePath(), path);
    QVERIFY(!memo.isModified());
    QVERIFY(memo.temporaryMessage().startsWith(MemoManager::conflictMessage));

    // A second conflict within the same second gets a name of its own.
    writeBytes(path, "---\ntitle: \"shared\"\n---\n\nmeeting at 12\nbring slides\n");
    memo.markModified();
    const SaveOutcome second = memo.save(QStringLiteral("meeting at 8\nbring slides\n"));
    QCOMPARE(second.status, SaveOutcome::Status::Conflicted);
    QVERIFY(second.conflictPath != outcome.conflictPath);
    QVERIFY(QFile::exists(outcome.conflictPath));
}

void TestMemoManager::fileMadeUnreadableElsewhereIsKept()
{
    const QString path = notePath(QStringLiteral("shared.md"));
    writeBytes(path, "first\n");
    MemoManager memo;
    memo.loadFile(path);
    writeBytes(path, "caf\xe9\n");

    memo.markModified();
    const SaveOutcome outcome = memo.save(QStringLiteral("first\nsecond\n"));
    QCOMPARE(outcome.status, SaveOutcome::Status::Conflicted);
    QCOMPARE(readBytes(path), QByteArray("caf\xe9\n"));
    QCOMPARE(parseNoteDocument(QString::fromUtf8(readBytes(outcome.conflictPath))).body,
             QStringLiteral("first\nsecond\n"));
    QVERIFY(!memo.isEditable());
}

void TestMemoManager::fileDeletedElsewhereIsWrittenAgain()
{
    const QString path = notePath(QStringLiteral("gone.md"));
    writeBytes(path, "kept\n");
    MemoManager memo;
    memo.loadFile(path);
    QVERIFY(QFile::remove(path));
    memo.markModified();
    QCOMPARE(memo.save(QStringLiteral("kept\nand more\n")).status, SaveOutcome::Status::Saved);
    QCOMPARE(parseNoteDocument(QString::fromUtf8(readBytes(path))).body,
             QStringLiteral("kept\nand more\n"));
}

void TestMemoManager::watcherReportsOtherWritersOnly()
{
    const QString path = notePath(QStringLiteral("watched.md"));
    writeBytes(path, "one\n");
    MemoManager memo;
    memo.setWatchingFile(true);
    memo.loadFile(path);
    QSignalSpy changed(&memo, &MemoManager::diskChanged);

    memo.markModified();
    QCOMPARE(memo.save(QStringLiteral("one\ntwo\n")).status, SaveOutcome::Status::Saved);
    // Our own atomic replace drops the watch on the old file; another writer is still seen.
    QTest::qWait(200);
    QCOMPARE(changed.count(), 0);
    QByteArray onDisk = readBytes(path);
    writeBytes(path, onDisk + "three\n");
    QTRY_VERIFY(changed.count() > 0);
    QVERIFY(memo.reloadIfChangedOnDisk());
    QCOMPARE(memo.loadedBody(), QStringLiteral("one\ntwo\nthree\n"));

    // A memo that does not exist yet is seen when another program creates it.
    memo.loadMemo(QDate(2025, 3, 6));
    changed.clear();
    writeBytes(memo.currentFilePath(), "made elsewhere\n");
    QTRY_VERIFY(changed.count() > 0);
}

void TestMemoManager::renameRefusals_data()
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

void TestMemoManager::renameRefusals()
{
    QFETCH(QString, newName);
    QFETCH(QString, message);
    writeBytes(notePath(QStringLiteral("mine.md")), "mine");
    writeBytes(notePath(QStringLiteral("other.md")), "other");
    MemoManager memo;
    memo.loadFile(notePath(QStringLiteral("mine.md")));
    QVERIFY(!memo.renameCurrentFile(newName));
    QCOMPARE(memo.temporaryMessage(), message);
    QCOMPARE(memo.currentFilePath(), notePath(QStringLiteral("mine.md")));
    QCOMPARE(readBytes(notePath(QStringLiteral("other.md"))), QByteArray("other"));
}

void TestMemoManager::renameSavesFirstAndCarriesPin()
{
    const QString oldPath = notePath(QStringLiteral("draft.md"));
    writeBytes(oldPath, "---\ntitle: draft\n---\n\nv1");
    Pins::pinNote(oldPath);
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
    const NoteDocumentParts onDisk = parseNoteDocument(QString::fromUtf8(readBytes(newPath)));
    QCOMPARE(onDisk.body, QStringLiteral("v2"));
    QCOMPARE(onDisk.obsidian->title, QStringLiteral("draft")); // until the next save
    QVERIFY(memo.headerYAML().contains(QStringLiteral("title: \"計画\"")));
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.at(0).at(0).toString(), newPath);
    QVERIFY(Pins::isPinned(newPath));
    QVERIFY(!Pins::isPinned(oldPath));
}

void TestMemoManager::renameToSameNameTouchesNothing()
{
    const QString path = notePath(QStringLiteral("same.md"));
    writeBytes(path, "same");
    MemoManager memo;
    memo.loadFile(path);
    QSignalSpy moved(&AppEvents::instance(), &AppEvents::fileMoved);
    QVERIFY(memo.renameCurrentFile(QStringLiteral(" same ")));
    QCOMPARE(moved.count(), 0);
    QCOMPARE(readBytes(path), QByteArray("same"));
}

void TestMemoManager::dailyMemoCannotBeRenamed()
{
    MemoManager memo;
    memo.loadMemo(QDate(2025, 3, 5));
    QVERIFY(!memo.renameCurrentFile(QStringLiteral("other")));
    QCOMPARE(memo.temporaryMessage(), QString());
    memo.clearDocument();
    QVERIFY(!memo.renameCurrentFile(QStringLiteral("other")));
}

void TestMemoManager::newerMessageIsNotCutShort()
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

void TestMemoManager::sanitizeFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("forbidden characters go") << "a/b:c\\d*e?f\"g<h>i|j"
                                             << "abcdefghij";
    QTest::newRow("control characters go") << QStringLiteral("tab\there\x01") << "tabhere";
    QTest::newRow("outer blanks and newlines") << " \n 会議メモ \n"
                                               << "会議メモ";
    QTest::newRow("leading dots") << "..hidden"
                                  << "hidden";
    QTest::newRow("dots behind blanks do not make a hidden file") << ". .name"
                                                                  << "name";
    QTest::newRow("inner dots stay") << "v1.2 notes"
                                     << "v1.2 notes";
}

void TestMemoManager::sanitizeFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(MemoManager::sanitizeFileName(name), expected);
}

QTEST_GUILESS_MAIN(TestMemoManager)
#include "tst_memomanager.moc"
