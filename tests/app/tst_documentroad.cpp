// A randomized, model-based test of the document road: seeded sequences of what a user (and
// other programs) do, run against the real content view with real widgets, and checked after
// every step against a plain model of what every file and the editor must hold.
// QUILLMERE_ROAD_STEPS sets the steps per seed (default 400), QUILLMERE_ROAD_SEEDS the seeds
// (default 8); QUILLMERE_ROAD_SEED runs one seed. A failure prints its seed and its steps.

#include "common/heldfolderlock.h"
#include "common/systemcallfaults.h"
#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "app/contentview.h"
#include "calendar/calendarview.h"
#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "editor/notetextedit.h"
#include "notes/notesoperations.h"
#include "notes/notesview.h"
#include "platform/clock.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"
#include "storage/recovery.h"

#include <QAbstractButton>
#include <QDirIterator>
#include <QInputMethodEvent>
#include <QMainWindow>
#include <QRandomGenerator>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

/// The note's body; empty when there is no such file.
QString bodyOf(const QString &path)
{
    return parseNoteDocument(QString::fromUtf8(TestFiles::read(path))).body;
}

/// The header's lines as written, but for the dates of creation and update, which come from the
/// clock and the file system; empty when there is no header (or no file).
QStringList headerOf(const QString &path)
{
    QStringList lines = parseNoteDocument(QString::fromUtf8(TestFiles::read(path)))
                            .obsidian.value_or(NoteFrontMatter{})
                            .lines;
    lines.removeIf([](const QString &line) {
        return line.startsWith(u"created:"_s) || line.startsWith(u"updated:"_s);
    });
    return lines;
}

/// `header` as a save of `path` writes it: titled after the file, every other line kept.
QStringList titled(QStringList header, const QString &path)
{
    const QString name = QFileInfo(path).completeBaseName();
    const auto title = std::find_if(header.begin(), header.end(), [](const QString &line) {
        return line.startsWith(u"title:"_s);
    });
    if (title == header.end())
        header.prepend(u"title: "_s + quoteValue(name));
    else if (unquoteValue(QStringView(*title).sliced(6)) != name)
        *title = u"title: "_s + quoteValue(name);
    return header;
}

