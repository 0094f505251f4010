#include "index/indexservice.h"

#include "index/indexedsearch.h"
#include "platform/appevents.h"
#include "platform/serialqueue.h"
#include "storage/notestore.h"
#include "storage/pathmanager.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPointer>
#include <QScopeGuard>
#include <QThreadPool>

IndexService::IndexService(QObject *parent, const QString &indexPath)
    : QObject(parent), m_indexPath(indexPath),
      m_worker(std::make_unique<SerialQueue>(QStringLiteral("note index")))
{
    connect(&NoteStore::instance(), &NoteStore::changed, this, &IndexService::noteChanged);
    connect(&AppEvents::instance(), &AppEvents::baseFolderChanged, this, [this] {
        if (m_started)
            start();
    });
}

IndexService::~IndexService()
{
    // A build under way stops at its next batch; the index stays consistent, and the next
    // start carries on from there.
    m_stop = true;
    m_worker.reset();
}

QString IndexService::progressText(qsizetype done, qsizetype total)
{
    const QLocale locale(QLocale::Japanese, QLocale::Japan);
    return QStringLiteral("索引を作成中… %1 / %2")
        .arg(locale.toString(qint64(done)), locale.toString(qint64(total)));
}

void IndexService::post(const QString &text)
{
    QMetaObject::invokeMethod(
        this, [this, text] { Q_EMIT stateChanged(text); }, Qt::QueuedConnection);
}

void IndexService::start()
{
    m_started = true;
    m_ready = false;
    m_building = true;
    m_stop = true;
    const QString base = PathManager::baseFolderPath();
    m_worker->submit([this, base] {
        m_stop = false;
        m_indexed = std::make_unique<IndexedSearch>(base, m_indexPath);
        m_indexed->setWatching(true);
        m_problemTold = false;
        build(false);
    });
}

void IndexService::build(bool rebuild)
{
    // However it ends, the next search may try again.
    const auto idle = qScopeGuard([this] { m_building = false; });
    if (!m_indexed || m_indexed->baseFolder().isEmpty())
        return;
    QString problem;
    bool reset = false;
    if (!m_indexed->index().isOpen() && !m_indexed->open(&problem, &reset)) {
        indexFailed(problem);
        return;
    }
    const auto progress = [this](qsizetype done, qsizetype total) {
        if (total > 0 && done < total)
            post(progressText(done, total));
    };
    const bool built = rebuild ? m_indexed->rebuild(&problem, progress, &m_stop)
                               : m_indexed->refresh(&problem, progress, &m_stop);
    if (m_stop)
        return;
    // The folders watched from now on, so that searches look only at what changed.
    if (!built || !m_indexed->update(&problem)) {
        indexFailed(problem);
        return;
    }
    m_ready = true;
    m_problemTold = false;
    post(QString());
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT ready(); }, Qt::QueuedConnection);
}

void IndexService::indexFailed(const QString &problem)
{
    m_ready = false;
    if (!m_problemTold) {
        m_problemTold = true;
        post(QStringLiteral("索引を使えないため、検索はすべてのノートを読んで行います（") +
             problem + QStringLiteral("）"));
    }
}

void IndexService::noteChanged(const NoteChange &change)
{
    if (!m_ready)
        return; // the build, or the next search's walk, finds it
    // Queued, never waited for: the save is done whatever the index makes of it.
    QStringList paths;
    switch (change.kind) {
    case NoteChange::Kind::saved:
    case NoteChange::Kind::created:
    case NoteChange::Kind::conflictCopy:
    case NoteChange::Kind::deleted:
        paths << change.path;
        break;
    case NoteChange::Kind::moved:
        paths << change.oldPath << change.path;
        break;
    default:
        return; // folders: the next search's walk brings them in
    }
    m_worker->submit([this, paths] {
        if (!m_ready || !m_indexed)
            return;
        QString problem;
        for (const QString &path : paths) {
            if (!m_indexed->updateNote(path, &problem)) {
                indexFailed(problem);
                return;
            }
        }
    });
}

void IndexService::search(const QString &keyword, QObject *context, Done done)
{
    const QPointer<QObject> receiver(context);
    // Posted to the application, which outlives every receiver; whether the receiver is still
    // there is asked on the main thread.
    const auto deliver = [receiver, done](QList<SearchHit> hits, bool complete) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [receiver, done, hits = std::move(hits), complete]() mutable {
                if (receiver)
                    done(std::move(hits), complete);
            },
            Qt::QueuedConnection);
    };
    const QString base = PathManager::baseFolderPath();
    if (!m_ready) {
        // The worker is building, or the index failed: the scan answers, beside it. A failed
        // index (locked, damaged and deleted, a full disk) is tried again meanwhile.
        QThreadPool::globalInstance()->start(
            [deliver, base, keyword] { deliver(GlobalSearch::runSearch(base, keyword), true); });
        if (m_started && !m_building.exchange(true))
            m_worker->submit([this] { build(false); });
        return;
    }
    m_worker->submit([this, deliver, base, keyword] {
        if (m_stop)
            return; // the window is closing
        QString problem;
        std::optional<QList<qsizetype>> candidates;
        if (m_ready && m_indexed &&
            m_indexed->baseFolder() == PathManager::standardizedPath(base)) {
            if (m_indexed->update(&problem))
                candidates = m_indexed->candidates(keyword, &problem);
            if (!candidates)
                indexFailed(problem);
        }
        if (!candidates) {
            deliver(GlobalSearch::runSearch(base, keyword), true);
            return;
        }
        // A keyword in thousands of notes: the newest rows at once, the totals after.
        if (candidates->size() > firstRowsFrom)
            deliver(m_indexed->firstHits(*candidates, keyword, firstRows), false);
        // Most notes to read after a walk anyway: the scan reads them fastest.
        if (m_indexed->updateWalked() && candidates->size() * 2 > m_indexed->listedCount())
            deliver(GlobalSearch::runSearch(base, keyword), true);
        else
            deliver(m_indexed->hits(*candidates, keyword), true);
    });
}

void IndexService::waitUntilIdle()
{
    m_worker->waitUntilIdle();
}
