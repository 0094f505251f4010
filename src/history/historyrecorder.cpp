#include "history/historyrecorder.h"

#include "history/historyrepository.h"
#include "notes/notescan.h"
#include "platform/clock.h"
#include "platform/filenames.h"
#include "platform/regularfile.h"
#include "platform/serialqueue.h"
#include "storage/notestore.h"
#include "storage/pathmanager.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace {

/// How long the window must be without history work before the repository is thinned and
/// packed, and how often at most.
constexpr int idleMsec = 3 * 60 * 1000;
constexpr qint64 maintenanceIntervalSecs = 24 * 3600;

const QString failurePrefix = QStringLiteral("履歴を記録できませんでした: ");

qint64 nowSecs()
{
    return Clock::current().now().toSecsSinceEpoch();
}

/// The notes below `folder` (absolute paths), hidden entries left out as the notes page does.
QStringList notesBelow(const QString &folder)
{
    QStringList notes;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (NoteScan::isNoteFileName(it.fileName()))
            notes.append(path);
    }
    return notes;
}

/// When the repository at `repository` was last thinned and packed, from its stamp file.
qint64 lastMaintenance(const QString &repository)
{
    QFile stamp(repository + QStringLiteral(".maintained"));
    if (!stamp.open(QIODevice::ReadOnly))
        return 0;
    return stamp.readAll().trimmed().toLongLong();
}

void markMaintained(const QString &repository, qint64 when)
{
    QFile stamp(repository + QStringLiteral(".maintained"));
    if (stamp.open(QIODevice::WriteOnly | QIODevice::Truncate))
        stamp.write(QByteArray::number(when) + '\n');
}

} // namespace

HistoryRecorder::HistoryRecorder(Mode mode, QObject *parent) : QObject(parent), m_mode(mode)
{
    if (mode == Mode::window) {
        m_queue = std::make_unique<SerialQueue>(QStringLiteral("history"));
        m_idle = new QTimer(this);
        m_idle->setSingleShot(true);
        m_idle->setInterval(idleMsec);
        connect(m_idle, &QTimer::timeout, this, [this] {
            const QString repository = repositoryPath();
            if (nowSecs() - lastMaintenance(repository) >= maintenanceIntervalSecs)
                maintain();
        });
    }
    NoteStore &store = NoteStore::instance();
    connect(&store, &NoteStore::aboutToChange, this, &HistoryRecorder::aboutToChange);
    connect(&store, &NoteStore::changed, this, &HistoryRecorder::changed);
}

HistoryRecorder::~HistoryRecorder()
{
    // The worker finishes what it was given, and nothing it posts back is delivered any more.
    m_queue.reset();
}

QString HistoryRecorder::repositoryPath() const
{
    return HistoryRepository::repositoryPathFor(PathManager::baseFolderPath());
}

QString HistoryRecorder::relativePath(const QString &path) const
{
    const QString base = QDir::cleanPath(PathManager::baseFolderPath());
    const QString clean = QDir::cleanPath(path);
    if (!clean.startsWith(base + u'/'))
        return {};
    return clean.sliced(base.size() + 1);
}

void HistoryRecorder::submit(std::function<QString(HistoryRepository &)> work, const QString &path)
{
    const QString repositoryPath = this->repositoryPath();
    std::shared_ptr<HistoryRepository> *repository = &m_repository;
    auto job = [repository, repositoryPath, work = std::move(work)]() -> QString {
        if (!*repository || (*repository)->path() != repositoryPath)
            *repository = std::make_shared<HistoryRepository>(repositoryPath);
        return work(**repository);
    };
    if (!m_queue) {
        reported(job(), path);
        return;
    }
    m_queue->submit([this, job, path] {
        const QString error = job();
        QMetaObject::invokeMethod(
            this, [this, error, path] { reported(error, path); }, Qt::QueuedConnection);
    });
    m_idle->start();
}

void HistoryRecorder::reported(const QString &error, const QString &path)
{
    if (error.isEmpty()) {
        m_lastError.clear();
        m_failing = false;
        if (!path.isEmpty())
            Q_EMIT recorded(path);
        return;
    }
    m_lastError = error;
    if (m_failing)
        return;
    m_failing = true;
    Q_EMIT failed(failurePrefix + error);
}

