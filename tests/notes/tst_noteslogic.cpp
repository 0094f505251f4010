#include "common/notechanges.h"
#include "common/systemcallfaults.h"
#include "common/testenvironment.h"
#include "notes/notestestutil.h"

#include "notes/foldertree.h"
#include "notes/notenaming.h"
#include "notes/noteorder.h"
#include "notes/notescan.h"
#include "notes/notesoperations.h"
#include "platform/clock.h"
#include "storage/notedocument.h"
#include "storage/pins.h"
#include "storage/viewcounts.h"

#include <QTest>

#include <functional>

using namespace NotesTestUtil;
using namespace Qt::StringLiterals;
using Status = NotesOperations::Result::Status;

class TestNotesLogic : public QObject
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
        m_env->useBaseFolder();
        m_notes = PathManager::notesFolderPath();
    }
    void cleanup()
    {
        Clock::setCurrent(nullptr);
        m_env.reset();
    }

    void folderListing_data()
    {
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("siblings case-insensitively, each followed by its own subfolders")
            << QStringList{"b", "A", "c", "A/z", "A/y"}
            << QStringList{".", "A", "A/y", "A/z", "b", "c"};
        QTest::newRow("trash in any letter case is skipped with everything inside")
            << QStringList{"Trash/inner", "x/TRASH", "x/trash2", "tRaSh"}
            << QStringList{".", "x", "x/trash2"};
        QTest::newRow("hidden folders are skipped with everything inside")
            << QStringList{".git/objects", "visible/.cache"} << QStringList{".", "visible"};
        QTest::newRow("numbers by value, kanji by reading")
            << QStringList{"item 10", "会議", "item 2", "愛"}
            << QStringList{".", "item 2", "item 10", "愛", "会議"};
    }
    void folderListing()
    {
        QFETCH(QStringList, folders);
        QFETCH(QStringList, expected);
        makeFolders(folders);
        QCOMPARE(relativeTo(m_notes, NoteScan::collectFolders(m_notes)), expected);
    }
    // One folder: .md and .txt in any case, nothing hidden. All notes: every folder but hidden
    // ones and trash. A link to a note counts; a link to a folder is neither a note nor entered,
    // so a link back up the tree cannot loop; a dangling link is nothing.
    void noteListing()
    {
        for (const char *name : {"a.md", "b.TXT", "c.markdown", ".hidden.md", "noextension",
                                 "sub/d.md", "sub/deeper/e.txt", "Trash/gone.md",
                                 "sub/TRASH/gone.md", ".hidden/gone.md", "folder.md/inside.md"})
            QVERIFY(writeNote(notes(QString::fromUtf8(name))));
        QVERIFY(QFile::link(notes("a.md"), notes("linked.md")));
        QVERIFY(QFile::link(m_notes, notes("sub/loop")));
        QVERIFY(QFile::link(notes("missing.md"), notes("dangling.md")));
        const auto listed = [this](const QList<NoteFileItem> &items) {
            QStringList found;
            for (const NoteFileItem &item : items)
                found.append(item.path.mid(m_notes.size() + 1));
            found.sort();
            return found;
        };
        QCOMPARE(listed(NoteScan::noteItemsInFolder(m_notes)),
                 (QStringList{"a.md", "b.TXT", "linked.md"}));
        QCOMPARE(listed(NoteScan::collectAllNoteItems(m_notes)),
                 (QStringList{"a.md", "b.TXT", "folder.md/inside.md", "linked.md", "sub/d.md",
                              "sub/deeper/e.txt"}));
    }

    // "すべて" is read by several threads, a large folder's notes dated in parts: every note comes
    // once, with its own date, whatever thread read it.
    void allNotesOfManyFoldersOnceEach()
    {
        QHash<QString, qint64> expected;
        const auto add = [&](const QString &relative, int minutes) {
            QVERIFY(writeNote(notes(relative), "x", minute(minutes)));
            expected.insert(relative, minute(minutes).toMSecsSinceEpoch() * 1000000);
        };
        for (int folder = 0; folder < 40; ++folder) {
            const QString path = QStringLiteral("f%1/sub%2").arg(folder % 8).arg(folder);
            for (int i = 0; i < 3; ++i)
                add(QStringLiteral("%1/n%2.md").arg(path).arg(i), folder * 3 + i);
        }
        for (int i = 0; i < 300; ++i) // several times what one thread dates at once
            add(QStringLiteral("big/n%1.txt").arg(i), 1000 + i);

        QHash<QString, qint64> found;
        for (const NoteFileItem &item : NoteScan::collectAllNoteItems(m_notes)) {
            const QString relative = item.path.mid(m_notes.size() + 1);
            QVERIFY2(!found.contains(relative), qPrintable(relative));
            found.insert(relative, item.modified);
        }
        QCOMPARE(found, expected);
    }
    void folderTree()
    {
        makeFolders({"a/b/c", "d", "work", "work2/inner"});
        const FolderTree tree(NoteScan::collectFolders(m_notes));
        const QString a = notes("a"), b = notes("a/b"), c = notes("a/b/c"), d = notes("d");
        // "work" is no parent of "work2/inner": the subfolder test needs the separator.
        QVERIFY(!tree.hasSubfolders(notes("work")));
        QVERIFY(tree.hasSubfolders(notes("work2")));
        QCOMPARE(tree.ancestorFolders(notes("work2/inner")),
                 (QStringList{notes("work2"), m_notes}));
        QCOMPARE(tree.ancestorFolders(m_notes), QStringList());

        using S = FolderIconState;
        QCOMPARE(tree.visibleRows({m_notes, a, b}).mid(0, 5),
                 (QList<FolderRow>{{m_notes, QStringLiteral("Notes"), 0, S::expanded},
                                   {a, QStringLiteral("a"), 1, S::expanded},
                                   {b, QStringLiteral("b"), 2, S::expanded},
                                   {c, QStringLiteral("c"), 3, S::leaf},
                                   {d, QStringLiteral("d"), 1, S::leaf}}));
        // Closing "a" hides its whole subtree even though "b" stays expanded, and the sibling after
        // the subtree shows again.
        const QList<FolderRow> aClosed = tree.visibleRows({m_notes, b});
        QCOMPARE(aClosed.at(1).state, S::collapsed);
        QCOMPARE(aClosed.at(2).path, d);
        QVERIFY(!tree.isVisible(c, {m_notes, b}));
        // The Notes folder closed leaves only itself.
        QCOMPARE(tree.visibleRows({a, b}).size(), 1);

        QCOMPARE(tree.foldersToReveal(c), (QSet<QString>{m_notes, a, b}));
    }

    void sortOrders_data()
    {
        QTest::addColumn<NotesFileSortMode>("mode");
        QTest::addColumn<QStringList>("expected");
        // old.md 1, pinnedOld.md 2, B.md, a.md, item 10.md and item 2.md share 3, pinnedNew.md 4,
        // new.md 5 (minutes). pinnedOld was pinned last, so it leads the pin list.
        // Views: old.md 3, B.md 1, a.md 1, new.md 1.
        const QStringList tied{"a.md", "B.md", "item 2.md", "item 10.md"};
        QTest::newRow("date: newest first, equal dates by name, case aside, numbers by value")
            << NotesFileSortMode::modificationDate
            << QStringList{"new.md", "pinnedNew.md"} + tied + QStringList{"pinnedOld.md", "old.md"};
        QTest::newRow("pins first: pinned by date, not by pin order, then the rest by date")
            << NotesFileSortMode::pinsFirst
            << QStringList{"pinnedNew.md", "pinnedOld.md", "new.md"} + tied + QStringList{"old.md"};
        QTest::newRow("views: most viewed first, equal counts newest first")
            << NotesFileSortMode::viewCount
            << QStringList{"old.md",       "new.md",    "a.md",       "B.md",
                           "pinnedNew.md", "item 2.md", "item 10.md", "pinnedOld.md"};
    }
    void sortOrders()
    {
        QFETCH(NotesFileSortMode, mode);
        QFETCH(QStringList, expected);
        const QList<std::pair<const char *, int>> files = {
            {"old.md", 1},     {"pinnedOld.md", 2}, {"B.md", 3},         {"a.md", 3},
            {"item 10.md", 3}, {"item 2.md", 3},    {"pinnedNew.md", 4}, {"new.md", 5}};
        for (const auto &[name, at] : files)
            QVERIFY(writeNote(notes(QString::fromUtf8(name)), "x", minute(at)));
        Pins::pinNote(notes("pinnedNew.md"));
        Pins::pinNote(notes("pinnedOld.md"));
        // Counted in separate runs of the application: one run counts a note once.
        for (const char *viewed : {"old.md", "old.md", "old.md", "B.md", "a.md", "new.md"}) {
            ViewCounts::resetCachesForTesting();
            ViewCounts::recordNoteView(notes(viewed));
        }

        QCOMPARE(
            relativeTo(m_notes, NoteOrder::orderNotes(NoteScan::noteItemsInFolder(m_notes), mode)),
            expected);

        // Spelled another way, a note still has its pin and its count (pins and counts are looked
        // up by path for the usual spelling).
        QList<NoteFileItem> respelled = NoteScan::noteItemsInFolder(m_notes);
        for (NoteFileItem &item : respelled)
            item.path.replace(m_notes + u'/', m_notes + QStringLiteral("/./"));
        QStringList again = NoteOrder::orderNotes(respelled, mode);
        again.replaceInStrings(m_notes + QStringLiteral("/./"), m_notes + u'/');
        QCOMPARE(relativeTo(m_notes, again), expected);
    }

    void usableNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        QTest::newRow("plain") << u"会議メモ"_s << true;
        QTest::newRow("inner spaces and dots") << u" v1.2 draft "_s << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("only spaces and line breaks") << u" \n\t　"_s << false;
        QTest::newRow("slash would lead into another folder") << u"a/b"_s << false;
        QTest::newRow("leading dot behind spaces would hide it") << u"  .secret"_s << false;
        QTest::newRow("NUL") << u"a"_s + QChar(u'\0') + u"b"_s << false;
        QTest::newRow("tab where trimming would remove it") << u"a\t"_s << false;
        QTest::newRow("C1 control") << u"a\u009bb"_s << false;
        QTest::newRow("format characters are not controls") << u"a\u200db"_s << true;
    }
    void usableNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, usable);
        QCOMPARE(NoteNaming::isUsableName(name), usable);
    }
    // A new note: a free name counted from the one asked for (a dangling link still holds its
    // name), a header with title and dates, the title as its first line.
    void newNotesGetHeaderTitleAndFreeName()
    {
        QVERIFY(writeNote(notes("a.md")) && writeNote(notes("a (1).md")));
        QCOMPARE(NoteNaming::freeNotePath(m_notes, QStringLiteral("a.md")), notes("a (2).md"));
        QVERIFY(QFile::link(notes("nowhere"), notes("c.txt")));
        QCOMPARE(NoteNaming::freeNotePath(m_notes, QStringLiteral("c.txt")), notes("c (1).txt"));

        QCOMPARE(NotesOperations::createNote(m_notes, u"新しいノート.md"_s).path,
                 notes("新しいノート.md"));
        const auto second = NotesOperations::createNote(m_notes, u" 新しいノート "_s);
        QCOMPARE(second.path, notes("新しいノート (1).md"));
        const QString text = QString::fromUtf8(TestFiles::read(second.path));
        QCOMPARE(text, QStringLiteral(
                           "---\ntitle: \"新しいノート (1)\"\ncreated: \"2025-03-05T09:05:07\"\n"
                           "updated: \"2025-03-05T09:05:07\"\n---\n\n新しいノート (1)\n"));
        QCOMPARE(parseNoteDocument(text).body, QStringLiteral("新しいノート (1)\n"));

        QCOMPARE(NotesOperations::createNote(m_notes, u"../escape"_s).status, Status::refused);
        QVERIFY(!QFile::exists(QFileInfo(m_notes).absolutePath() + QStringLiteral("/escape.md")));
    }
    // A name takes at most 255 bytes of UTF-8, a note's ".md" and the number a taken name gets
    // included: past that, refused with the reason before anything is written.
    void namesOverTheLimitAreRefused()
    {
        const QString fits = QString(84, u'あ'); // 252 bytes, 255 with ".md"
        QCOMPARE(NotesOperations::createNote(m_notes, fits).path, notes(fits + ".md"));
        const auto numbered = NotesOperations::createNote(m_notes, fits);
        QCOMPARE(numbered.status, Status::refused);
        QCOMPARE(numbered.error, NoteNaming::tooLongMessage());
        const QString folder = QString(85, u'あ');
        QVERIFY(NotesOperations::createFolder(m_notes, folder).ok());
        QCOMPARE(NotesOperations::createFolder(m_notes, folder + u'a').status, Status::refused);
        QCOMPARE(NotesOperations::renameFolder(notes(folder), folder + u'a').status,
                 Status::refused);
        QCOMPARE(NotesOperations::renameTarget(notes(fits + ".md"), fits + u'a').status,
                 Status::refused);
        QCOMPARE(QDir(m_notes).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 (QStringList{fits + ".md", folder}));
    }

    void renameNote_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Status>("status");
        QTest::addColumn<QString>("result");

        QTest::newRow("keeps the old extension") << u" idea "_s << Status::done << u"idea.txt"_s;
        QTest::newRow("empty just ends editing") << u"  "_s << Status::nothingToDo << u"memo.txt"_s;
        QTest::newRow("unchanged just ends editing")
            << u"memo"_s << Status::nothingToDo << u"memo.txt"_s;
        QTest::newRow("a taken name is refused") << u"taken"_s << Status::refused << u"memo.txt"_s;
        QTest::newRow("a slash is refused, nothing moves into the subfolder")
            << u"sub/memo"_s << Status::refused << u"memo.txt"_s;
    }
    void renameNote()
    {
        QFETCH(QString, typed);
        QFETCH(Status, status);
        QFETCH(QString, result);
        QVERIFY(writeNote(notes("memo.txt"), "original") && writeNote(notes("taken.txt"), "other"));
        makeFolders({"sub"});

        QCOMPARE(NotesOperations::renameNote(notes("memo.txt"), typed).status, status);
        QCOMPARE(TestFiles::read(notes(result)), QByteArray("original"));
        QCOMPARE(TestFiles::read(notes("taken.txt")), QByteArray("other"));
        QCOMPARE(NoteScan::noteItemsInFolder(notes("sub")).size(), 0);
    }
    // Pins and view counts follow a note renamed or moved, alone or with its folder (in their
    // place among the others), and go with a deleted one: a new note under the old name starts
    // unpinned and unviewed.
    void pinsAndCountsFollowTheNote_data()
    {
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("landed");
        QTest::newRow("note renamed") << u"plan.md"_s << u"計画.md"_s;
        QTest::newRow("note moved") << u"plan.md"_s << u"Projects/plan.md"_s;
        QTest::newRow("folder renamed, name trimmed")
            << u"Old/sub/deep.md"_s << u"New/sub/deep.md"_s;
        QTest::newRow("note deleted") << u"gone.md"_s << QString();
        QTest::newRow("folder deleted") << u"Box/note.md"_s << QString();
    }
    void pinsAndCountsFollowTheNote()
    {
        QFETCH(QString, note);
        QFETCH(QString, landed);
        const QString before = notes(note), keep = notes("keep.md");
        makeFolders({"Projects"});
        for (const QString &path : {keep, before}) {
            QVERIFY(writeNote(path));
            Pins::pinNote(path);
            ViewCounts::recordNoteView(path);
        }
        const QHash<QString, std::function<NotesOperations::Result()>> operations{
            {u"note renamed"_s, [&] { return NotesOperations::renameNote(before, u"計画"_s); }},
            {u"note moved"_s, [&] { return NotesOperations::moveNote(before, notes("Projects")); }},
            {u"folder renamed, name trimmed"_s,
             [&] { return NotesOperations::renameFolder(notes("Old"), u" New "_s); }},
            {u"note deleted"_s, [&] { return NotesOperations::deleteNote(before); }},
            {u"folder deleted"_s,
             [&] { return NotesOperations::deleteFolder(notes("Box"), m_notes); }}};
        QVERIFY(operations.value(QString::fromUtf8(QTest::currentDataTag()))().ok());
        QVERIFY(!QFile::exists(before));

        QVERIFY(writeNote(before));
        QStringList pinned{keep};
        QHash<QString, int> counts{{before, 0}, {keep, 1}};
        if (!landed.isEmpty()) {
            QVERIFY(QFile::exists(notes(landed)));
            pinned.prepend(notes(landed));
            counts.insert(notes(landed), 1);
        }
        QCOMPARE(Pins::pinnedFiles(counts.keys()), pinned);
        QCOMPARE(ViewCounts::viewCounts(counts.keys()), counts);
    }
    // Each operation of the page is announced once it happened, and only then; pins and counts
    // follow a folder's notes, not those of a sibling whose name starts alike.
    void everyOperationIsAnnounced()
    {
        const QString base = QFileInfo(m_notes).absolutePath();
        QVERIFY(writeNote(notes("Old/sub/deep.md"), "deep\n"));
        QVERIFY(writeNote(notes("Older/x.md")));
        QVERIFY(writeNote(notes("Box/inner.md")));
        makeFolders({"Empty"});
        for (const char *name : {"Old/sub/deep.md", "Older/x.md", "Box/inner.md"}) {
            Pins::pinNote(notes(QString::fromUtf8(name)));
            ViewCounts::recordNoteView(notes(QString::fromUtf8(name)));
        }
        NoteChangeRecorder changes;

        QVERIFY(NotesOperations::createFolder(m_notes, u"新規"_s).ok());
        const QString created = NotesOperations::createNote(notes("新規"), u"案"_s).path;
        QVERIFY(NotesOperations::renameNote(created, u"企画"_s).ok());
        QVERIFY(NotesOperations::moveNote(notes("新規/企画.md"), m_notes).ok());
        QCOMPARE(NotesOperations::renameFolder(notes("Old"), u"Empty"_s).status, Status::failed);
        QVERIFY(NotesOperations::renameFolder(notes("Old"), u"New"_s).ok());
        QVERIFY(NotesOperations::deleteNote(notes("企画.md")).ok());
        QCOMPARE(NotesOperations::deleteNote(notes("企画.md")).status, Status::failed);
        QVERIFY(NotesOperations::deleteFolder(notes("Box"), m_notes).ok());

        QCOMPARE(changes.take(base),
                 (QStringList{u"folderCreated Notes/新規"_s, u"created Notes/新規/案.md"_s,
                              u"moved Notes/新規/案.md -> Notes/新規/企画.md"_s,
                              u"moved Notes/新規/企画.md -> Notes/企画.md"_s,
                              u"folderMoved Notes/Old -> Notes/New"_s,
                              u"deleted Notes/企画.md | "_s + NotesOperations::newNoteText(u"案"_s),
                              u"folderDeleted Notes/Box"_s}));
        QVERIFY(QFileInfo(notes("Empty")).isDir());
        QVERIFY(QDir(notes("Empty")).isEmpty());
        QCOMPARE(Pins::pinnedPaths(), (QStringList{notes("Older/x.md"), notes("New/sub/deep.md")}));
        QCOMPARE(ViewCounts::viewCountsByPath(),
                 (QHash<QString, int>{{notes("New/sub/deep.md"), 1}, {notes("Older/x.md"), 1}}));
    }
    // Folder operations stay inside the Notes folder, take trimmed usable names only and never
    // replace an existing folder.
    void folderOperationsAreChecked()
    {
        const QString outside = PathManager::dataFolderPath();
        makeFolders({"real/x", "Other/keep"});
        QVERIFY(QFile::link(QFileInfo(m_notes).absolutePath(), notes("link")));
        for (const QString &folder : {m_notes, outside, notes("link"), notes("../Notes")})
            QCOMPARE(NotesOperations::deleteFolder(folder, m_notes).status, Status::refused);
        QVERIFY(QFileInfo(outside).isDir());

        const auto created = NotesOperations::createFolder(m_notes, u"  新しいフォルダ "_s);
        QCOMPARE(created.path, notes("新しいフォルダ"));
        QVERIFY(QFileInfo(created.path).isDir());
        QCOMPARE(NotesOperations::createFolder(m_notes, u"新しいフォルダ"_s).status,
                 Status::failed);
        QCOMPARE(NotesOperations::createFolder(m_notes, u"a/b"_s).status, Status::refused);
        QCOMPARE(NotesOperations::renameFolder(created.path, u".hidden"_s).status, Status::refused);
        QCOMPARE(NotesOperations::renameFolder(created.path, u"Other"_s).status, Status::failed);
        QCOMPARE(relativeTo(m_notes, NoteScan::collectFolders(m_notes)),
                 (QStringList{".", "Other", "Other/keep", "real", "real/x", "新しいフォルダ"}));

        QVERIFY(NotesOperations::deleteFolder(notes("real"), m_notes).ok());
        QVERIFY(!QFileInfo::exists(notes("real")));
    }

    // rename(2) replaces an empty folder: a folder renamed, or a note moved, to a name an empty
    // folder has must leave that folder as it is, also where the file system has no renameat2.
    void emptyFolderOfTheNameStays_data()
    {
        QTest::addColumn<bool>("renameat2");
        QTest::newRow("renameat2") << true;
        QTest::newRow("no renameat2 on this file system") << false;
    }
    void emptyFolderOfTheNameStays()
    {
        QFETCH(bool, renameat2);
        makeFolders({"Old/inner", "Empty", "Projects/plan.md"});
        const QString note = notes("plan.md");
        QVERIFY(TestFiles::write(note, "plan\n"));
        const SystemCallFaults::Guard faults;
        NotesOperations::Result renamed;
        NotesOperations::Result moved;
        {
            if (!renameat2)
                SystemCallFaults::failNth(SystemCallFaults::Call::renameat2, 1, EINVAL);
            renamed = NotesOperations::renameFolder(notes("Old"), u"Empty"_s);
            if (!renameat2)
                SystemCallFaults::failNth(SystemCallFaults::Call::renameat2, 1, EINVAL);
            moved = NotesOperations::moveNote(note, notes("Projects"));
        }
        QCOMPARE(renamed.status, Status::failed);
        QCOMPARE(moved.path, notes("Projects/plan (1).md"));
        QCOMPARE(relativeTo(m_notes, NoteScan::collectFolders(m_notes)),
                 (QStringList{".", "Empty", "Old", "Old/inner", "Projects", "Projects/plan.md"}));
        QCOMPARE(TestFiles::read(moved.path), QByteArray("plan\n"));
    }

private:
    QString notes(const QString &relative = {}) const
    {
        return relative.isEmpty() ? m_notes : m_notes + u'/' + relative;
    }
    void makeFolders(const QStringList &relative) const
    {
        for (const QString &folder : relative)
            QDir().mkpath(notes(folder));
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FixedClock> m_clock;
    QString m_notes;
};

QTEST_GUILESS_MAIN(TestNotesLogic)
#include "tst_noteslogic.moc"
