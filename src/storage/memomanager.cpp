#include "storage/memomanager.h"

#include "platform/appevents.h"
#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/filenames.h"
#include "platform/folderlock.h"
#include "storage/notestore.h"
#include "storage/pathmanager.h"
#include "storage/textfile.h"
#include "storage/textmerge.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <utility>

#include <cerrno>
#include <sys/stat.h>

namespace {

struct FileDates
{
    std::optional<QDateTime> created;
    std::optional<QDateTime> modified;
};

FileDates fileDates(const QString &filePath)
{
    if (filePath.isEmpty())
        return {};
    const QFileInfo info(filePath);
    if (!info.exists())
        return {};
    FileDates dates;
    // Not every file system records a birth time; then the creation date stays unknown.
    if (const QDateTime born = info.birthTime(); born.isValid())
        dates.created = born;
    if (const QDateTime modified = info.lastModified(); modified.isValid())
        dates.modified = modified;
    return dates;
}

QString baseNameOf(const QString &filePath)
{
    return QFileInfo(filePath).completeBaseName();
}

/// The file's text as its bytes have it, a byte-order mark included, so that writing it back
/// keeps the mark.
QString fileText(const TextFileRead &read)
{
    return read.byteOrderMark ? QChar(0xFEFF) + read.text : read.text;
}

} // namespace

/// What the disk holds compared with what the document last read or wrote.
struct MemoManager::DiskCheck
{
    enum class State { Unchanged, Changed, Missing, Unreadable };
    State state = State::Unchanged;
    /// Changed: the file's text and its stamp as read.
    QString text;
    FileStamp stamp;
    QString error;
};

namespace {

constexpr int watchDebounceMsec = 50;

} // namespace

MemoManager::MemoManager(QObject *parent) : QObject(parent) {}

MemoManager::~MemoManager() = default;

void MemoManager::setWatchingFile(bool watching)
{
    if (watching == (m_watcher != nullptr))
        return;
    if (!watching) {
        delete std::exchange(m_watcher, nullptr);
        delete std::exchange(m_watchDebounce, nullptr);
        return;
    }
    m_watcher = new QFileSystemWatcher(this);
    m_watchDebounce = new QTimer(this);
    // Several events arrive for one write (the temporary file, the rename, the folder).
    m_watchDebounce->setSingleShot(true);
    m_watchDebounce->setInterval(watchDebounceMsec);
    connect(m_watchDebounce, &QTimer::timeout, this, &MemoManager::onWatchedPathChanged);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, m_watchDebounce,
            qOverload<>(&QTimer::start));
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_watchDebounce,
            qOverload<>(&QTimer::start));
    watchCurrentFile();
}

void MemoManager::loadItem(const MemoItem &item)
{
    m_declinedExternalContent.reset();
    if (const auto *date = std::get_if<QDate>(&item)) {
        loadPath(PathManager::dailyMemoPath(*date));
        return;
    }
    if (const auto *path = std::get_if<QString>(&item); path && !path->isEmpty()) {
        loadPath(*path);
        return;
    }
    clearDocument();
}

void MemoManager::loadMemo(const QDate &date)
{
    m_declinedExternalContent.reset();
    loadPath(PathManager::dailyMemoPath(date));
}

void MemoManager::loadPath(const QString &filePath)
{
    const TextFileRead read = TextFile::readUtf8(filePath);
    applyLoadedText(fileText(read), filePath, read.stamp);
    setModified(false);
    if (const QString message = takeAccess(read); !message.isEmpty())
        showTemporaryMessage(message);
    Q_EMIT documentLoaded();
}

QString MemoManager::takeAccess(const TextFileRead &read)
{
    m_isReadable = read.editable();
    // A name Qt could not decode (U+FFFD where its bytes were) or that holds bytes only our own
    // reading can reach: every other route (saving, renaming, watching) would reach another file
    // or none, and the first save would make a twin of the note.
    const bool foreignName = FileNames::hasForeignBytes(m_currentFilePath) ||
                             (read.status == TextFileRead::Status::Missing &&
                              m_currentFilePath.contains(QChar(QChar::ReplacementCharacter)));
    if (!read.editable()) {
        m_refusalMessage = readOnlySaveMessage;
        setEditable(false, read.error);
        Diagnostics::log(QStringLiteral("読み込みエラー: ") + m_currentFilePath +
                         QStringLiteral(": ") + read.error);
        return unreadableMessage;
    }
    if (foreignName) {
        m_refusalMessage = foreignNameSaveMessage;
        setEditable(false, foreignNameMessage);
        return foreignNameMessage;
    }
    if (!read.writable) {
        m_refusalMessage = writeProtectedSaveMessage;
        setEditable(false, QStringLiteral("書き込みの権限がありません"));
        return writeProtectedMessage;
    }
    setEditable(true, {});
    return {};
}