void HistoryRecorder::recordBytes(const QString &path, HistoryEvent event, const QByteArray &bytes)
{
    const QString relative = relativePath(path);
    if (relative.isEmpty())
        return;
    NoteState &state = m_notes[path];
    state.seen = true;
    state.lastRecordSecs = nowSecs();
    const QDateTime time = Clock::current().now();
    submit(
        [relative, event, bytes, time](HistoryRepository &repository) {
            QString error;
            repository.record(relative, event, bytes, time, &error);
            return error;
        },
        path);
}

void HistoryRecorder::recordFile(const QString &path, HistoryEvent event)
{
    const RegularFileRead read = RegularFile::read(path);
    if (read.status == RegularFileRead::Status::Ok)
        recordBytes(path, event, read.bytes);
}

void HistoryRecorder::flushPending(const QString &path)
{
    const auto found = m_notes.find(path);
    if (found == m_notes.end() || !found->pending)
        return;
    found->pending = false;
    // Only while the file still holds what this program wrote; otherwise that is gone already.
    if (TextFile::stampOf(path) == found->written)
        recordFile(path, found->nextSaveIsRestore ? HistoryEvent::restore : HistoryEvent::save);
}

void HistoryRecorder::aboutToChange(const NoteChange &change)
{
    switch (change.kind) {
    case NoteChange::Kind::saved: {
        NoteState &state = m_notes[change.path];
        if (!state.seen) {
            recordFile(change.path, m_firstEvent);
        } else if (TextFile::stampOf(change.path) != state.written) {
            // Another program wrote it since: its version, before a merge takes it in.
            recordFile(change.path, HistoryEvent::outside);
        }
        return;
    }
    case NoteChange::Kind::moved:
        // The text goes on under the new name, recorded there as renamed.
        return;
    case NoteChange::Kind::deleted:
        recordFile(change.path, HistoryEvent::deleted);
        m_notes.remove(change.path);
        return;
    case NoteChange::Kind::folderDeleted:
        for (const QString &note : notesBelow(change.path)) {
            recordFile(note, HistoryEvent::deleted);
            m_notes.remove(note);
        }
        return;
    case NoteChange::Kind::created:
    case NoteChange::Kind::conflictCopy:
    case NoteChange::Kind::folderCreated:
    case NoteChange::Kind::folderMoved:
        return;
    }
}

void HistoryRecorder::changed(const NoteChange &change)
{
    switch (change.kind) {
    case NoteChange::Kind::saved:
    case NoteChange::Kind::created: {
        NoteState &state = m_notes[change.path];
        const bool first = !state.seen;
        state.seen = true;
        state.written = TextFile::stampOf(change.path);
        state.pending = true;
        if (m_mode == Mode::commandLine || first || state.nextSaveIsRestore ||
            nowSecs() - state.lastRecordSecs >= saveIntervalSecs) {
            flushPending(change.path);
            state.nextSaveIsRestore = false;
        }
        return;
    }
    case NoteChange::Kind::conflictCopy: {
        // The other program's file stays as it is, and is the version noticed now.
        const NoteState state = m_notes.value(change.oldPath);
        if (TextFile::stampOf(change.oldPath) != state.written)
            recordFile(change.oldPath, HistoryEvent::outside);
        m_notes[change.oldPath].written = TextFile::stampOf(change.oldPath);
        recordFile(change.path, HistoryEvent::save);
        m_notes[change.path].written = TextFile::stampOf(change.path);
        return;
    }
    case NoteChange::Kind::moved:
        m_notes.insert(change.path, m_notes.take(change.oldPath));
        follow(change.oldPath, change.path, true);
        return;
    case NoteChange::Kind::folderMoved: {
        const QString oldFolder = QDir::cleanPath(change.oldPath);
        const QString newFolder = QDir::cleanPath(change.path);
        for (const QString &note : notesBelow(newFolder)) {
            const QString old = oldFolder + note.sliced(newFolder.size());
            if (m_notes.contains(old))
                m_notes.insert(note, m_notes.take(old));
            follow(old, note, false);
        }
        return;
    }
    case NoteChange::Kind::deleted:
    case NoteChange::Kind::folderDeleted:
    case NoteChange::Kind::folderCreated:
        return;
    }
}

