#include "notes/notesbrowser.h"

#include "notes/notenaming.h"
#include "notes/noteorder.h"
#include "notes/notescan.h"
#include "notes/notessettings.h"
#include "platform/appevents.h"
#include "storage/pathmanager.h"
#include "storage/pins.h"
#include "storage/settings.h"
#include "storage/viewcounts.h"
#include <QTimer>

#include <QDir>
#include <QFileInfo>

using NotesSettings::isInsideOrSame;
using Status = NotesOperations::Result::Status;

namespace {

QString currentNotesFolder()
{
    return QDir::cleanPath(PathManager::notesFolderPath());
}

QString parentOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

/// `path` with the leading `from` replaced by `to`; `path` must be `from` or lie inside it.
QString rebased(const QString &path, const QString &from, const QString &to)
{
    return to + path.mid(from.size());
}

} // namespace

NotesBrowser::NotesBrowser(QObject *parent) : QObject(parent)
{
    AppEvents &center = AppEvents::instance();
    connect(&center, &AppEvents::baseFolderChanged, this, &NotesBrowser::baseFolderChanged);
    connect(&center, &AppEvents::memoSaved, this, &NotesBrowser::scheduleReload);
    connect(&center, &AppEvents::fileMoved, this, &NotesBrowser::scheduleReload);
    connect(&Settings::instance(), &Settings::notesFileSortModeChanged, this,
            &NotesBrowser::readSortMode);
    m_sortMode = Settings::instance().notesFileSortMode();
}

void NotesBrowser::setPageVisible(bool visible)
{
    m_visible = visible;
    if (!visible)
        return;
    if (!m_appeared) {
        appear();
        return;
    }
    if (m_reselectOnShow) {
        reselectForBaseFolder();
        return;
    }
    if (m_reloadOnShow)
        loadFiles();
}

void NotesBrowser::appear()
{
    m_appeared = true;
    // The mode an older setting implied is stored from now on under the current name.
    Settings &settings = Settings::instance();
    settings.setNotesFileSortMode(settings.notesFileSortMode());
    m_sortMode = settings.notesFileSortMode();
    refreshFolders();
    restoreSelection();
    loadFiles();
}

// ----- Folder tree -----

void NotesBrowser::refreshFolders()
{
    m_tree = FolderTree(NoteScan::collectFolders(currentNotesFolder()));
    const auto stored = NotesSettings::expandedFolderPaths();
    if (stored) {
        m_expanded = *stored;
    } else {
        m_expanded = m_tree.initiallyExpanded();
        NotesSettings::saveExpandedFolderPaths(m_expanded);
    }
    const QSet<QString> kept = m_tree.pruned(m_expanded);
    if (kept.size() != m_expanded.size())
        setExpanded(kept);
    if (!m_selectedFolder.isEmpty())
        reveal(m_selectedFolder);
    Q_EMIT foldersChanged();
}

void NotesBrowser::toggleExpanded(const QString &folder)
{
    if (!m_tree.hasSubfolders(folder))
        return;
    QSet<QString> expanded = m_expanded;
    if (!expanded.remove(folder))
        expanded.insert(folder);
    setExpanded(std::move(expanded));
    Q_EMIT foldersChanged();
}

void NotesBrowser::setExpanded(QSet<QString> expanded)
{
    m_expanded = std::move(expanded);
    NotesSettings::saveExpandedFolderPaths(m_expanded);
}

void NotesBrowser::reveal(const QString &folder)
{
    const QSet<QString> reveal = m_tree.foldersToReveal(folder);
    if (m_expanded.contains(reveal))
        return;
    setExpanded(m_expanded | reveal);
}

// ----- Selection -----

void NotesBrowser::selectFolder(const QString &folder)
{
    if (folder == m_selectedFolder)
        return;
    applySelectedFolder(folder, true);
    loadFiles();
}

void NotesBrowser::applySelectedFolder(const QString &folder, bool reopenLastFile)
{
    const bool changed = folder != m_selectedFolder;
    m_selectedFolder = folder;
    NotesSettings::saveSelectedFolder(folder);
    if (!folder.isEmpty()) {
        NotesSettings::saveLastSelectedFolder(folder);
        const bool wasExpanded = m_expanded.contains(m_tree.foldersToReveal(folder));
        reveal(folder);
        if (!wasExpanded)
            Q_EMIT foldersChanged();
    }
    if (changed)
        Q_EMIT selectedFolderChanged();
    if (!reopenLastFile || folder.isEmpty())
        return;
    // Also when it is selected already: after a base folder change or a page switch the editor
    // may show another document by now.
    if (const auto last = NotesSettings::lastFileInFolder(folder)) {
        changeSelectedFile(*last);
        Q_EMIT fileSelected(*last);
    }
}