void MemoManager::clearDocument()
{
    applyLoadedText(QString(), QString(), FileStamp());
    setModified(false);
    m_isReadable = true;
    setEditable(true, {});
    m_declinedExternalContent.reset();
    Q_EMIT documentLoaded();
}

void MemoManager::applyLoadedText(const QString &text, const QString &filePath,
                                  const FileStamp &stamp)
{
    setCurrentFilePath(filePath);
    m_originalText = text;
    m_originalStamp = stamp;
    NoteDocumentParts parts = parseNoteDocument(text);
    m_managedFrontMatter = std::move(parts.obsidian);
    m_joplinYAML = std::move(parts.joplinYAML);
    m_joplinIsTrailing = parts.joplinIsTrailing;
    m_loadedBody = std::move(parts.body);
    m_layout = std::move(parts.layout);

    m_fileCreatedDate.reset();
    m_fileModifiedDate.reset();
    const FileDates dates = fileDates(filePath);
    setStatusModificationDate(dates.modified.value_or(QDateTime()));
    if (!m_managedFrontMatter || !hasCreated(*m_managedFrontMatter))
        m_fileCreatedDate = dates.created;
    if (!m_managedFrontMatter || !hasUpdated(*m_managedFrontMatter))
        m_fileModifiedDate = dates.modified;
    refreshHeader();
}

void MemoManager::refreshHeader()
{
    if (m_currentFilePath.isEmpty()) {
        m_headerYAML.clear();
        m_joplinHeaderYAML.clear();
        m_headerIsPending = false;
    } else {
        const NoteFrontMatter header =
            completeHeaderForDisplay(m_managedFrontMatter, baseNameOf(m_currentFilePath),
                                     m_joplinYAML, m_fileCreatedDate, m_fileModifiedDate);
        m_headerYAML = renderFrontMatter(header);
        m_headerIsPending = !m_managedFrontMatter.has_value();
        m_joplinHeaderYAML = m_joplinYAML.value_or(QString());
    }
    Q_EMIT headerChanged();
}

// The stamp answers at the cost of one stat; the content is compared only when it differs
// (a `touch`, or a program that rewrote the same text, is no change).
MemoManager::DiskCheck MemoManager::checkDisk() const
{
    DiskCheck check;
    const FileStamp now = TextFile::stampOf(m_currentFilePath);
    if (now == m_originalStamp)
        return check;
    if (!now.exists) {
        check.state = DiskCheck::State::Missing;
        return check;
    }
    TextFileRead read = TextFile::readUtf8(m_currentFilePath);
    if (read.status == TextFileRead::Status::Missing) {
        check.state = DiskCheck::State::Missing;
        return check;
    }
    check.stamp = read.stamp;
    if (!read.ok()) {
        check.state = DiskCheck::State::Unreadable;
        check.error = read.error;
        return check;
    }
    if (QString text = fileText(read); text != m_originalText) {
        check.state = DiskCheck::State::Changed;
        check.text = std::move(text);
    }
    return check;
}

bool MemoManager::writeText(const QString &text, const std::optional<QString> &previousText,
                            AtomicFile::Error *error)
{
    // The folder may have been removed behind our back; recreating it beats losing the text.
    QDir().mkpath(QFileInfo(m_currentFilePath).absolutePath());
    if (!NoteStore::instance().writeNote(m_currentFilePath, text, previousText, error))
        return false;
    applyLoadedText(text, m_currentFilePath, TextFile::stampOf(m_currentFilePath));
    setModified(false);
    m_declinedExternalContent.reset();
    return true;
}

SaveOutcome MemoManager::failSave(const AtomicFile::Error &error)
{
    m_saveFailureReason = error.reason();
    showTemporaryMessage(saveFailedMessage + QStringLiteral(": ") + m_saveFailureReason);
    Diagnostics::log(QStringLiteral("保存エラー: ") + m_currentFilePath + QStringLiteral(": ") +
                     error.text);
    return {SaveOutcome::Status::Failed, {}};
}

