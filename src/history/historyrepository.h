#pragma once

#include "history/historyversion.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>

struct git_repository;

/// The versions of one base folder's notes, kept in a bare git repository outside the base
/// folder (`$XDG_STATE_HOME/Quillmere/history/<hash of the base folder's path>.git`), so that
/// nothing appears among the notes and `git` can read it.
///
/// Each note has one chain of commits under `refs/quillmere/notes/<id>`; a commit's tree holds
/// only the note's file, and its message the event, the path and the sizes, so one note's
/// versions are found by walking its own chain only. `refs/quillmere/paths/<hash of path>`
/// points at a small blob naming the chain of the note at that path: a rename points the new
/// path at the same chain, and the old path keeps pointing there, so a deleted note is still
/// found by its old path.
///
/// Every call takes a lock on the repository shared with other processes (the window and the
/// command line): writers one at a time, readers beside each other. A repository that cannot be
/// read is renamed aside ("<name>.damaged-<time>"), never deleted, and a new one started. One
/// thread at a time per object; every method reports a failure through `error` and never
/// throws.
class HistoryRepository
{
public:
    explicit HistoryRepository(QString repositoryPath);
    ~HistoryRepository();
    HistoryRepository(const HistoryRepository &) = delete;
    HistoryRepository &operator=(const HistoryRepository &) = delete;

    /// `$XDG_STATE_HOME/Quillmere/history`.
    static QString folder();
    /// The repository of the base folder `baseFolder`.
    static QString repositoryPathFor(const QString &baseFolder);

    /// How long a call waits for another process to let go of the repository (3 s).
    static void setLockPatience(std::chrono::milliseconds patience);

    const QString &path() const { return m_path; }
    /// Where the last damaged repository was set aside; empty when none was.
    const QString &setAsidePath() const { return m_setAside; }

    /// Records `bytes` as the newest version of the note at `path` (below the base folder),
    /// unless the newest version already holds the same text at the same path. False, with
    /// `error` set, when it could not be recorded; `recorded` tells whether a commit was made.
    bool record(const QString &path, HistoryEvent event, const QByteArray &bytes,
                const QDateTime &time, QString *error, bool *recorded = nullptr);

    /// A note moved from `from` to `to`: `to` continues the chain of `from` (nothing happens
    /// when `from` has no history; `followed` tells which).
    bool follow(const QString &from, const QString &to, QString *error, bool *followed = nullptr);

    /// The versions of the note at `path` (or last at `path`), newest first; empty when it has
    /// none, nullopt on failure.
    std::optional<QList<HistoryVersion>> versions(const QString &path, QString *error);

    /// The text of the version `id` (its full id or at least four leading digits) of the note
    /// at `path`; nullopt when there is no such version or it cannot be read.
    std::optional<QByteArray> text(const QString &path, const QString &id, QString *error,
                                   HistoryVersion *version = nullptr);

    /// The notes whose last recorded place below `baseFolder` holds nothing now, newest first.
    std::optional<QList<DeletedNote>> deletedNotes(const QString &baseFolder, QString *error);

    /// Keeps every version younger than a day, then the newest of each hour for a week, of each
    /// day for three months and of each month after that, counted back from `now` (days and
    /// months in `zone`); a note's newest version always stays. Rewrites the chains that lose
    /// versions; the versions left out stay as loose objects until pack().
    bool thin(const QDateTime &now, const QTimeZone &zone, QString *error);

    /// Writes every version that is still referred to into one new pack, checks that each can
    /// be read back from it, and only then removes the loose objects and the older packs.
    bool pack(QString *error);

    /// Closes the repository handle (reopened by the next call).
    void close();

private:
    struct Lock;
    bool open(QString *error);
    bool setAside(QString *error);
    QString chainRefOf(const QString &path, QString *error, bool *missing);
    /// Points the ref of `path` at the chain `chain`.
    bool link(const QString &path, const QString &chain, QString *error);

    QString m_path;
    QString m_setAside;
    git_repository *m_repository = nullptr;
};