void NotesBrowser::restoreSelection()
{
    const QString root = notesFolder();
    if (const auto last = NotesSettings::lastSelectedFolder(root))
        applySelectedFolder(*last, true);
    else if (const auto stored = NotesSettings::storedSelectedFolder(root))
        applySelectedFolder(*stored, true);
    else if (!m_selectedFolder.isEmpty())
        applySelectedFolder(QString(), false);
}

void NotesBrowser::baseFolderChanged()
{
    if (!m_appeared)
        return;
    if (!m_visible) {
        m_reselectOnShow = true;
        return;
    }
    reselectForBaseFolder();
}

void NotesBrowser::reselectForBaseFolder()
{
    m_reselectOnShow = false;
    refreshFolders();
    const QString root = notesFolder();
    applySelectedFolder(NotesSettings::lastSelectedFolder(root).value_or(root), true);
    loadFiles();
}

void NotesBrowser::setSelectedFile(const QString &path)
{
    changeSelectedFile(path);
}

void NotesBrowser::changeSelectedFile(const QString &path)
{
    if (path == m_selectedFile)
        return;
    m_selectedFile = path;
    // Only a note of the selected folder is remembered for it: one opened elsewhere (from the
    // search page, or moved away) would not be in that folder's list when it is restored.
    if (!path.isEmpty() && !m_selectedFolder.isEmpty() && parentOf(path) == m_selectedFolder)
        NotesSettings::saveLastFileInFolder(path, m_selectedFolder);
    Q_EMIT selectedFileChanged();
}

void NotesBrowser::selectFile(const QString &path)
{
    if (path != m_selectedFile) {
        changeSelectedFile(path);
        Q_EMIT fileSelected(path);
    }
    ViewCounts::recordNoteView(path);
    if (m_sortMode == NotesFileSortMode::viewCount)
        scheduleReload();
}

// ----- Note list -----

void NotesBrowser::readSortMode()
{
    const NotesFileSortMode mode = Settings::instance().notesFileSortMode();
    if (mode == m_sortMode)
        return;
    m_sortMode = mode;
    Q_EMIT sortModeChanged();
    loadFiles();
}

void NotesBrowser::setSortMode(NotesFileSortMode mode)
{
    Settings::instance().setNotesFileSortMode(mode);
}

void NotesBrowser::loadFiles()
{
    m_reloadPending = false;
    m_reloadOnShow = false;
    QList<NoteFileItem> items =
        m_tagFilter                  ? NoteScan::collectAllNoteItems(PathManager::baseFolderPath())
        : m_selectedFolder.isEmpty() ? NoteScan::collectAllNoteItems(currentNotesFolder())
                                     : NoteScan::noteItemsInFolder(m_selectedFolder);
    if (m_tagFilter)
        items.removeIf(
            [this](const NoteFileItem &item) { return !m_tagFilter->contains(item.path); });
    // Moved, not copied: ordering sorts the list, and a shared one would be copied first.
    m_notes = NoteOrder::orderNotes(std::move(items), m_sortMode);
    Q_EMIT notesChanged();
}

void NotesBrowser::setTagFilter(std::optional<QSet<QString>> notes)
{
    m_tagFilter = std::move(notes);
    loadFiles();
}

void NotesBrowser::scheduleReload()
{
    if (!m_visible) {
        m_reloadOnShow = m_appeared;
        return;
    }
    if (m_reloadPending)
        return;
    m_reloadPending = true;
    QTimer::singleShot(0, this, [this] {
        if (m_reloadPending)
            loadFiles();
    });
}

bool NotesBrowser::isPinned(const QString &note) const
{
    return Pins::isPinned(note);
}

void NotesBrowser::togglePin(const QString &note)
{
    if (Pins::isPinned(note))
        Pins::unpinNote(note);
    else
        Pins::pinNote(note);
    Q_EMIT pinsChanged();
    loadFiles();
}

// ----- Operations -----

NotesOperations::Result NotesBrowser::createNote(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return {};
    const NotesOperations::Result result = NotesOperations::createNote(folder, name);
    if (!result.ok())
        return result;
    // The new note must be in the list it is selected in.
    if (!m_selectedFolder.isEmpty() && m_selectedFolder != folder)
        applySelectedFolder(folder, false);
    loadFiles();
    QTimer::singleShot(0, this, [this, path = result.path] {
        changeSelectedFile(path);
        Q_EMIT fileSelected(path);
        AppEvents::instance().postFileMoved();
        Q_EMIT noteCreated(path);
    });
    return result;
}

NotesOperations::Result NotesBrowser::renameNote(const QString &note, const QString &baseName)
{
    if (const auto planned = NotesOperations::renameTarget(note, baseName); !planned.ok())
        return planned;
    Q_EMIT saveRequested();
    const NotesOperations::Result result = NotesOperations::renameNote(note, baseName);
    if (!result.ok())
        return result;
    loadFiles();
    if (m_selectedFile == note) {
        changeSelectedFile(result.path);
        Q_EMIT openFileMoved(note, result.path);
    }
    AppEvents::instance().postFileMoved();
    return result;
}