SaveOutcome MemoManager::save(const QString &body, SaveAnnouncement announcement)
{
    if (m_currentFilePath.isEmpty())
        return {};
    if (body == m_loadedBody) {
        setModified(false);
        return {};
    }
    if (!m_isEditable) {
        showTemporaryMessage(m_refusalMessage);
        return {SaveOutcome::Status::Refused, {}};
    }
    const QString folder = QFileInfo(m_currentFilePath).absolutePath();
    QDir().mkpath(folder);
    // Held across comparing, merging and writing: another writer that takes the same lock
    // (the command line's --append) cannot slip in between. Only tried: a holder that does not
    // let go must not freeze the window; the caller tries again a little later.
    const FolderLock lock(folder, FolderLock::noWait);
    if (lock.isBusy())
        return {SaveOutcome::Status::Busy, {}};
    if (!lock.isLocked())
        Diagnostics::log(QStringLiteral("ロックできませんでした: ") + folder +
                         QStringLiteral(": ") + lock.error());
    return writeBody(body, announcement);
}

SaveOutcome MemoManager::writeBody(const QString &body, SaveAnnouncement announcement)
{
    const DiskCheck disk = checkDisk();
    if (disk.state == DiskCheck::State::Unreadable)
        return writeConflictCopy(body, disk, SaveOutcome::Status::Unmerged);

    QString merged = body;
    // Gone since it was read: the edits are written back where the document says it is.
    SaveOutcome::Status status = disk.state == DiskCheck::State::Missing
                                     ? SaveOutcome::Status::Restored
                                     : SaveOutcome::Status::Saved;
    std::optional<NoteDocumentParts> diskParts;
    if (disk.state == DiskCheck::State::Changed) {
        diskParts = parseNoteDocument(disk.text);
        const TextMergeResult merge = TextMerge::merge(m_loadedBody, body, diskParts->body);
        if (!merge.clean())
            return writeConflictCopy(body, disk,
                                     merge.status == TextMergeResult::Status::Conflicted
                                         ? SaveOutcome::Status::Conflicted
                                         : SaveOutcome::Status::Unmerged);
        merged = merge.text;
        status = SaveOutcome::Status::Merged;
    }
    // The header of the file as it is now on disk: another program may have changed it.
    const std::optional<NoteFrontMatter> &frontMatter =
        diskParts ? diskParts->obsidian : m_managedFrontMatter;
    const std::optional<QString> &joplin = diskParts ? diskParts->joplinYAML : m_joplinYAML;
    const bool joplinIsTrailing = diskParts ? diskParts->joplinIsTrailing : m_joplinIsTrailing;
    const NoteFrontMatter header =
        completeHeaderForSave(frontMatter, baseNameOf(m_currentFilePath), joplin, m_fileCreatedDate,
                              Clock::current().now());
    // Every line but the header's own and the body's is written back as the file has it, each
    // with the line break it had.
    const QString text =
        restoreLineEnds(buildNoteSaveText(header, merged, joplin, joplinIsTrailing,
                                          diskParts ? diskParts->layout : m_layout),
                        diskParts ? disk.text : m_originalText);
    AtomicFile::Error error;
    // What the file held before this write: another program's version when it changed it.
    std::optional<QString> previousText;
    if (disk.state == DiskCheck::State::Changed)
        previousText = disk.text;
    else if (disk.state == DiskCheck::State::Unchanged && m_originalStamp.exists)
        previousText = m_originalText;
    if (!writeText(text, previousText, &error))
        return failSave(error);
    setStatusModificationDate(Clock::current().now());
    if (status == SaveOutcome::Status::Restored) {
        Diagnostics::log(QStringLiteral("書き戻し: ") + m_currentFilePath);
        // The folder may be a new one: the watch on the one that went sees nothing more.
        watchCurrentFile();
    }
    if (status == SaveOutcome::Status::Merged)
        showTemporaryMessage(mergedMessage, MessageKind::success);
    else if (announcement == SaveAnnouncement::announced && status == SaveOutcome::Status::Saved)
        showTemporaryMessage(savedMessage, MessageKind::success);
    Q_EMIT saved();
    AppEvents::instance().postMemoSaved();
    if (status == SaveOutcome::Status::Merged)
        Q_EMIT bodyReplaced();
    return {status, {}};
}

