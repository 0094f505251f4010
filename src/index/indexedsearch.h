#pragma once

#include "index/folderwatch.h"
#include "index/noteindex.h"
#include "search/globalsearch.h"
#include "search/notefiles.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

/// The global search with the note index's help: the same hits, counts, snippets and order as
/// GlobalSearch::runSearch, reading only the notes the index cannot rule out.
///
/// Before answering, refresh() lists every note with one stat call each and re-reads only those
/// whose stamp (size, modification and change time, inode) differs from the index's, so a note
/// another program changed, added, removed or renamed is found as it now is. Used by the
/// command line before each search and by the window's index worker; one object per thread.
///
/// With the folders watched (setWatching), update() does that walk only when the watcher lost
/// track, and otherwise re-checks only the notes the kernel reported changed.
class IndexedSearch
{
public:
    /// `indexPath` empty: NoteIndex::defaultPath(baseFolder).
    explicit IndexedSearch(const QString &baseFolder, const QString &indexPath = {});

    const QString &baseFolder() const { return m_base; }
    NoteIndex &index() { return m_index; }

    /// Opens the index; a damaged or foreign one is started afresh (`reset`). False, with
    /// `problem`, when there can be none (a locked index, a read-only or full cache disk).
    bool open(QString *problem, bool *reset = nullptr);

    /// Called now and then while refresh() reads notes: how many are done of how many to read.
    using Progress = std::function<void(qsizetype done, qsizetype total)>;

    /// Brings the index up to the notes on disk (see the class). `stop`, when set, ends the
    /// work early between two batches, leaving the index consistent but incomplete. False, with
    /// `problem`, when the index failed; the index is then closed, and deleted when it was
    /// damaged, so that the next open() starts afresh.
    bool refresh(QString *problem, const Progress &progress = {},
                 const std::atomic<bool> *stop = nullptr);

    /// At most this many notes are read by refresh(); beyond it refresh() writes nothing and
    /// fails with wasTooMuch() (a command line would rather scan than build the whole index).
    /// Negative: no limit.
    void setReadLimit(qsizetype limit) { m_readLimit = limit; }
    bool wasTooMuch() const { return m_tooMuch; }

    /// Has the notes' folders watched from the next update() on. Off by default: a command runs
    /// once, and walks.
    void setWatching(bool on);
    bool isWatching() const { return m_watch != nullptr; }

    /// refresh(), reading only what changed since the last call when the folders are watched:
    /// the kernel's reports queued so far are read first, so a change that ended before the call
    /// is found. It walks every note instead when the reports cannot tell all (a folder added,
    /// gone or renamed, a note added, a lost report, a folder that cannot be watched, another
    /// connection's writes to the index).
    bool update(QString *problem);
    /// Whether the last update() walked every note.
    bool updateWalked() const { return m_walked; }

    /// Empties the index and reads every note again.
    bool rebuild(QString *problem, const Progress &progress = {},
                 const std::atomic<bool> *stop = nullptr);

    /// Re-reads one note (by its absolute path) at once: after a save. Notes are found by the
    /// next refresh anyway; this only spares the next search the work.
    bool updateNote(const QString &filePath, QString *problem);

    /// Searches for `keyword` (trimmed, as for runSearch) in the notes of the last refresh().
    /// Nothing when the index failed: the caller scans.
    std::optional<QList<SearchHit>> search(const QString &keyword, QString *problem,
                                           const GlobalSearch::SearchOptions &options = {});

    /// search() in two steps: the notes that may hold `keyword` (indexes into the notes of the
    /// last refresh, in their order), then the hits among them.
    std::optional<QList<qsizetype>> candidates(const QString &keyword, QString *problem);
    QList<SearchHit> hits(const QList<qsizetype> &candidates, const QString &keyword,
                          const GlobalSearch::SearchOptions &options = {}) const;
    /// The first `count` hits of hits() (the newest), reading the candidates newest first and
    /// stopping as soon as no later one can come before them: the first rows of a keyword found
    /// in most notes, long before all of them are counted.
    QList<SearchHit> firstHits(const QList<qsizetype> &candidates, const QString &keyword,
                               qsizetype count) const;

    /// Whether `keyword` is in a quarter of the notes or more, judged from a few notes the index
    /// holds, before any refresh: a search that must read most notes anyway is done fastest by
    /// the full scan.
    bool looksCommon(const QString &keyword);

    /// How many notes the last refresh listed, and how many it had to read.
    qsizetype listedCount() const { return m_list.files.size(); }
    qsizetype readCount() const { return m_readCount; }

private:
    /// Lists the notes with their stamps into m_list and m_stamps.
    void listNotes();
    QByteArray relativePath(const NoteFiles::File &file) const;
    bool reloadEntriesIfChanged();
    /// Whether `keyword` is in a quarter of the notes or more, judged from a few of them.
    bool isCommon(const QString &keyword) const;
    /// Whether a quarter of the notes at `natives` (absolute) or more hold `keyword`.
    static bool mostHold(const QString &keyword, const QList<QByteArray> &natives);
    bool failed(QString *problem);
    /// Reads the note at `native` (absolute) and puts it into the index under `relative`.
    bool indexFile(const QByteArray &native, const QByteArray &relative);
    /// Watches every listed folder; false when one of them was not watched before (what it held
    /// between the listing and now was not reported).
    bool watchFolders();
    /// Re-checks the listed notes at `marked` (indexes into the list) as refresh() would.
    bool recheck(std::vector<qsizetype> marked, QString *problem);
    qint64 dataVersion() const;
    /// Compares the listed notes' stamps with `table`'s: the notes to read, the paths gone.
    void compareStamps(const NoteIndex::EntryTable &table, std::vector<qsizetype> &changed,
                       QList<QByteArray> &gone);

    QString m_base;
    QByteArray m_nativeBase;
    QString m_indexPath;
    NoteIndex m_index;
    NoteFiles::NoteFileList m_list;
    std::vector<NoteIndex::Stamp> m_stamps;
    /// The text of each listed note as the last refresh left the index (-1: not indexed).
    std::vector<qint64> m_textIds;
    /// The index's notes, as last read or written by this connection; m_dataVersion tells when
    /// another connection has written since.
    std::optional<QHash<QByteArray, NoteIndex::Entry>> m_entries;
    qint64 m_dataVersion = -1;
    qsizetype m_readCount = 0;
    qsizetype m_readLimit = -1;
    bool m_tooMuch = false;

    std::unique_ptr<FolderWatch> m_watch;
    /// Whether every listed folder is watched since before the last walk listed it.
    bool m_watchSynced = false;
    bool m_walked = false;
    /// Watch ids to indexes into m_list.folders.
    QHash<int, qsizetype> m_watchedFolders;
    /// Listed notes by their path below the base folder; filled while watching.
    QHash<QByteArray, qsizetype> m_listed;
    /// Listed notes that are links, or have other names: changes through those are not
    /// reported, so they are looked at every time.
    std::vector<char> m_linked;
    /// Listed notes found gone since the last walk.
    std::vector<char> m_gone;
};
