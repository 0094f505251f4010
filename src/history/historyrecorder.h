#pragma once

#include "history/historyversion.h"
#include "storage/textfile.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class HistoryRepository;
class SerialQueue;
struct NoteChange;
class QTimer;

/// Decides when a version of a note is kept, and hands it to the history repository of the
/// current base folder. It follows every change of the notes through NoteStore (aboutToChange
/// and changed), and hears from the window what NoteStore cannot see: a note opened, left,
/// changed by another program while open.
///
/// A version is kept: when a note is first opened or changed in this session (its text before
/// any change), at most every saveInterval while it is saved, when it is left or the program
/// quits, when another program's version is noticed, before a merge or conflict copy writes
/// over the note, before it is renamed or moved, before it is deleted (with its folder too).
/// The bytes are read on the calling thread at that moment; the repository is written on a
/// worker thread (the window) or at once (the command line).
///
/// A failure never stops a save: it is reported once by failed() until the history works again.
/// Main thread only.
class HistoryRecorder : public QObject
{
    Q_OBJECT

public:
    enum class Mode {
        window,      ///< a worker thread; saves kept at most every saveInterval
        commandLine, ///< written at once; every change kept
    };
    static constexpr qint64 saveIntervalSecs = 10 * 60;

    explicit HistoryRecorder(Mode mode, QObject *parent = nullptr);
    ~HistoryRecorder() override;

    /// The event recorded for a note's text before the first change this recorder sees (the
    /// command line's --append says append; otherwise original).
    void setFirstEvent(HistoryEvent event) { m_firstEvent = event; }

    /// A note was opened in the editor: its text as it is now is kept, before anything changes.
    void noteOpened(const QString &path);
    /// The editor leaves the note: what was saved of it since its last version is kept.
    void noteLeft(const QString &path);
    /// The window noticed that another program changed the note: its version is kept.
    void noticeOutsideChange(const QString &path);
    /// An earlier version is about to be brought back into the note: what it holds now is kept,
    /// and its next save is kept as a restore.
    void restoring(const QString &path);
    /// Quitting: keeps what was saved since the last version of every note, then waits for the
    /// repository to be written.
    void finish();
    /// Waits for every version handed over so far to be written (tests, the command line).
    void waitForWorker();

    /// The versions of the note at `path`, newest first, given to `done` on this thread.
    void versions(const QString &path,
                  std::function<void(std::optional<QList<HistoryVersion>>, QString)> done);
    /// The text of one version of the note at `path`.
    void text(const QString &path, const QString &id,
              std::function<void(std::optional<QByteArray>, QString)> done);
    /// The notes of the current base folder that are gone.
    void deletedNotes(std::function<void(std::optional<QList<DeletedNote>>, QString)> done);
    /// Thins and packs the repository now (otherwise done when the window is idle, once a day).
    void maintain();

    /// The repository the current base folder's history is written to.
    QString repositoryPath() const;
    /// The last failure; empty when the last write succeeded.
    const QString &lastError() const { return m_lastError; }

Q_SIGNALS:
    /// The history could not be written; said once until it works again.
    void failed(const QString &message);
    /// A version of the note at `path` (absolute) was written.
    void recorded(const QString &path);

private:
    struct NoteState
    {
        bool seen = false;
        bool pending = false;
        qint64 lastRecordSecs = 0;
        FileStamp written;
        bool nextSaveIsRestore = false;
    };

    void aboutToChange(const NoteChange &change);
    void changed(const NoteChange &change);
    void recordBytes(const QString &path, HistoryEvent event, const QByteArray &bytes);
    void recordFile(const QString &path, HistoryEvent event);
    void flushPending(const QString &path);
    void follow(const QString &from, const QString &to, bool recordRename);
    void submit(std::function<QString(HistoryRepository &)> work, const QString &path = {});
    void reported(const QString &error, const QString &path);
    template <typename Result>
    void ask(std::function<std::optional<Result>(HistoryRepository &, QString *)> work,
             std::function<void(std::optional<Result>, QString)> done);
    QString relativePath(const QString &path) const;

    Mode m_mode;
    HistoryEvent m_firstEvent = HistoryEvent::original;
    QHash<QString, NoteState> m_notes;
    QString m_lastError;
    bool m_failing = false;
    QTimer *m_idle = nullptr;
    /// Used on the worker only (or at once, on the command line).
    std::shared_ptr<HistoryRepository> m_repository;
    /// Last: the worker stops, finishing its jobs, before anything it uses goes.
    std::unique_ptr<SerialQueue> m_queue;
};