// The other program's file stays exactly as it is; the user's text goes beside it under a name
// that says what happened, and the document shows the file as it now is.
SaveOutcome MemoManager::writeConflictCopy(const QString &body, const DiskCheck &disk,
                                           SaveOutcome::Status status)
{
    const NoteFrontMatter header =
        completeHeaderForSave(m_managedFrontMatter, baseNameOf(m_currentFilePath), m_joplinYAML,
                              m_fileCreatedDate, Clock::current().now());
    const QByteArray bytes =
        restoreLineEnds(buildNoteSaveText(header, body, m_joplinYAML, m_joplinIsTrailing, m_layout),
                        m_originalText)
            .toUtf8();
    const QDateTime now = Clock::current().now().toTimeZone(Clock::current().timeZone());
    QString copyPath;
    AtomicFile::Error error;
    bool written = false;
    for (int attempt = 0; attempt < 100 && !written; ++attempt) {
        copyPath = conflictCopyPath(m_currentFilePath, now.addSecs(attempt));
        bool taken = false;
        written =
            NoteStore::instance().createNote(copyPath, bytes, &error, &taken, m_currentFilePath);
        if (!written && !taken)
            break;
    }
    if (!written)
        return failSave(error);
    if (disk.state == DiskCheck::State::Unreadable) {
        loadPath(m_currentFilePath);
    } else {
        applyLoadedText(disk.text, m_currentFilePath, disk.stamp);
        setModified(false);
        Q_EMIT bodyReplaced();
    }
    showTemporaryMessage(
        (status == SaveOutcome::Status::Conflicted ? conflictMessage : unmergedMessage) +
        QFileInfo(copyPath).fileName());
    Diagnostics::log(QStringLiteral("競合: ") + m_currentFilePath + QStringLiteral(" → ") +
                     copyPath);
    Q_EMIT saved();
    AppEvents::instance().postMemoSaved();
    return {status, copyPath};
}