void HistoryRecorder::follow(const QString &from, const QString &to, bool recordRename)
{
    const QString oldRelative = relativePath(from);
    const QString newRelative = relativePath(to);
    if (newRelative.isEmpty())
        return;
    const RegularFileRead read = RegularFile::read(to);
    if (read.status != RegularFileRead::Status::Ok)
        return;
    NoteState &state = m_notes[to];
    state.seen = true;
    state.lastRecordSecs = nowSecs();
    const QDateTime time = Clock::current().now();
    submit(
        [oldRelative, newRelative, bytes = read.bytes, time,
         recordRename](HistoryRepository &repository) {
            QString error;
            bool followed = false;
            if (!oldRelative.isEmpty() &&
                !repository.follow(oldRelative, newRelative, &error, &followed))
                return error;
            // A note moved with its folder is recorded again only when it has a history to go on.
            if (recordRename || followed)
                repository.record(newRelative, HistoryEvent::rename, bytes, time, &error);
            return error;
        },
        to);
}

void HistoryRecorder::noteOpened(const QString &path)
{
    NoteState &state = m_notes[path];
    if (state.seen) {
        // Opened again: another program may have changed it in between.
        noticeOutsideChange(path);
        return;
    }
    state.written = TextFile::stampOf(path);
    recordFile(path, HistoryEvent::original);
}

void HistoryRecorder::noteLeft(const QString &path)
{
    flushPending(path);
}

void HistoryRecorder::noticeOutsideChange(const QString &path)
{
    NoteState &state = m_notes[path];
    const FileStamp now = TextFile::stampOf(path);
    if (!now.exists || (state.seen && now == state.written))
        return;
    const bool seen = state.seen;
    state.written = now;
    state.pending = false;
    recordFile(path, seen ? HistoryEvent::outside : HistoryEvent::original);
}

void HistoryRecorder::restoring(const QString &path)
{
    flushPending(path);
    NoteState &state = m_notes[path];
    if (!state.seen) {
        state.written = TextFile::stampOf(path);
        recordFile(path, HistoryEvent::original);
    }
    m_notes[path].nextSaveIsRestore = true;
}

void HistoryRecorder::finish()
{
    const QStringList paths = m_notes.keys();
    for (const QString &path : paths)
        flushPending(path);
    waitForWorker();
}

void HistoryRecorder::waitForWorker()
{
    if (m_queue)
        m_queue->waitUntilIdle();
}

template <typename Result>
void HistoryRecorder::ask(std::function<std::optional<Result>(HistoryRepository &, QString *)> work,
                          std::function<void(std::optional<Result>, QString)> done)
{
    auto result = std::make_shared<std::optional<Result>>();
    auto error = std::make_shared<QString>();
    const QString repositoryPath = this->repositoryPath();
    std::shared_ptr<HistoryRepository> *repository = &m_repository;
    auto job = [repository, repositoryPath, work = std::move(work), result, error] {
        if (!*repository || (*repository)->path() != repositoryPath)
            *repository = std::make_shared<HistoryRepository>(repositoryPath);
        *result = work(**repository, error.get());
    };
    if (!m_queue) {
        job();
        done(*result, *error);
        return;
    }
    m_queue->submit([this, job = std::move(job), result, error, done = std::move(done)] {
        job();
        QMetaObject::invokeMethod(
            this, [result, error, done] { done(*result, *error); }, Qt::QueuedConnection);
    });
}

void HistoryRecorder::versions(
    const QString &path, std::function<void(std::optional<QList<HistoryVersion>>, QString)> done)
{
    const QString relative = relativePath(path);
    ask<QList<HistoryVersion>>(
        [relative](HistoryRepository &repository, QString *error) {
            return repository.versions(relative, error);
        },
        std::move(done));
}

void HistoryRecorder::text(const QString &path, const QString &id,
                           std::function<void(std::optional<QByteArray>, QString)> done)
{
    const QString relative = relativePath(path);
    ask<QByteArray>([relative, id](HistoryRepository &repository,
                                   QString *error) { return repository.text(relative, id, error); },
                    std::move(done));
}

void HistoryRecorder::deletedNotes(
    std::function<void(std::optional<QList<DeletedNote>>, QString)> done)
{
    const QString base = QDir::cleanPath(PathManager::baseFolderPath());
    ask<QList<DeletedNote>>([base](HistoryRepository &repository,
                                   QString *error) { return repository.deletedNotes(base, error); },
                            std::move(done));
}

void HistoryRecorder::maintain()
{
    const QDateTime now = Clock::current().now();
    const QTimeZone zone = Clock::current().timeZone();
    const QString repositoryPath = this->repositoryPath();
    submit([now, zone, repositoryPath](HistoryRepository &repository) {
        QString error;
        if (repository.thin(now, zone, &error) && repository.pack(&error))
            markMaintained(repositoryPath, now.toSecsSinceEpoch());
        return error;
    });
}