NotesOperations::Result NotesBrowser::moveNote(const QString &note, const QString &targetFolder)
{
    // The note arrives as a path in drag data: only a listed note going to a listed folder of
    // this Notes folder is moved.
    const QFileInfo info(note);
    if (!info.isFile() || !NoteScan::isNoteFileName(info.fileName()) ||
        !isInsideOrSame(note, notesFolder()) || !m_tree.contains(targetFolder) ||
        parentOf(note) == targetFolder)
        return {};
    Q_EMIT saveRequested();
    const NotesOperations::Result result = NotesOperations::moveNote(note, targetFolder);
    if (!result.ok())
        return result;
    if (m_selectedFile == note) {
        changeSelectedFile(result.path);
        Q_EMIT openFileMoved(note, result.path);
    }
    refreshFolders();
    loadFiles();
    QTimer::singleShot(0, this, [] { AppEvents::instance().postFileMoved(); });
    return result;
}

NotesOperations::Result NotesBrowser::deleteNote(const QString &note)
{
    const bool wasSelected = m_selectedFile == note;
    const NotesOperations::Result result = NotesOperations::deleteNote(note);
    if (!result.ok())
        return result;
    loadFiles();
    if (wasSelected)
        changeSelectedFile(QString());
    Q_EMIT fileDeleted(note);
    return result;
}

NotesOperations::Result NotesBrowser::createFolder(const QString &parent, const QString &name)
{
    const NotesOperations::Result result = NotesOperations::createFolder(parent, name);
    if (!result.ok())
        return result;
    setExpanded(m_expanded | QSet<QString>{parent});
    refreshFolders();
    return result;
}

NotesOperations::Result NotesBrowser::renameFolder(const QString &folder, const QString &name)
{
    if (folder == notesFolder())
        return {Status::refused, {}, {}};
    Q_EMIT saveRequested();
    const NotesOperations::Result result = NotesOperations::renameFolder(folder, name);
    if (!result.ok())
        return result;
    rewriteRenamedFolder(folder, result.path);
    if (isInsideOrSame(m_selectedFile, folder)) {
        const QString oldFile = m_selectedFile;
        changeSelectedFile(rebased(oldFile, folder, result.path));
        Q_EMIT openFileMoved(oldFile, m_selectedFile);
    }
    refreshFolders();
    loadFiles();
    AppEvents::instance().postFileMoved();
    return result;
}

void NotesBrowser::rewriteRenamedFolder(const QString &from, const QString &to)
{
    // Everything remembered by path inside the folder moves with it, so its subfolders stay
    // open and the selection and the last opened notes survive the rename.
    QSet<QString> expanded;
    for (const QString &path : std::as_const(m_expanded))
        expanded.insert(isInsideOrSame(path, from) ? rebased(path, from, to) : path);
    setExpanded(std::move(expanded));

    Settings &settings = Settings::instance();
    for (const QString &folder : m_tree.folders()) {
        if (!isInsideOrSame(folder, from))
            continue;
        const QString file = settings.lastFileInFolder(folder);
        if (file.isEmpty())
            continue;
        settings.resetLastFileInFolder(folder);
        if (isInsideOrSame(file, from))
            NotesSettings::saveLastFileInFolder(rebased(file, from, to), rebased(folder, from, to));
    }
    if (isInsideOrSame(m_selectedFolder, from))
        applySelectedFolder(rebased(m_selectedFolder, from, to), false);
}

NotesOperations::Result NotesBrowser::deleteFolder(const QString &folder)
{
    Q_EMIT saveRequested();
    const NotesOperations::Result result = NotesOperations::deleteFolder(folder, notesFolder());
    if (result.status == Status::refused)
        return result;
    // Also after a partial failure: whatever is gone must not stay open in the editor, where
    // the next save would bring it back.
    if (isInsideOrSame(m_selectedFile, folder) && !NoteNaming::isTaken(m_selectedFile)) {
        const QString deleted = m_selectedFile;
        changeSelectedFile(QString());
        Q_EMIT fileDeleted(deleted);
    }
    if (result.ok()) {
        QSet<QString> expanded;
        for (const QString &path : std::as_const(m_expanded)) {
            if (!isInsideOrSame(path, folder))
                expanded.insert(path);
        }
        setExpanded(std::move(expanded));
        if (isInsideOrSame(m_selectedFolder, folder))
            applySelectedFolder(QString(), false);
    }
    refreshFolders();
    loadFiles();
    return result;
}

// ----- Dragging -----

void NotesBrowser::beginDrag(const QString &note)
{
    Q_EMIT saveRequested();
    m_draggedFile = note;
    Q_EMIT draggedFileChanged();
}

void NotesBrowser::endDrag()
{
    if (m_draggedFile.isEmpty())
        return;
    m_draggedFile.clear();
    Q_EMIT draggedFileChanged();
}