QString MemoManager::conflictCopyPath(const QString &filePath, const QDateTime &when)
{
    const QFileInfo info(filePath);
    const QString suffix = info.suffix();
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() +
           QStringLiteral(" (競合 ") + when.toString(QStringLiteral("yyyy-MM-dd HHmmss")) +
           QLatin1Char(')') + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

void MemoManager::updateModifiedFlag(const QString &body)
{
    setModified(body != m_loadedBody);
}

void MemoManager::markModified()
{
    setModified(true);
}

std::optional<QString> MemoManager::externalChangeText() const
{
    if (m_currentFilePath.isEmpty())
        return std::nullopt;
    const DiskCheck disk = checkDisk();
    if (disk.state != DiskCheck::State::Changed)
        return std::nullopt;
    if (m_declinedExternalContent && *m_declinedExternalContent == disk.text)
        return std::nullopt;
    return disk.text;
}

bool MemoManager::fileIsGone() const
{
    if (m_currentFilePath.isEmpty() || !m_originalStamp.exists)
        return false;
    // Only a name that leads nowhere: a folder we may no longer read is not a deletion.
    struct stat info;
    return ::stat(FileNames::encode(m_currentFilePath).constData(), &info) != 0 &&
           (errno == ENOENT || errno == ENOTDIR);
}

bool MemoManager::reloadFromDisk()
{
    if (m_currentFilePath.isEmpty())
        return false;
    const TextFileRead read = TextFile::readUtf8(m_currentFilePath);
    if (!read.ok())
        return false;
    applyLoadedText(fileText(read), m_currentFilePath, read.stamp);
    setModified(false);
    takeAccess(read);
    m_declinedExternalContent.reset();
    Q_EMIT bodyReplaced();
    return true;
}

bool MemoManager::reloadIfChangedOnDisk()
{
    if (m_currentFilePath.isEmpty() || !m_isEditable)
        return false;
    const DiskCheck disk = checkDisk();
    if (disk.state != DiskCheck::State::Changed)
        return false;
    applyLoadedText(disk.text, m_currentFilePath, disk.stamp);
    setModified(false);
    m_declinedExternalContent.reset();
    Q_EMIT bodyReplaced();
    return true;
}

void MemoManager::watchCurrentFile()
{
    if (!m_watcher)
        return;
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
    m_watchDebounce->stop();
    if (m_currentFilePath.isEmpty())
        return;
    // The folder too: an atomic replace (ours, a sync tool's) swaps the file the watch was on,
    // and a memo that does not exist yet can only be seen appearing there. And the folder's
    // own folder, the only one told when the note's folder is moved away.
    const QString folder = QFileInfo(m_currentFilePath).absolutePath();
    QStringList paths{folder};
    if (const QString above = QFileInfo(folder).absolutePath(); above != folder)
        paths.append(above);
    if (QFileInfo::exists(m_currentFilePath))
        paths.append(m_currentFilePath);
    m_watcher->addPaths(paths);
}

void MemoManager::onWatchedPathChanged()
{
    if (m_currentFilePath.isEmpty() || !m_watcher)
        return;
    // Re-arm: a replaced or newly created file is a new inode the old watch does not see.
    if (QFileInfo::exists(m_currentFilePath) && !m_watcher->files().contains(m_currentFilePath))
        m_watcher->addPath(m_currentFilePath);
    const QString folder = QFileInfo(m_currentFilePath).absolutePath();
    if (!m_watcher->directories().contains(folder) && QFileInfo::exists(folder))
        m_watcher->addPath(folder);
    if (TextFile::stampOf(m_currentFilePath) != m_originalStamp)
        Q_EMIT diskChanged();
}

bool MemoManager::renameCurrentFile(const QString &newName)
{
    if (m_currentFilePath.isEmpty())
        return false;
    const QFileInfo current(m_currentFilePath);
    if (current.absoluteDir().dirName() == QStringLiteral("Daily"))
        return false;
    const QString cleaned = sanitizeFileName(newName);
    if (cleaned.isEmpty()) {
        showTemporaryMessage(emptyNameMessage);
        return false;
    }
    const QString suffix = current.suffix();
    const QString fileName = cleaned + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
    // Said plainly, rather than as a rename the file system refused for no reason given.
    if (NoteStore::isNameTooLong(fileName)) {
        showTemporaryMessage(NoteStore::nameTooLongMessage());
        return false;
    }
    const QString newPath = current.absolutePath() + QLatin1Char('/') + fileName;
    if (PathManager::standardizedPath(newPath) == PathManager::standardizedPath(m_currentFilePath))
        return true;
    if (QFileInfo::exists(newPath)) {
        showTemporaryMessage(nameTakenMessage);
        return false;
    }
    // The caller saves first; a document whose edits are not on disk is not moved.
    if (m_isModified) {
        showTemporaryMessage(saveFailedMessage);
        return false;
    }
    // Never replaces a file: a name taken in the meantime is reported instead of overwritten.
    AtomicFile::Error error;
    if (!NoteStore::instance().moveNote(m_currentFilePath, newPath, &error)) {
        showTemporaryMessage(renameFailedMessage);
        Diagnostics::log(QStringLiteral("リネームエラー: ") + error.text);
        return false;
    }
    setCurrentFilePath(newPath);
    refreshHeader();
    AppEvents::instance().postFileMoved(newPath);
    return true;
}

void MemoManager::followMovedFile(const QString &oldPath, const QString &newPath)
{
    if (m_currentFilePath.isEmpty() || m_currentFilePath != oldPath || newPath.isEmpty())
        return;
    setCurrentFilePath(newPath);
    refreshHeader();
}

void MemoManager::showTemporaryMessage(const QString &text, MessageKind kind)
{
    if (m_temporaryMessage != text || m_temporaryMessageKind != kind) {
        m_temporaryMessage = text;
        m_temporaryMessageKind = kind;
        Q_EMIT temporaryMessageChanged();
    }
    QTimer::singleShot(m_messageDurationMsec, this, [this, text] {
        if (m_temporaryMessage != text)
            return;
        m_temporaryMessage.clear();
        Q_EMIT temporaryMessageChanged();
    });
}

QString MemoManager::sanitizeFileName(const QString &name)
{
    static const QString forbidden = QStringLiteral("/:\\*?\"<>|");
    QString cleaned;
    const QString trimmed = name.trimmed();
    cleaned.reserve(trimmed.size());
    for (const QChar c : trimmed) {
        if (forbidden.contains(c) || c.category() == QChar::Other_Control)
            continue;
        cleaned.append(c);
    }
    // Strip leading dots until none is left, also behind spaces: ". .name" must not come out as
    // the hidden file ".name".
    cleaned = cleaned.trimmed();
    while (cleaned.startsWith(QLatin1Char('.')))
        cleaned = cleaned.mid(1).trimmed();
    return cleaned;
}

void MemoManager::setModified(bool modified)
{
    if (m_isModified == modified)
        return;
    m_isModified = modified;
    Q_EMIT isModifiedChanged(modified);
}

void MemoManager::setCurrentFilePath(const QString &filePath)
{
    if (m_currentFilePath == filePath)
        return;
    m_currentFilePath = filePath;
    watchCurrentFile();
    Q_EMIT currentFilePathChanged();
}

void MemoManager::setStatusModificationDate(const QDateTime &date)
{
    if (m_statusModificationDate == date && m_statusModificationDate.isValid() == date.isValid())
        return;
    m_statusModificationDate = date;
    Q_EMIT statusModificationDateChanged();
}

void MemoManager::setEditable(bool editable, const QString &error)
{
    m_loadError = error;
    if (m_isEditable == editable)
        return;
    m_isEditable = editable;
    Q_EMIT editableChanged();
}
