#pragma once

#include "search/searchcontroller.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class IndexedSearch;
class SerialQueue;
struct NoteChange;

/// The window's note index: built or brought up to date on a worker thread of its own at start
/// and when the base folder changes, kept current from NoteStore's announcements and the
/// kernel's reports of changed folders, and searched on the same worker after re-checking what
/// those reports name (or a stat walk, when they cannot tell everything), so that every search
/// sees the notes as they are.
///
/// Until the index is complete, and whenever it fails, searches run the full scan (on a thread
/// of the pool): never a partial answer. An index problem is told once, in stateChanged; a save
/// only queues work here and never waits for it.
class IndexService : public QObject, public SearchEngine
{
    Q_OBJECT

public:
    /// `indexPath` empty: NoteIndex::defaultPath of the base folder. Starts nothing yet.
    explicit IndexService(QObject *parent = nullptr, const QString &indexPath = {});
    ~IndexService() override;

    /// Builds or updates the index of PathManager's base folder in the background; again
    /// whenever the base folder changes.
    void start();

    /// Whether searches use the index (it is complete and working).
    bool isReady() const { return m_ready.load(); }

    /// Answers from the index when it is ready, first the newest `firstRows` hits alone when
    /// more than `firstRowsFrom` notes are to be read; by the full scan otherwise.
    void search(const QString &keyword, QObject *context, Done done) override;
    static constexpr qsizetype firstRows = 50;
    static constexpr qsizetype firstRowsFrom = 2000;

    /// Blocks until the work queued so far is done. For tests and benchmarks.
    void waitUntilIdle();

    /// "索引を作成中… 12,345 / 50,000" (thousands separated as in Japanese).
    static QString progressText(qsizetype done, qsizetype total);

Q_SIGNALS:
    /// What the status bar shows about the index: progress while building, a problem once,
    /// nothing (empty) otherwise.
    void stateChanged(const QString &text);
    /// The index became usable.
    void ready();

private:
    void build(bool rebuild);
    void noteChanged(const NoteChange &change);
    /// Posts `text` to stateChanged on the main thread.
    void post(const QString &text);
    /// The index failed on the worker: searches scan, and try it again, until it works; the
    /// reason is told once.
    void indexFailed(const QString &problem);

    QString m_indexPath;
    std::unique_ptr<SerialQueue> m_worker;
    /// Used on the worker thread only.
    std::unique_ptr<IndexedSearch> m_indexed;
    std::atomic<bool> m_ready = false;
    /// Main thread only.
    bool m_started = false;
    std::atomic<bool> m_stop = false;
    /// Whether the current problem has been told; on the worker thread only.
    bool m_problemTold = false;
    /// A build is queued or running.
    std::atomic<bool> m_building = false;
};
