#include "common/testenvironment.h"
#include "notes/notestestutil.h"

#include "notes/notesbrowser.h"
#include "notes/notessettings.h"
#include "platform/appevents.h"
#include "platform/settingsstore.h"
#include "storage/pins.h"
#include "storage/sortmode.h"
#include "storage/viewcounts.h"

#include <QSignalSpy>
#include <QTest>

using namespace NotesTestUtil;

class TestNotesBrowser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_base = m_env->useBaseFolder();
        m_notes = PathManager::notesFolderPath();
    }
    void cleanup() { m_env.reset(); }

    void firstRunExpandsParentsThenUsesStoredSet()
    {
        QDir().mkpath(notes("a/b/c"));
        QDir().mkpath(notes("d"));
        const QSet<QString> parents{m_notes, notes("a"), notes("a/b")};
        {
            auto browser = shownBrowser();
            QCOMPARE(browser->expandedFolderPaths(), parents);
            browser->toggleExpanded(notes("a"));
            browser->toggleExpanded(notes("d")); // a leaf: nothing to toggle
        }
        QDir(notes("a/b")).removeRecursively();
        QDir().mkpath(notes("d/e"));
        auto browser = shownBrowser();
        // Stored set used as is (d stays closed, a stays closed); the vanished a/b is pruned.
        QCOMPARE(browser->expandedFolderPaths(), QSet<QString>{m_notes});
        QCOMPARE(NotesSettings::expandedFolderPaths(), QSet<QString>{m_notes});
    }
    void selectionIsRestoredOnFirstShow()
    {
        const QString folder = notes("Work"), note = notes("Work/plan.md");
        const QString other = notes("Work/other.md");
        QVERIFY(writeNote(note) && writeNote(other) && writeNote(notes("B/theirs.md")));
        QDir().mkpath(notes("Work/inner"));
        NotesSettings::saveLastSelectedFolder(folder);
        NotesSettings::saveLastFileInFolder(note, folder);

        NotesBrowser browser;
        QSignalSpy selected(&browser, &NotesBrowser::fileSelected);
        browser.setPageVisible(true);
        QCOMPARE(browser.selectedFolder(), folder);
        QCOMPARE(selected, QList<QVariantList>{{note}});
        QCOMPARE(browser.notes().size(), 2);
        QVERIFY(browser.expandedFolderPaths().contains(folder));

        browser.setPageVisible(false);
        browser.setPageVisible(true);
        QCOMPARE(selected.count(), 1);

        // A click on the open note opens nothing again, but is still a view.
        browser.setSelectedFile(other);
        browser.selectFile(other);
        QCOMPARE(selected.count(), 1);
        QCOMPARE(ViewCounts::viewCounts({other}).value(other), 1);
        // A note of another folder (opened from search) is not remembered for this one; a
        // remembered note that is gone is not reopened.
        browser.setSelectedFile(notes("B/theirs.md"));
        QCOMPARE(NotesSettings::lastFileInFolder(folder), other);
        QVERIFY(QFile::remove(other));
        browser.selectFolder(notes("B"));
        browser.selectFolder(folder);
        QCOMPARE(selected.count(), 1);
    }
    void staleOrForeignSelectionIsIgnored()
    {
        // The last folder is gone, and "selectedFolder", shared by all base folders, names a
        // folder of another base folder.
        const QString foreign = m_env->makeFolder(QStringLiteral("other/Notes/Elsewhere"));
        NotesSettings::saveLastSelectedFolder(notes("Deleted"));
        NotesSettings::saveSelectedFolder(foreign);
        auto browser = shownBrowser();
        QVERIFY(browser->isAllNotesSelected());
    }
    void selectionFollowsBaseFolderChanges()
    {
        const QString folderA = notes("A"), noteA = notes("A/a.md");
        QVERIFY(writeNote(noteA));
        QDir().mkpath(notes("X/Y"));
        auto browser = shownBrowser();
        QSignalSpy selected(browser.get(), &NotesBrowser::fileSelected);
        browser->selectFolder(folderA);
        browser->selectFile(noteA);

        const QString baseB = m_env->makeFolder(QStringLiteral("baseB"));
        QVERIFY(writeNote(baseB + "/Notes/b.md"));
        PathManager::setBaseFolder(baseB);
        // Nothing remembered for B: its Notes folder itself is selected.
        QCOMPARE(browser->selectedFolder(), baseB + "/Notes");
        QCOMPARE(browser->notes(), QStringList{baseB + "/Notes/b.md"});
        QCOMPARE(selected.count(), 1);

        PathManager::setBaseFolder(m_base);
        QCOMPARE(browser->selectedFolder(), folderA);
        // Folders opened here stay open while another base folder was shown.
        QVERIFY(browser->expandedFolderPaths().contains(notes("X")));
        QCOMPARE(selected.count(), 2);
        QCOMPARE(selected.last(), QVariantList{noteA});

        // A hidden page waits for its next showing before it opens the note again.
        browser->setPageVisible(false);
        PathManager::setBaseFolder(baseB);
        PathManager::setBaseFolder(m_base);
        browser->setSelectedFile(QString()); // the owner opened something else meanwhile
        QCOMPARE(selected.count(), 2);
        browser->setPageVisible(true);
        QCOMPARE(selected.count(), 3);
        QCOMPARE(selected.last(), QVariantList{noteA});
    }
    void sortModeIsStoredAndFollowed()
    {
        QVERIFY(writeNote(notes("old.md"), "x", minute(1)) &&
                writeNote(notes("new.md"), "x", minute(2)));
        Pins::pinNote(notes("old.md"));
        auto browser = shownBrowser();
        QCOMPARE(relativeTo(m_notes, browser->notes()), (QStringList{"old.md", "new.md"}));

        QSignalSpy changed(browser.get(), &NotesBrowser::sortModeChanged);
        browser->setSortMode(NotesFileSortMode::modificationDate);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(SettingsStore::instance().string(QStringLiteral("notesFileSortMode")),
                 QStringLiteral("modificationDate"));
        QCOMPARE(relativeTo(m_notes, browser->notes()), (QStringList{"new.md", "old.md"}));
    }
    // Renamed, or dragged onto a folder that has a note of its name: the open note is saved
    // first (the owner writes wherever the note is at that moment), lands under a free name
    // and stays open.
    void movingTheOpenNoteSavesItFirst_data()
    {
        QTest::addColumn<bool>("dropped");
        QTest::addColumn<QString>("landed");
        QTest::newRow("renamed") << false << QStringLiteral("final.md");
        QTest::newRow("dropped") << true << QStringLiteral("Inbox/n (1).md");
    }
    void movingTheOpenNoteSavesItFirst()
    {
        QFETCH(bool, dropped);
        QFETCH(QString, landed);
        const QString note = notes("n.md"), target = notes("Inbox");
        QVERIFY(writeNote(note, "old text") && writeNote(notes("Inbox/n.md"), "resident"));
        auto browser = shownBrowser(); // "すべて": the dragged note is known by its path
        browser->setSelectedFile(note);
        connect(browser.get(), &NotesBrowser::saveRequested, this,
                [&] { QVERIFY(writeNote(browser->selectedFile(), "edited")); });
        QSignalSpy saves(browser.get(), &NotesBrowser::saveRequested);
        QSignalSpy moved(browser.get(), &NotesBrowser::openFileMoved);
        QSignalSpy posted(&AppEvents::instance(), &AppEvents::fileMoved);

        browser->beginDrag(note);
        QVERIFY((dropped ? browser->moveNote(note, target)
                         : browser->renameNote(note, QStringLiteral("final")))
                    .ok());
        browser->endDrag();
        QCOMPARE(TestFiles::read(notes(landed)), QByteArray("edited"));
        QVERIFY(!QFile::exists(note));
        QCOMPARE(TestFiles::read(notes("Inbox/n.md")), QByteArray("resident"));
        QCOMPARE(moved, (QList<QVariantList>{{note, notes(landed)}}));
        QCOMPARE(browser->selectedFile(), notes(landed));
        QVERIFY(browser->notes().contains(notes(landed)) && !browser->notes().contains(note));
        QTRY_COMPARE(posted.count(), 1);

        // Onto its own folder: nothing, not even a save.
        saves.clear();
        QCOMPARE(browser->moveNote(notes(landed), QFileInfo(notes(landed)).absolutePath()).status,
                 NotesOperations::Result::Status::nothingToDo);
        QCOMPARE(saves.count(), 0);
    }
    void folderRenameTakesOpenNoteSelectionAndExpansionAlong()
    {
        const QString oldFolder = notes("Proj/sub"), oldNote = notes("Proj/sub/n.md");
        QVERIFY(writeNote(oldNote, "saved"));
        QDir().mkpath(notes("Proj/sub/deeper"));
        auto browser = shownBrowser();
        browser->selectFolder(oldFolder);
        browser->selectFile(oldNote);
        bool folderExistedAtSave = false;
        connect(browser.get(), &NotesBrowser::saveRequested, this,
                [&] { folderExistedAtSave = QFileInfo(oldFolder).isDir(); });
        QSignalSpy moved(browser.get(), &NotesBrowser::openFileMoved);

        QVERIFY(browser->renameFolder(notes("Proj"), QStringLiteral("Work")).ok());
        const QString newFolder = notes("Work/sub"), newNote = notes("Work/sub/n.md");
        QVERIFY(folderExistedAtSave);
        QCOMPARE(moved, (QList<QVariantList>{{oldNote, newNote}}));
        QCOMPARE(browser->selectedFile(), newNote);
        QCOMPARE(browser->selectedFolder(), newFolder);
        QCOMPARE(browser->notes(), QStringList{newNote});
        QVERIFY(browser->expandedFolderPaths().contains(notes("Work")) &&
                browser->expandedFolderPaths().contains(newFolder));
        QCOMPARE(NotesSettings::lastFileInFolder(newFolder), newNote);
        QCOMPARE(NotesSettings::lastSelectedFolder(m_notes), newFolder);

        // The Notes folder itself is never renamed.
        QCOMPARE(browser->renameFolder(m_notes, QStringLiteral("x")).status,
                 NotesOperations::Result::Status::refused);
    }
    // The open note goes, alone or with its folder.
    void deletingClosesTheOpenNote_data()
    {
        QTest::addColumn<bool>("wholeFolder");
        QTest::newRow("the note") << false;
        QTest::newRow("its folder") << true;
    }
    void deletingClosesTheOpenNote()
    {
        QFETCH(bool, wholeFolder);
        const QString note = notes("Box/inner/n.md");
        QVERIFY(writeNote(note) && writeNote(notes("keep.md")));
        auto browser = shownBrowser();
        browser->selectFolder(notes("Box/inner"));
        browser->selectFile(note);
        QSignalSpy saves(browser.get(), &NotesBrowser::saveRequested);
        QSignalSpy deleted(browser.get(), &NotesBrowser::fileDeleted);

        QVERIFY(
            (wholeFolder ? browser->deleteFolder(notes("Box")) : browser->deleteNote(note)).ok());
        QVERIFY(!QFile::exists(note));
        if (!wholeFolder)
            QCOMPARE(saves.count(), 0); // the deleted note must not be written back
        QCOMPARE(deleted, QList<QVariantList>{{note}});
        QCOMPARE(browser->selectedFile(), QString());
        QCOMPARE(browser->isAllNotesSelected(), wholeFolder);
        QCOMPARE(browser->notes(), wholeFolder ? QStringList{notes("keep.md")} : QStringList());
        QCOMPARE(browser->expandedFolderPaths().contains(notes("Box")), !wholeFolder);
    }
    void newNoteIsSelectedWhereItIsListed_data()
    {
        QTest::addColumn<QString>("selectedBefore");
        QTest::addColumn<QString>("selectedAfter");
        QTest::newRow("from すべて: stays on すべて, where the note is listed too") << ""
                                                                                    << "";
        QTest::newRow("from another folder: the target folder is selected") << "Other"
                                                                            << "Target";
        QTest::newRow("in the selected folder") << "Target"
                                                << "Target";
    }
    void newNoteIsSelectedWhereItIsListed()
    {
        QFETCH(QString, selectedBefore);
        QFETCH(QString, selectedAfter);
        QDir().mkpath(notes("Other"));
        QDir().mkpath(notes("Target"));
        auto browser = shownBrowser();
        browser->selectFolder(selectedBefore.isEmpty() ? QString() : notes(selectedBefore));
        QSignalSpy selected(browser.get(), &NotesBrowser::fileSelected);
        QSignalSpy posted(&AppEvents::instance(), &AppEvents::fileMoved);

        const auto created = browser->createNote(notes("Target"), QStringLiteral("idea"));
        QCOMPARE(created.path, notes("Target/idea.md"));
        QCOMPARE(browser->selectedFolder(),
                 selectedAfter.isEmpty() ? QString() : notes(selectedAfter));
        QVERIFY(browser->notes().contains(created.path));
        QCOMPARE(selected.count(), 0); // selected on the next turn of the event loop
        QTRY_COMPARE(selected, QList<QVariantList>{{created.path}});
        QCOMPARE(browser->selectedFile(), created.path);
        QCOMPARE(posted.count(), 1);
    }
    void savedMemoRefreshesTheList()
    {
        auto browser = shownBrowser();
        QVERIFY(writeNote(notes("late.md")));
        QCOMPARE(browser->notes(), QStringList());
        AppEvents::instance().postMemoSaved();
        AppEvents::instance().postFileMoved();
        QTRY_COMPARE(browser->notes(), QStringList{notes("late.md")});

        // While the page is hidden the reload waits for the next showing.
        browser->setPageVisible(false);
        QVERIFY(writeNote(notes("later.md")));
        AppEvents::instance().postMemoSaved();
        QTest::qWait(20);
        QCOMPARE(browser->notes().size(), 1);
        browser->setPageVisible(true);
        QCOMPARE(browser->notes().size(), 2);
    }

private:
    QString notes(const QString &relative = {}) const
    {
        return relative.isEmpty() ? m_notes : m_notes + u'/' + relative;
    }
    /// A browser shown as the page is on start.
    std::unique_ptr<NotesBrowser> shownBrowser()
    {
        auto browser = std::make_unique<NotesBrowser>();
        browser->setPageVisible(true);
        return browser;
    }

    std::unique_ptr<TestEnvironment> m_env;
    QString m_base;
    QString m_notes;
};

QTEST_GUILESS_MAIN(TestNotesBrowser)
#include "tst_notesbrowser.moc"