/// Writes past a few bytes fail with EFBIG while it lives: a full disk, without root.
class FullDisk
{
public:
    FullDisk()
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        const rlimit small{16, m_saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FullDisk() { setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved{};
};

/// What the files and the editor must hold.
struct Model
{
    QMap<QString, QString> disk; ///< every note and memo there is: path → body
    QMap<QString, QStringList> headers; ///< path → header lines (see headerOf)
    QString docPath;             ///< the open document ("" for none)
    bool onDisk = false;         ///< the open document's file was there when last loaded or saved
    QString editor;              ///< what the editor shows
    QString base;                ///< the body as last loaded or saved
    QStringList baseHeader;      ///< the header as last loaded or saved
    QString theirLine;           ///< the line another program appended since, if that is all
    std::optional<QString> declined; ///< the body on disk the user chose not to take
    QStringList recoveryFiles;
};

class Road
{
public:
    Road(quint32 seed, TestEnvironment &env) : m_random(seed), m_env(env) {}
    ~Road() { stop(); }

    const QStringList &log() const { return m_log; }
    const QString &failure() const { return m_failure; }

    bool run(int steps)
    {
        m_base = m_env.useBaseFolder();
        for (const QString &name : {u"a.md"_s, u"work/b.md"_s}) {
            const QString path = m_base + u"/Notes/"_s + name;
            TestFiles::write(path, "---\ntitle: \"x\"\n---\n\n- [ ] one\ntwo\n");
            m_model.disk.insert(path, u"- [ ] one\ntwo\n"_s);
            m_model.headers.insert(path, {u"title: \"x\""_s});
        }
        m_clock = std::make_unique<FixedClock>(
            QDateTime(QDate(2025, 3, 5), QTime(9, 0), QTimeZone("Asia/Tokyo")),
            QTimeZone("Asia/Tokyo"));
        Clock::setCurrent(m_clock.get());
        start();
        // Each step with how often it comes.
        using Step = void (Road::*)();
        // clang-format off
        const std::pair<Step, int> table[] = {
            {&Road::type, 30}, {&Road::compose, 4}, {&Road::switchDay, 8}, {&Road::switchPage, 6},
            {&Road::openNote, 8}, {&Road::createNote, 3}, {&Road::renameNote, 3},
            {&Road::moveNote, 2}, {&Road::deleteNote, 2}, {&Road::toggleCheckbox, 4},
            {&Road::save, 5}, {&Road::autosave, 4}, {&Road::otherProgramWrites, 8},
            {&Road::activate, 4}, {&Road::failedWrite, 4}, {&Road::lockedSave, 3},
            {&Road::restart, 2}};
        // clang-format on
        int total = 0;
        for (const auto &entry : table)
            total += entry.second;
        for (int i = 0; i < steps && check(); ++i) {
            int roll = int(m_random.bounded(total));
            const auto chosen =
                std::find_if(std::begin(table), std::end(table),
                             [&roll](const auto &entry) { return (roll -= entry.second) < 0; });
            (this->*chosen->first)();
        }
        return check();
    }

private:
    void start()
    {
        m_memo = std::make_unique<MemoManager>();
        m_memo->setMessageDurationForTesting(1);
        m_window = std::make_unique<QMainWindow>();
        m_view = new ContentView(*m_memo, m_window.get());
        m_view->setExternalChangePrompt([this](QWidget *) {
            m_prompted = true;
            return m_promptAnswer;
        });
        m_view->setDiscardPrompt([](QWidget *) { return true; });
        m_window->setCentralWidget(m_view);
        m_window->resize(1000, 600);
        m_window->show();
        m_view->appear();
        modelLoad(m_memo->currentFilePath());
    }

    void stop()
    {
        if (!m_window)
            return;
        m_window->hide();
        m_window.reset();
        m_memo.reset();
    }

    QString pick(const QStringList &from)
    {
        return from.at(m_random.bounded(qsizetype(from.size())));
    }
    QString pick(const QString &choices) { return pick(choices.split(u'|')); }

    QString daily(const QDate &date) const
    {
        return m_base + u"/Daily/"_s + date.toString(Qt::ISODate) + u".txt"_s;
    }
    NoteTextEdit *textEdit() const { return m_view->editorView()->editor()->textEdit(); }
    bool editable() const { return !m_model.docPath.isEmpty() && !textEdit()->isReadOnly(); }
    bool onPage(ContentView::Page page) const { return m_view->selectedPage() == page; }
    bool noteOpen() const { return m_model.docPath.contains(u"/Notes/"_s); }

    /// The notes in the model, conflict copies aside.
    QStringList notes() const
    {
        QStringList result = m_model.disk.keys().filter(u"/Notes/"_s);
        result.removeIf([](const QString &path) { return path.contains(u"競合"_s); });
        return result;
    }

    void modelLoad(const QString &path)
    {
        m_opened = path != m_model.docPath;
        m_model.docPath = path;
        m_model.onDisk = m_model.disk.contains(path);
        m_model.editor = m_model.base = path.isEmpty() ? QString() : m_model.disk.value(path);
        m_model.baseHeader = m_model.headers.value(path);
        m_model.theirLine.clear();
        m_model.declined.reset();
    }

    /// The model's side of a save; `succeeded` is what the program reported.
    void modelSave(bool succeeded)
    {
        const QString &path = m_model.docPath;
        if (!succeeded || path.isEmpty() || m_model.editor == m_model.base)
            return;
        // Written, written back, or kept as the other program's file beside a conflict copy.
        m_model.onDisk = true;
        if (!m_model.disk.contains(path) || m_model.disk.value(path) == m_model.base) {
            // The header as loaded, or as it is on disk when that is the same file.
            const QStringList header =
                m_model.disk.contains(path) ? m_model.headers.value(path) : m_model.baseHeader;
            m_model.disk[path] = m_model.base = m_model.editor;
            m_model.headers[path] = m_model.baseHeader = titled(header, path);
            m_model.declined.reset();
            return;
        }
        // Another program changed the file: merged, or kept beside the user's text.
        const QFileInfo info(path);
        QDirIterator it(info.absolutePath(), {info.completeBaseName() + u" (競合 *"_s},
                        QDir::Files);
        QString copy;
        while (it.hasNext()) {
            const QString found = it.next();
            if (!m_model.disk.contains(found))
                copy = found;
        }
        if (!copy.isEmpty()) {
            m_model.disk.insert(copy, m_model.editor);
            // The user's text with the header it was loaded with; the note stays theirs.
            m_model.headers.insert(copy, titled(m_model.baseHeader, path));
            m_model.editor = m_model.base = m_model.disk.value(path);
            m_model.baseHeader = m_model.headers.value(path);
            m_log.append(u"  → conflict copy "_s + info.fileName());
        } else {
            const QString merged = bodyOf(path);
            QString without = merged;
            without.remove(without.lastIndexOf(m_model.theirLine), m_model.theirLine.size());
            if (!m_model.theirLine.isEmpty() && without != m_model.editor)
                fail(QStringLiteral("merge lost text: %1 holds \"%2\"; editor \"%3\", base "
                                    "\"%4\", their line \"%5\"")
                         .arg(path, merged, m_model.editor, m_model.base, m_model.theirLine));
            m_model.disk[path] = m_model.editor = m_model.base = merged;
            // The header now on disk, another program's changes to it included.
            m_model.headers[path] = m_model.baseHeader = titled(m_model.headers.value(path), path);
            m_model.declined.reset();
            m_log.append(u"  → merged"_s);
        }
        m_model.theirLine.clear();
    }

    void type()
    {
        if (!editable())
            return;
        const QString text = pick(u"a|日本語|\n|- [ ] task\n|x y"_s);
        const qsizetype at = m_random.bounded(m_model.editor.size() + 1);
        const bool focused = m_random.bounded(2) == 0;
        m_log.append(u"type %1 at %2, focus %3"_s.arg(text.trimmed()).arg(at).arg(focused));
        (focused ? static_cast<QWidget *>(textEdit()) : m_view->calendarView())->setFocus();
        QTextCursor cursor = textEdit()->textCursor();
        cursor.setPosition(int(at));
        textEdit()->setTextCursor(cursor);
        if (text == u"a")
            QTest::keyClick(textEdit(), Qt::Key_A);
        else
            textEdit()->insertPlainText(text);
        m_model.editor.insert(at, text);
    }

    void compose()
    {
        if (!editable())
            return;
        textEdit()->setFocus();
        const qsizetype at = textEdit()->textCursor().position();
        QInputMethodEvent preedit(u"かんじ"_s, {});
        QCoreApplication::sendEvent(textEdit(), &preedit);
        if (m_random.bounded(2) == 0) {
            m_log.append(u"compose 漢字 at %1"_s.arg(at));
            QInputMethodEvent commit;
            commit.setCommitString(u"漢字"_s);
            QCoreApplication::sendEvent(textEdit(), &commit);
            m_model.editor.insert(at, u"漢字"_s);
            return;
        }
        // Left composing, then another day is chosen: the composition goes with the old text.
        m_log.append(u"compose, then switch day"_s);
        switchDay();
        // When no switch took place, the input method gives up its composition.
        if (textEdit()->isComposing()) {
            QInputMethodEvent cancel;
            QCoreApplication::sendEvent(textEdit(), &cancel);
        }
    }

    void clickButton(QWidget *within, const QString &text, bool checkable = false)
    {
        for (QAbstractButton *button : within->findChildren<QAbstractButton *>()) {
            if (button->text() == text && (!checkable || button->isCheckable()))
                return QTest::mouseClick(button, Qt::LeftButton);
        }
    }

    void switchDay()
    {
        const int offset = int(m_random.bounded(5)) - 2;
        const QDate date = m_view->selectedDate().addDays(offset == 0 ? 1 : offset);
        const QString route = pick(u"grid|明日|昨日"_s);
        m_log.append(u"day %1 by %2"_s.arg(date.toString(Qt::ISODate), route));
        if (!onPage(ContentView::Page::calendar))
            return;
        QDate target = date;
        if (route == u"grid") {
            // What a click on a day of the grid does.
            m_view->calendarView()->setSelectedDate(date);
            Q_EMIT m_view->calendarView()->dateChanged(date);
        } else {
            // The day buttons count from today; the day shown opens nothing.
            const QDate today = m_clock->now().toTimeZone(m_clock->timeZone()).date();
            target = today.addDays(route == u"明日" ? 1 : -1);
            if (target == m_view->selectedDate())
                return;
            clickButton(m_view->calendarView(), route);
        }
        modelSave(true);
        modelLoad(daily(target));
    }

    void switchPage()
    {
        const int page = int(m_random.bounded(3));
        const QString name = u"日付 ノート 検索"_s.split(u' ').at(page);
        m_log.append(u"page "_s + name);
        if (int(m_view->selectedPage()) == page)
            return;
        clickButton(m_view, name, true);
        modelSave(true);
        if (page == int(ContentView::Page::calendar))
            modelLoad(daily(m_view->selectedDate()));
        else if (page == int(ContentView::Page::search))
            modelLoad(m_view->searchSelectedFile());
        else if (!m_view->notesSelectedFile().isEmpty())
            modelLoad(m_view->notesSelectedFile());
    }

    void openNote()
    {
        const QStringList all = notes();
        if (all.isEmpty())
            return;
        const QString path = pick(all);
        const QString route = pick(u"list|hit|quick open"_s);
        m_log.append(u"open %1 by %2"_s.arg(QFileInfo(path).fileName(), route));
        if (route == u"list" && onPage(ContentView::Page::notes))
            m_view->notesFileSelected(path);
        else if (route == u"hit" && onPage(ContentView::Page::search))
            m_view->searchHitSelected(path);
        else if (route == u"quick open")
            m_view->loadDocument(path);
        else
            return;
        modelSave(true);
        modelLoad(path);
    }

    void createNote()
    {
        if (!onPage(ContentView::Page::notes))
            return;
        const QString name = u"new%1"_s.arg(++m_names);
        m_log.append(u"create "_s + name);
        const auto created = NotesOperations::createNote(m_base + u"/Notes"_s, name);
        if (!created.ok())
            return;
        m_model.disk.insert(created.path, bodyOf(created.path));
        m_model.headers.insert(created.path, headerOf(created.path));
        m_view->notesFileSelected(created.path);
        modelSave(true);
        modelLoad(created.path);
    }

    /// The open note's model entry moves to `now`.
    void modelMove(const QString &now)
    {
        m_model.disk.insert(now, m_model.disk.take(m_model.docPath));
        m_model.headers.insert(now, m_model.headers.take(m_model.docPath));
        m_model.docPath = now;
    }

    void renameNote()
    {
        if (!noteOpen())
            return;
        const QString name = u"renamed%1"_s.arg(++m_names);
        m_log.append(u"rename to "_s + name);
        // Renaming saves first; the save is checked on its own, before the file moves.
        modelSave(m_view->saveCurrent());
        if (m_view->renameFromTitle(name))
            modelMove(QFileInfo(m_model.docPath).absolutePath() + u'/' + name + u".md"_s);
    }

    void moveNote()
    {
        if (!noteOpen())
            return;
        const QString old = m_model.docPath;
        const QString folder =
            m_base + (old.contains(u"/work/"_s) ? u"/Notes"_s : u"/Notes/work"_s);
        const QString now = folder + u'/' + QFileInfo(old).fileName();
        // The notes page only offers files that are there.
        if (QFileInfo::exists(now) || !QFileInfo::exists(old))
            return;
        m_log.append(u"move to "_s + folder.section(u'/', -1));
        // What the notes page does: save, move, report.
        Q_EMIT m_view->notesView()->saveRequested();
        modelSave(true);
        QFile::rename(old, now); // a file left behind shows as unexpected
        Q_EMIT m_view->notesView()->openFileMoved(old, now);
        modelMove(now);
    }

    void deleteNote()
    {
        if (!noteOpen())
            return;
        m_log.append(u"delete the open note"_s);
        QFile::remove(m_model.docPath);
        m_view->fileDeleted(m_model.docPath);
        m_model.disk.remove(m_model.docPath);
        m_model.headers.remove(m_model.docPath);
        modelLoad(QString());
    }

    void toggleCheckbox()
    {
        const qint64 line = m_random.bounded(m_model.editor.count(u'\n') + 1);
        m_log.append(u"toggle line %1"_s.arg(line));
        if (!editable())
            return;
        m_view->toggleCheckboxLine(line);
        if (const auto toggled = ContentView::toggledCheckboxText(m_model.editor, line))
            m_model.editor = *toggled;
    }

    void save()
    {
        m_log.append(u"save"_s);
        modelSave(m_view->saveCurrent());
    }

    void autosave()
    {
        m_log.append(u"pause 3 s"_s);
        m_clock->advance(3);
        m_view->autosaveIfDue();
        modelSave(true);
    }

    void otherProgramWrites()
    {
        QStringList targets = notes() + m_model.disk.keys().filter(u"/Daily/"_s);
        if (!m_model.docPath.isEmpty() && m_random.bounded(2) == 0)
            targets = {m_model.docPath};
        if (targets.isEmpty())
            return;
        const QString path = pick(targets);
        const QString how = pick(u"append|rewrite|replace|delete"_s);
        m_log.append(u"other program: %1 %2"_s.arg(how, QFileInfo(path).fileName()));
        const bool open = path == m_model.docPath;
        const QString before = m_model.disk.value(path);
        if (how == u"delete") {
            QFile::remove(path);
            m_model.disk.remove(path);
            m_model.headers.remove(path);
            if (open)
                m_model.theirLine.clear();
            return;
        }
        const QString line = u"外部%1\n"_s.arg(++m_names);
        const bool joined = before.isEmpty() || before.endsWith(u'\n');
        const QString body =
            how == u"append" ? before + (joined ? QString() : u"\n"_s) + line : line;
        // A header line of its own each time: a save after it must keep that one.
        const QString source = u"source: %1"_s.arg(m_names);
        const QByteArray bytes =
            "---\ntitle: \"other\"\n" + source.toUtf8() + "\n---\n\n" + body.toUtf8();
        if (how == u"replace") {
            TestFiles::write(path + u".sync"_s, bytes);
            QFile::remove(path);
            QFile::rename(path + u".sync"_s, path);
        } else {
            TestFiles::write(path, bytes);
        }
        m_model.disk.insert(path, body);
        m_model.headers.insert(path, {u"title: \"other\""_s, source});
        // Only a plain append since the last load keeps the merge checkable line by line.
        const bool plain =
            how == u"append" && m_model.theirLine.isEmpty() && before == m_model.base;
        if (open)
            m_model.theirLine = plain && before.endsWith(u'\n') ? line : QString();
    }

    void activate()
    {
        // Often twice in a row, as when the user goes to another window and comes back.
        const int times = int(m_random.bounded(2)) + 1;
        for (int i = 0; i < times; ++i) {
            m_promptAnswer = m_random.bounded(2) == 0;
            m_prompted = false;
            m_log.append(u"window activated (reload answer: %1)"_s.arg(m_promptAnswer));
            const bool modified = m_memo->isModified();
            const QString path = m_model.docPath;
            // Deleted or moved away by another program: without edits the document closes (the
            // selected day shows its memo empty); with edits the next save writes it back.
            const bool gone = !path.isEmpty() && m_model.onDisk && !m_model.disk.contains(path);
            const bool changed = !path.isEmpty() && m_model.disk.contains(path) &&
                                 m_model.disk.value(path) != m_model.base;
            // Asked only with edits of our own, and never twice about the same text.
            const bool ask = modified && changed && m_model.declined != m_model.disk.value(path);
            m_view->checkExternalChange();
            if (m_prompted != ask)
                fail(ask ? u"not asked about another program's change"_s
                         : u"asked about a change that is no question"_s);
            if (gone && !modified) {
                const bool dayMemo = onPage(ContentView::Page::calendar) &&
                                     path == daily(m_view->selectedDate());
                modelLoad(dayMemo ? path : QString());
                continue;
            }
            if (!changed)
                continue;
            if (!modified || (m_prompted && m_promptAnswer))
                modelLoad(path);
            else if (m_prompted)
                m_model.declined = m_model.disk.value(path);
        }
    }

    void failedWrite()
    {
        m_log.append(u"disk full: save, then switch day"_s);
        const QDate dayBefore = m_view->selectedDate();
        bool saved = false;
        {
            FullDisk full;
            saved = m_view->saveCurrent();
            if (onPage(ContentView::Page::calendar)) {
                m_view->calendarView()->setSelectedDate(dayBefore.addDays(1));
                Q_EMIT m_view->calendarView()->dateChanged(dayBefore.addDays(1));
            }
        }
        if (!m_model.docPath.isEmpty() && m_model.editor != m_model.base) {
            if (saved)
                fail(u"a save on a full disk was reported as done"_s);
            if (m_view->selectedDate() != dayBefore)
                fail(u"switched days after a failed save"_s);
        } else if (onPage(ContentView::Page::calendar)) {
            modelLoad(daily(dayBefore.addDays(1)));
        }
    }

    // Another program holds the folder's lock: the save waits (reported as not done, nothing
    // written, no switch), and goes through once the lock is free.
    void lockedSave()
    {
        m_log.append(u"folder locked by another program: save, then switch day"_s);
        const QDate dayBefore = m_view->selectedDate();
        bool saved = false;
        {
            const QString folder = QFileInfo(m_model.docPath).absolutePath();
            QDir().mkpath(folder);
            const HeldFolderLock held(folder);
            saved = m_view->saveCurrent();
            if (onPage(ContentView::Page::calendar)) {
                m_view->calendarView()->setSelectedDate(dayBefore.addDays(1));
                Q_EMIT m_view->calendarView()->dateChanged(dayBefore.addDays(1));
            }
        }
        if (!m_model.docPath.isEmpty() && m_model.editor != m_model.base) {
            if (saved)
                fail(u"a save under another program's lock was reported as done"_s);
            if (m_view->selectedDate() != dayBefore)
                fail(u"switched days while the save waited for the lock"_s);
            m_log.append(u"  lock released: save"_s);
            modelSave(m_view->saveCurrent());
        } else if (onPage(ContentView::Page::calendar)) {
            modelLoad(daily(dayBefore.addDays(1)));
        }
    }

    void restart()
    {
        // Sometimes the base folder takes no file just then: what is not saved must be kept.
        const bool refusing = m_random.bounded(2) == 0;
        m_log.append(refusing ? u"quit while the base folder takes no file, start again"_s
                              : u"quit and start again"_s);
        {
            const SystemCallFaults::Guard faults;
            if (refusing)
                SystemCallFaults::refuseCreatingIn(m_base, EACCES);
            const bool saved = m_view->saveBeforeExit();
            const bool unsaved = !m_model.docPath.isEmpty() && m_model.editor != m_model.base;
            if (saved == (refusing && unsaved))
                fail(saved ? u"a save into a folder that takes no file was reported as done"_s
                           : u"a save failed"_s);
            if (!saved)
                checkNewRecoveryFile();
            modelSave(saved);
            // Closing the window (which saves again) still under the same conditions.
            stop();
        }
        start();
    }

    /// A recovery file has appeared with the editor's text and the note's path.
    void checkNewRecoveryFile()
    {
        QStringList fresh = Recovery::files();
        fresh.removeIf(
            [this](const QString &file) { return m_model.recoveryFiles.contains(file); });
        if (fresh.size() != 1) {
            fail(u"%1 new recovery files, expected one"_s.arg(fresh.size()));
            return;
        }
        m_model.recoveryFiles.append(fresh.first());
        if (bodyOf(fresh.first()) != m_model.editor ||
            Recovery::notePathOf(fresh.first()) != m_model.docPath)
            fail(u"recovery file %1 holds \"%2\" for %3, expected \"%4\" for %5"_s.arg(
                fresh.first(), bodyOf(fresh.first()), Recovery::notePathOf(fresh.first()),
                m_model.editor, m_model.docPath));
    }

    bool fail(const QString &what)
    {
        if (m_failure.isEmpty())
            m_failure = what;
        return false;
    }

    bool check()
    {
        if (!m_failure.isEmpty())
            return false;
        if (m_memo->currentFilePath() != m_model.docPath)
            return fail(u"open document is %1, expected %2"_s.arg(m_memo->currentFilePath(),
                                                                  m_model.docPath));
        if (m_view->editorText() != m_model.editor)
            return fail(u"editor shows \"%1\", expected \"%2\""_s.arg(m_view->editorText(),
                                                                      m_model.editor));
        if (!m_memo->isModified() && !m_model.docPath.isEmpty() && m_memo->isEditable() &&
            m_model.editor != m_model.disk.value(m_model.docPath, m_model.editor) &&
            m_model.disk.value(m_model.docPath) == m_model.base)
            return fail(u"unsaved edits are not marked modified"_s);
        // Undo stops at the text a document opened with; it never reaches the one before.
        if (std::exchange(m_opened, false) && textEdit()->document()->isUndoAvailable())
            return fail(u"undo reaches the document before"_s);
        for (auto it = m_model.disk.cbegin(); it != m_model.disk.cend(); ++it) {
            const bool there = QFile::exists(it.key());
            if ((there || !it.value().isEmpty()) && bodyOf(it.key()) != it.value())
                return fail(u"%1 holds \"%2\", expected \"%3\" (%4)"_s.arg(
                    it.key(), bodyOf(it.key()), it.value(), there ? u"there"_s : u"missing"_s));
            const QStringList header = m_model.headers.value(it.key());
            if (there && headerOf(it.key()) != header)
                return fail(u"%1 has the header \"%2\", expected \"%3\""_s.arg(
                    it.key(), headerOf(it.key()).join(u" | "_s), header.join(u" | "_s)));
        }
        // Nothing else appears among the notes: no stray temporary files, no unexpected copies.
        for (const QString &folder : {u"/Daily"_s, u"/Notes"_s}) {
            QDirIterator files(m_base + folder, QDir::Files | QDir::Hidden,
                               QDirIterator::Subdirectories);
            while (files.hasNext()) {
                const QString file = files.next();
                if (!m_model.disk.contains(file))
                    return fail(u"unexpected file "_s + file);
            }
        }
        if (Recovery::files().size() != m_model.recoveryFiles.size())
            return fail(u"%1 recovery files, expected %2"_s.arg(Recovery::files().size())
                            .arg(m_model.recoveryFiles.size()));
        return true;
    }

    QRandomGenerator m_random;
    TestEnvironment &m_env;
    QString m_base;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<MemoManager> m_memo;
    std::unique_ptr<QMainWindow> m_window;
    ContentView *m_view = nullptr;
    Model m_model;
    QStringList m_log;
    QString m_failure;
    int m_names = 0;
    bool m_promptAnswer = false;
    bool m_prompted = false;
    bool m_opened = false;
};

} // namespace

class TestDocumentRoad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void randomUserSteps_data()
    {
        QTest::addColumn<quint32>("seed");
        const QByteArray only = qgetenv("QUILLMERE_ROAD_SEED");
        const int seeds = qEnvironmentVariableIntValue("QUILLMERE_ROAD_SEEDS");
        for (int i = 1; i <= (seeds > 0 ? seeds : 8) && only.isEmpty(); ++i)
            QTest::newRow(qPrintable(u"seed %1"_s.arg(i))) << quint32(i);
        if (!only.isEmpty())
            QTest::newRow(only.constData()) << only.toUInt();
    }

    void randomUserSteps()
    {
        QFETCH(quint32, seed);
        const int steps = qEnvironmentVariableIntValue("QUILLMERE_ROAD_STEPS");
        TestEnvironment env;
        Road road(seed, env);
        if (road.run(steps > 0 ? steps : 400))
            return;
        QString report = u"seed %1 failed: %2\nsteps:\n"_s.arg(seed).arg(road.failure());
        for (qsizetype i = 0; i < road.log().size(); ++i)
            report += u"%1. %2\n"_s.arg(i + 1).arg(road.log()[i]);
        QFAIL(qPrintable(report));
    }
};

QTEST_MAIN(TestDocumentRoad)
#include "tst_documentroad.moc"
