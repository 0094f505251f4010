#include "common/testenvironment.h"

#include "platform/clock.h"
#include "platform/notificationcenter.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"
#include "storage/pathmanager.h"
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
    void renameRefusals_data();
    void renameRefusals();
    void renameSavesFirstAndCarriesPin();
    void renameToSameNameTouchesNothing();
    void dailyMemoCannotBeRenamed();
    void newerMessageIsNotCutShort();
    void sanitizeFileName_data();
    void sanitizeFileName();

private:
    QString notePath(const QString &name) const { return m_base + QStringLiteral("/Notes/") + name; }

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
    QCOMPARE(memo.currentFileURL(), path);
    QCOMPARE(memo.memoText(), QString());
    QVERIFY(memo.headerIsPending());
    QVERIFY(memo.isEditable());
    QVERIFY(!QFile::exists(path));

    QSignalSpy saved(&NotificationCenter::defaultCenter(), &NotificationCenter::memoSaved);
    memo.setMemoText(QStringLiteral("朝の散歩"));
    memo.updateModifiedFlag();
    QVERIFY(memo.isModified());
    QVERIFY(memo.save());

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
    QSignalSpy saved(&NotificationCenter::defaultCenter(), &NotificationCenter::memoSaved);
    QVERIFY(!memo.save());
    QCOMPARE(saved.count(), 0);
    QCOMPARE(readBytes(path), QByteArray("no header here\n"));

    memo.setMemoText(QStringLiteral("no header here\n"));
    memo.updateModifiedFlag(); // same text as loaded: not modified
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
    QCOMPARE(memo.memoText(), before.body);
    QCOMPARE(memo.joplinHeaderYAML(), *before.joplinYAML);
    memo.setMemoText(memo.memoText() + QStringLiteral("\n追記"));
    memo.updateModifiedFlag();
    QVERIFY(memo.save());

    const QString written = QString::fromUtf8(readBytes(path));
    const NoteDocumentParts after = parseNoteDocument(written);
    QCOMPARE(after.joplinYAML, before.joplinYAML);
    QVERIFY(after.joplinIsTrailing);
    QCOMPARE(after.body, before.body + QStringLiteral("\n追記"));
    QVERIFY(written.endsWith(*before.joplinYAML + QLatin1Char('\n')));
    // The created value comes from Joplin's own metadata, not from the save time.
    QCOMPARE(after.obsidian->createdRaw,
             yamlValue(before.joplinYAML, {QStringLiteral("user_created_time"),
                                           QStringLiteral("created_time")}));

    // Saving again without edits changes nothing on disk.
    QVERIFY(!memo.save());
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
    QCOMPARE(memo.currentFileURL(), path);

    QSignalSpy saved(&NotificationCenter::defaultCenter(), &NotificationCenter::memoSaved);
    memo.setMemoText(QStringLiteral("typed over it"));
    memo.markModified();
    QVERIFY(!memo.save());
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
    memo.setMemoText(QStringLiteral("大事な文章"));
    memo.markModified();
    QSignalSpy saved(&NotificationCenter::defaultCenter(), &NotificationCenter::memoSaved);

    QVERIFY(!memo.save());
    QCOMPARE(memo.temporaryMessage(), MemoManager::saveFailedMessage);
    QVERIFY(memo.isModified());
    QCOMPARE(memo.memoText(), QStringLiteral("大事な文章"));
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
    memo.setMemoText(QStringLiteral("unsaved"));
    memo.markModified();
    memo.reloadFromDisk(*again);
    QCOMPARE(memo.memoText(), QStringLiteral("third"));
    QVERIFY(!memo.isModified());
    QCOMPARE(memo.externalChangeText(), std::nullopt);

    // A file that turned unreadable is not offered as a change.
    writeBytes(path, "\xff\xfe");
    QCOMPARE(memo.externalChangeText(), std::nullopt);
    QFile::remove(path);
    QCOMPARE(memo.externalChangeText(), std::nullopt);
}

void TestMemoManager::renameRefusals_data()
{
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("message");
    QTest::newRow("only full stops") << "..." << MemoManager::emptyNameMessage;
    QTest::newRow("only removed characters") << "/:*?" << MemoManager::emptyNameMessage;
    QTest::newRow("blank") << " \t " << MemoManager::emptyNameMessage;
    QTest::newRow("name of another note") << "other" << MemoManager::nameTakenMessage;
    QTest::newRow("name of another note after cleaning") << " ot/her " << MemoManager::nameTakenMessage;
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
    QCOMPARE(memo.currentFileURL(), notePath(QStringLiteral("mine.md")));
    QCOMPARE(readBytes(notePath(QStringLiteral("other.md"))), QByteArray("other"));
}

void TestMemoManager::renameSavesFirstAndCarriesPin()
{
    const QString oldPath = notePath(QStringLiteral("draft.md"));
    writeBytes(oldPath, "---\ntitle: draft\n---\n\nv1");
    Pins::pinNote(oldPath);
    MemoManager memo;
    memo.loadFile(oldPath);
    memo.setMemoText(QStringLiteral("v2"));
    memo.markModified();
    QSignalSpy moved(&NotificationCenter::defaultCenter(), &NotificationCenter::fileMoved);

    QVERIFY(memo.renameCurrentFile(QStringLiteral("計画")));

    const QString newPath = notePath(QStringLiteral("計画.md"));
    QCOMPARE(memo.currentFileURL(), newPath);
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
    memo.markModified();
    QSignalSpy moved(&NotificationCenter::defaultCenter(), &NotificationCenter::fileMoved);
    QVERIFY(memo.renameCurrentFile(QStringLiteral(" same ")));
    QCOMPARE(moved.count(), 0);
    QCOMPARE(readBytes(path), QByteArray("same"));
    QVERIFY(memo.isModified());
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
    QTest::newRow("forbidden characters go") << "a/b:c\\d*e?f\"g<h>i|j" << "abcdefghij";
    QTest::newRow("control characters go") << QStringLiteral("tab\there\x01") << "tabhere";
    QTest::newRow("outer blanks and newlines") << " \n 会議メモ \n" << "会議メモ";
    QTest::newRow("leading dots") << "..hidden" << "hidden";
    QTest::newRow("dots behind blanks do not make a hidden file") << ". .name" << "name";
    QTest::newRow("inner dots stay") << "v1.2 notes" << "v1.2 notes";
}

void TestMemoManager::sanitizeFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(MemoManager::sanitizeFileName(name), expected);
}

QTEST_GUILESS_MAIN(TestMemoManager)
#include "tst_memomanager.moc"
