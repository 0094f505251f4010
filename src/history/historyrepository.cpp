#include "history/historyrepository.h"

#include "history/gitapi.h"
#include "platform/diagnostics.h"
#include "platform/filenames.h"
#include "storage/notedocument.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QTimeZone>

#include <git2/sys/odb_backend.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace HistoryEvents {

namespace {

struct EventName
{
    HistoryEvent event;
    QLatin1String code;
    const char16_t *label;
};

const EventName eventNames[] = {
    {HistoryEvent::original, QLatin1String("original"), u"編集前"},
    {HistoryEvent::save, QLatin1String("save"), u"保存"},
    {HistoryEvent::outside, QLatin1String("outside"), u"他のアプリケーションの変更"},
    {HistoryEvent::rename, QLatin1String("rename"), u"名前の変更"},
    {HistoryEvent::deleted, QLatin1String("delete"), u"削除の前"},
    {HistoryEvent::restore, QLatin1String("restore"), u"復元"},
    {HistoryEvent::append, QLatin1String("append"), u"追記の前"},
};

} // namespace

QString code(HistoryEvent event)
{
    for (const EventName &name : eventNames) {
        if (name.event == event)
            return name.code;
    }
    return QStringLiteral("save");
}

std::optional<HistoryEvent> fromCode(QStringView code)
{
    for (const EventName &name : eventNames) {
        if (code == name.code)
            return name.event;
    }
    return std::nullopt;
}

QString label(HistoryEvent event)
{
    for (const EventName &name : eventNames) {
        if (name.event == event)
            return QString::fromUtf16(name.label);
    }
    return {};
}

} // namespace HistoryEvents

namespace {

const QByteArray chainPrefix = "refs/quillmere/notes/";
const QByteArray pathPrefix = "refs/quillmere/paths/";
/// How long a call waits for another process to let go of the repository.
std::atomic<std::chrono::milliseconds> lockPatience{std::chrono::milliseconds(3000)};

const GitApi &git()
{
    return HistoryGit::api();
}

QString gitError(const QString &what)
{
    return what + QStringLiteral(": ") + QString::fromUtf8(HistoryGit::lastError("?"));
}

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

/// Whether the last libgit2 failure says the repository's content is broken, rather than that
/// the disk is full, read-only or busy.
bool lastErrorIsDamage(int code)
{
    if (code == GIT_ELOCKED || code == GIT_EMODIFIED)
        return false;
    const git_error *error = git().git_error_last();
    if (!error)
        return false;
    switch (error->klass) {
    case GIT_ERROR_OS:
    case GIT_ERROR_NOMEMORY:
    case GIT_ERROR_FILESYSTEM:
        return false;
    default:
        return true;
    }
}

template <typename Object, void (*Free)(Object *)> struct Owned
{
    Object *object = nullptr;
    Owned() = default;
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    ~Owned()
    {
        if (object)
            Free(object);
    }
    Object **out() { return &object; }
    Object *get() const { return object; }
};

void freeCommit(git_commit *c)
{
    git().git_commit_free(c);
}
void freeTree(git_tree *t)
{
    git().git_tree_free(t);
}
void freeBlob(git_blob *b)
{
    git().git_blob_free(b);
}
void freeReference(git_reference *r)
{
    git().git_reference_free(r);
}
void freeSignature(git_signature *s)
{
    git().git_signature_free(s);
}
void freeTreeBuilder(git_treebuilder *b)
{
    git().git_treebuilder_free(b);
}
void freeOdb(git_odb *o)
{
    git().git_odb_free(o);
}
void freeOdbObject(git_odb_object *o)
{
    git().git_odb_object_free(o);
}
void freePackBuilder(git_packbuilder *p)
{
    git().git_packbuilder_free(p);
}

using Commit = Owned<git_commit, freeCommit>;
using Tree = Owned<git_tree, freeTree>;
using Blob = Owned<git_blob, freeBlob>;
using Reference = Owned<git_reference, freeReference>;
using Signature = Owned<git_signature, freeSignature>;
using TreeBuilder = Owned<git_treebuilder, freeTreeBuilder>;
using Odb = Owned<git_odb, freeOdb>;
using OdbObject = Owned<git_odb_object, freeOdbObject>;
using PackBuilder = Owned<git_packbuilder, freePackBuilder>;

QString hexOf(const git_oid &oid)
{
    return QString::fromLatin1(git().git_oid_tostr_s(&oid));
}

QByteArray hashOf(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

QByteArray pathRefName(const QString &path)
{
    return pathPrefix + hashOf(path.toUtf8());
}

/// A path written on one line of a message: "%" and line breaks escaped.
QString escaped(QString path)
{
    return path.replace(u'%', QStringLiteral("%25"))
        .replace(u'\n', QStringLiteral("%0A"))
        .replace(u'\r', QStringLiteral("%0D"));
}

QString unescaped(QString path)
{
    return path.replace(QStringLiteral("%0A"), QStringLiteral("\n"))
        .replace(QStringLiteral("%0D"), QStringLiteral("\r"))
        .replace(QStringLiteral("%25"), QStringLiteral("%"));
}

QString messageFor(const HistoryVersion &version)
{
    const QString code = HistoryEvents::code(version.event);
    const QString path = escaped(version.path);
    return code + u' ' + path + QStringLiteral("\n\nevent: ") + code + QStringLiteral("\npath: ") +
           path + QStringLiteral("\nsize: ") + QString::number(version.size) +
           QStringLiteral("\nadded: ") + QString::number(version.added) +
           QStringLiteral("\nremoved: ") + QString::number(version.removed) + u'\n';
}

HistoryVersion versionOf(const git_commit *commit, const git_oid &id)
{
    HistoryVersion version;
    version.id = hexOf(id);
    version.time = QDateTime::fromSecsSinceEpoch(git().git_commit_time(commit), QTimeZone::utc());
    const QString message = QString::fromUtf8(git().git_commit_message(commit));
    for (const QStringView line : QStringView(message).split(u'\n')) {
        const qsizetype colon = line.indexOf(QStringLiteral(": "));
        if (colon < 0)
            continue;
        const QStringView key = line.first(colon);
        const QStringView value = line.sliced(colon + 2);
        if (key == u"event")
            version.event = HistoryEvents::fromCode(value).value_or(HistoryEvent::save);
        else if (key == u"path")
            version.path = unescaped(value.toString());
        else if (key == u"size")
            version.size = value.toLongLong();
        else if (key == u"added")
            version.added = value.toLongLong();
        else if (key == u"removed")
            version.removed = value.toLongLong();
    }
    return version;
}

/// Characters added and removed between two texts, counted outside their common beginning and
/// end: cheap, and what a user means by "how much changed" for one edit.
std::pair<qint64, qint64> changeBetween(const QByteArray &before, const QByteArray &after)
{
    const QString a = QString::fromUtf8(before);
    const QString b = QString::fromUtf8(after);
    const qsizetype shorter = std::min(a.size(), b.size());
    qsizetype head = 0;
    while (head < shorter && a[head] == b[head])
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    return {b.size() - head - tail, a.size() - head - tail};
}

/// The one file of a version's tree, read.
std::optional<QByteArray> blobOf(git_repository *repository, const git_commit *commit)
{
    Tree tree;
    if (git().git_tree_lookup(tree.out(), repository, git().git_commit_tree_id(commit)) != 0)
        return std::nullopt;
    if (git().git_tree_entrycount(tree.get()) < 1)
        return QByteArray();
    Blob blob;
    if (git().git_blob_lookup(
            blob.out(), repository,
            git().git_tree_entry_id(git().git_tree_entry_byindex(tree.get(), 0))) != 0)
        return std::nullopt;
    return QByteArray(static_cast<const char *>(git().git_blob_rawcontent(blob.get())),
                      qsizetype(git().git_blob_rawsize(blob.get())));
}

struct ChainCommit
{
    git_oid id;
    git_oid tree;
    git_time_t time;
    int offset;
    QByteArray message;
    HistoryVersion version;
};

/// The commits of a chain from `tip`, newest first.
std::optional<QList<ChainCommit>> walkChain(git_repository *repository, git_oid tip,
                                            bool withMessages)
{
    QList<ChainCommit> chain;
    for (;;) {
        Commit commit;
        if (git().git_commit_lookup(commit.out(), repository, &tip) != 0)
            return std::nullopt;
        ChainCommit entry{tip,
                          *git().git_commit_tree_id(commit.get()),
                          git().git_commit_time(commit.get()),
                          git().git_commit_time_offset(commit.get()),
                          {},
                          {}};
        if (withMessages)
            entry.message = git().git_commit_message(commit.get());
        entry.version = versionOf(commit.get(), tip);
        chain.append(entry);
        if (git().git_commit_parentcount(commit.get()) == 0)
            return chain;
        tip = *git().git_commit_parent_id(commit.get(), 0);
    }
}

QString firstLineOf(const QByteArray &bytes)
{
    const QString body = parseNoteDocument(QString::fromUtf8(bytes)).body;
    for (const QStringView line : QStringView(body).split(u'\n')) {
        const QString trimmed = line.trimmed().toString();
        if (!trimmed.isEmpty())
            return trimmed.left(120);
    }
    return {};
}

bool occupied(const QString &path)
{
    struct stat status;
    return ::lstat(FileNames::encode(path).constData(), &status) == 0;
}

} // namespace

/// flock on "<repository>.lock" beside the repository, which outlives a repository set aside.
struct HistoryRepository::Lock
{
    int fd = -1;
    bool held = false;
    QString error;

    Lock(const QString &repositoryPath, bool exclusive)
    {
        QDir().mkpath(QFileInfo(repositoryPath).absolutePath());
        fd =
            ::open(FileNames::encode(QString(repositoryPath + QStringLiteral(".lock"))).constData(),
                   O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = qt_error_string(errno);
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + lockPatience.load();
        for (;;) {
            if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) {
                held = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) {
                error = qt_error_string(errno);
                return;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                error = QStringLiteral("他のプログラムが履歴を使っています");
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~Lock()
    {
        if (fd >= 0)
            ::close(fd); // lets go of the lock
    }
};

void HistoryRepository::setLockPatience(std::chrono::milliseconds patience)
{
    lockPatience = patience;
}

HistoryRepository::HistoryRepository(QString repositoryPath) : m_path(std::move(repositoryPath)) {}

HistoryRepository::~HistoryRepository()
{
    close();
}

QString HistoryRepository::folder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Quillmere/history");
}

QString HistoryRepository::repositoryPathFor(const QString &baseFolder)
{
    const QByteArray hash =
        QCryptographicHash::hash(QDir::cleanPath(baseFolder).toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(24);
    return folder() + u'/' + QString::fromLatin1(hash) + QStringLiteral(".git");
}

void HistoryRepository::close()
{
    if (m_repository)
        git().git_repository_free(m_repository);
    m_repository = nullptr;
}

bool HistoryRepository::open(QString *error)
{
    if (m_repository)
        return true;
    if (!git().loaded)
        return fail(error, QStringLiteral("履歴用のライブラリ (libgit2) を使えません"));
    const QByteArray path = FileNames::encode(m_path);
    if (occupied(m_path)) {
        if (git().git_repository_open_bare(&m_repository, path.constData()) == 0)
            return true;
        m_repository = nullptr;
        if (!lastErrorIsDamage(-1))
            return fail(error, gitError(QStringLiteral("履歴を開けません")));
        if (!setAside(error))
            return false;
    }
    if (!QDir().mkpath(folder()))
        return fail(error, QStringLiteral("履歴のフォルダを作れません: ") + folder());
    if (git().git_repository_init(&m_repository, path.constData(), 1) != 0) {
        m_repository = nullptr;
        const QString message = gitError(QStringLiteral("履歴を作れません"));
        // Half made (a full disk): it holds nothing yet, and left there it would pass for a
        // damaged history next time.
        QDir(m_path).removeRecursively();
        return fail(error, message);
    }
    return true;
}

bool HistoryRepository::setAside(QString *error)
{
    close();
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = m_path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; occupied(target); ++n)
        target = m_path + QStringLiteral(".damaged-") + stamp + u'-' + QString::number(n);
    if (::rename(FileNames::encode(m_path).constData(), FileNames::encode(target).constData()) != 0)
        return fail(error, QStringLiteral("壊れた履歴を退避できません: ") + qt_error_string(errno));
    m_setAside = target;
    Diagnostics::log(QStringLiteral("壊れた履歴を退避して、新しい履歴を始めました: ") + target);
    return true;
}

/// The chain the note at `path` continues: the name of its ref, empty with `missing` set when
/// the path has none.
QString HistoryRepository::chainRefOf(const QString &path, QString *error, bool *missing)
{
    *missing = false;
    Reference ref;
    const int found =
        git().git_reference_lookup(ref.out(), m_repository, pathRefName(path).constData());
    if (found == GIT_ENOTFOUND) {
        *missing = true;
        return {};
    }
    const git_oid *target = found == 0 ? git().git_reference_target(ref.get()) : nullptr;
    Blob name;
    if (!target || git().git_blob_lookup(name.out(), m_repository, target) != 0) {
        fail(error, gitError(QStringLiteral("履歴を読めません")));
        return {};
    }
    const QByteArray chain(static_cast<const char *>(git().git_blob_rawcontent(name.get())),
                           qsizetype(git().git_blob_rawsize(name.get())));
    if (!chain.startsWith(chainPrefix)) {
        fail(error, QStringLiteral("履歴を読めません: ") + QString::fromUtf8(pathRefName(path)));
        return {};
    }
    return QString::fromUtf8(chain);
}

bool HistoryRepository::link(const QString &path, const QString &chain, QString *error)
{
    // A path's ref points at a small blob that names its chain: a plain ref, which packs with
    // the others (a symbolic ref would stay a file of its own for ever).
    const QByteArray name = chain.toUtf8();
    git_oid blob;
    Reference ref;
    if (git().git_blob_create_from_buffer(&blob, m_repository, name.constData(),
                                          size_t(name.size())) != 0 ||
        git().git_reference_create_matching(ref.out(), m_repository, pathRefName(path).constData(),
                                            &blob, 1, nullptr, nullptr) != 0)
        return fail(error, gitError(QStringLiteral("履歴に書き込めません")));
    return true;
}

bool HistoryRepository::record(const QString &path, HistoryEvent event, const QByteArray &bytes,
                               const QDateTime &time, QString *error, bool *recorded)
{
    if (recorded)
        *recorded = false;
    const Lock lock(m_path, true);
    if (!lock.held)
        return fail(error, QStringLiteral("履歴をロックできません: ") + lock.error);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!open(error))
            return false;
        int code = 0;
        const auto damaged = [&](const QString &what) {
            if (attempt == 0 && lastErrorIsDamage(code) && setAside(error))
                return true; // and again, in a new repository
            fail(error, gitError(what));
            return false;
        };

        bool missing = false;
        QString chain = chainRefOf(path, error, &missing);
        if (!missing && chain.isEmpty()) {
            code = -1;
            if (damaged(QStringLiteral("履歴を読めません")))
                continue;
            return false;
        }
        std::optional<git_oid> parent;
        QByteArray previous;
        git_oid parentTree{};
        QString parentPath;
        HistoryEvent parentEvent = HistoryEvent::save;
        if (!missing) {
            Reference tip;
            code = git().git_reference_lookup(tip.out(), m_repository, chain.toUtf8().constData());
            if (code == 0 && git().git_reference_target(tip.get())) {
                parent = *git().git_reference_target(tip.get());
                Commit commit;
                code = git().git_commit_lookup(commit.out(), m_repository, &*parent);
                std::optional<QByteArray> text;
                if (code == 0)
                    text = blobOf(m_repository, commit.get());
                if (code != 0 || !text) {
                    if (code == 0)
                        code = -1;
                    if (damaged(QStringLiteral("履歴を読めません")))
                        continue;
                    return false;
                }
                previous = *text;
                parentTree = *git().git_commit_tree_id(commit.get());
                const HistoryVersion parentVersion = versionOf(commit.get(), *parent);
                parentPath = parentVersion.path;
                parentEvent = parentVersion.event;
            } else if (code != GIT_ENOTFOUND) {
                if (damaged(QStringLiteral("履歴を読めません")))
                    continue;
                return false;
            }
            // A chain that has moved on to another path belongs to that note now: the note
            // that appears at its old place starts one of its own.
            if (parent && parentPath != path && event != HistoryEvent::rename) {
                parent.reset();
                previous.clear();
                chain.clear();
            }
        }

        git_oid blob;
        if ((code = git().git_blob_create_from_buffer(&blob, m_repository, bytes.constData(),
                                                      size_t(bytes.size()))) != 0) {
            // A write that fails says the disk is full or read-only, not that the history is
            // damaged: nothing is set aside for it.
            return fail(error, gitError(QStringLiteral("履歴に書き込めません")));
        }
        TreeBuilder builder;
        git_oid tree;
        const QString fileName = path.section(u'/', -1);
        if ((code = git().git_treebuilder_new(builder.out(), m_repository, nullptr)) != 0 ||
            (code = git().git_treebuilder_insert(nullptr, builder.get(),
                                                 FileNames::encode(fileName).constData(), &blob,
                                                 GIT_FILEMODE_BLOB)) != 0 ||
            (code = git().git_treebuilder_write(&tree, builder.get())) != 0)
            return fail(error, gitError(QStringLiteral("履歴に書き込めません")));
        // The same text at the same place: nothing new to keep; but a deletion is marked once,
        // so that the note's history says when it went.
        if (parent && git().git_oid_cmp(&tree, &parentTree) == 0 && parentPath == path &&
            (event != HistoryEvent::deleted || parentEvent == HistoryEvent::deleted))
            return true;

        HistoryVersion version;
        version.event = event;
        version.path = path;
        version.size = bytes.size();
        std::tie(version.added, version.removed) = changeBetween(previous, bytes);
        Signature signature;
        if (git().git_signature_new(signature.out(), "Quillmere", "quillmere@localhost",
                                    time.toSecsSinceEpoch(), time.offsetFromUtc() / 60) != 0)
            return fail(error, gitError(QStringLiteral("履歴に書き込めません")));
        Tree treeObject;
        if (git().git_tree_lookup(treeObject.out(), m_repository, &tree) != 0)
            return fail(error, gitError(QStringLiteral("履歴に書き込めません")));
        Commit parentCommit;
        if (parent && git().git_commit_lookup(parentCommit.out(), m_repository, &*parent) != 0)
            return fail(error, gitError(QStringLiteral("履歴を読めません")));
        const git_commit *parents[] = {parentCommit.get()};
        git_oid commit;
        const QByteArray message = messageFor(version).toUtf8();
        if (git().git_commit_create(&commit, m_repository, nullptr, signature.get(),
                                    signature.get(), nullptr, message.constData(), treeObject.get(),
                                    parent ? 1 : 0, parents) != 0)
            return fail(error, gitError(QStringLiteral("履歴に書き込めません")));

        Reference updated;
        if (chain.isEmpty()) {
            const QByteArray seed = path.toUtf8() + QByteArray::number(time.toMSecsSinceEpoch()) +
                                    QByteArray::number(QRandomGenerator::system()->generate64());
            chain = QString::fromLatin1(chainPrefix + hashOf(seed));
            if (git().git_reference_create_matching(updated.out(), m_repository,
                                                    chain.toUtf8().constData(), &commit, 0, nullptr,
                                                    nullptr) != 0)
                return fail(error, gitError(QStringLiteral("履歴に書き込めません")));
            if (!link(path, chain, error))
                return false;
        } else if (git().git_reference_create_matching(updated.out(), m_repository,
                                                       chain.toUtf8().constData(), &commit, 1,
                                                       parent ? &*parent : nullptr, nullptr) != 0) {
            return fail(error, gitError(QStringLiteral("履歴に書き込めません")));
        }
        if (recorded)
            *recorded = true;
        return true;
    }
    return fail(error, QStringLiteral("履歴に書き込めません"));
}

bool HistoryRepository::follow(const QString &from, const QString &to, QString *error,
                               bool *followed)
{
    if (followed)
        *followed = false;
    const Lock lock(m_path, true);
    if (!lock.held)
        return fail(error, QStringLiteral("履歴をロックできません: ") + lock.error);
    if (!open(error))
        return false;
    bool missing = false;
    const QString chain = chainRefOf(from, error, &missing);
    if (missing)
        return true;
    if (chain.isEmpty())
        return false;
    if (!link(to, chain, error))
        return false;
    if (followed)
        *followed = true;
    return true;
}

std::optional<QList<HistoryVersion>> HistoryRepository::versions(const QString &path,
                                                                 QString *error)
{
    const Lock lock(m_path, false);
    if (!lock.held) {
        fail(error, QStringLiteral("履歴をロックできません: ") + lock.error);
        return std::nullopt;
    }
    if (!open(error))
        return std::nullopt;
    bool missing = false;
    const QString chain = chainRefOf(path, error, &missing);
    if (missing)
        return QList<HistoryVersion>();
    if (chain.isEmpty())
        return std::nullopt;
    Reference tip;
    const int found =
        git().git_reference_lookup(tip.out(), m_repository, chain.toUtf8().constData());
    if (found == GIT_ENOTFOUND)
        return QList<HistoryVersion>();
    if (found != 0 || !git().git_reference_target(tip.get())) {
        fail(error, gitError(QStringLiteral("履歴を読めません")));
        return std::nullopt;
    }
    const std::optional<QList<ChainCommit>> commits =
        walkChain(m_repository, *git().git_reference_target(tip.get()), false);
    if (!commits) {
        fail(error, gitError(QStringLiteral("履歴を読めません")));
        return std::nullopt;
    }
    QList<HistoryVersion> result;
    result.reserve(commits->size());
    for (const ChainCommit &commit : *commits)
        result.append(commit.version);
    return result;
}

std::optional<QByteArray> HistoryRepository::text(const QString &path, const QString &id,
                                                  QString *error, HistoryVersion *version)
{
    if (id.size() < 4) {
        fail(error, QStringLiteral("版の ID が短すぎます: ") + id);
        return std::nullopt;
    }
    const std::optional<QList<HistoryVersion>> all = versions(path, error);
    if (!all)
        return std::nullopt;
    const HistoryVersion *match = nullptr;
    for (const HistoryVersion &candidate : *all) {
        if (!candidate.id.startsWith(id.toLower()))
            continue;
        if (match) {
            fail(error, QStringLiteral("ID が複数の版に当てはまります: ") + id);
            return std::nullopt;
        }
        match = &candidate;
    }
    if (!match) {
        fail(error, QStringLiteral("その版はありません: ") + id);
        return std::nullopt;
    }
    const Lock lock(m_path, false);
    git_oid oid;
    Commit commit;
    if (!lock.held || !open(error) ||
        git().git_oid_fromstr(&oid, match->id.toLatin1().constData()) != 0 ||
        git().git_commit_lookup(commit.out(), m_repository, &oid) != 0) {
        fail(error, gitError(QStringLiteral("履歴を読めません")));
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = blobOf(m_repository, commit.get());
    if (!bytes)
        fail(error, gitError(QStringLiteral("履歴を読めません")));
    else if (version)
        *version = *match;
    return bytes;
}

namespace {

int collectName(const char *name, void *payload)
{
    static_cast<QList<QByteArray> *>(payload)->append(QByteArray(name));
    return 0;
}

/// The refs whose names start with `prefix` and the objects they point at.
std::optional<QList<std::pair<QByteArray, git_oid>>> refsUnder(git_repository *repository,
                                                               const QByteArray &prefix)
{
    QList<QByteArray> all;
    if (git().git_reference_foreach_name(repository, &collectName, &all) != 0)
        return std::nullopt;
    QList<QByteArray> names;
    for (const QByteArray &name : all) {
        if (name.startsWith(prefix))
            names.append(name);
    }
    QList<std::pair<QByteArray, git_oid>> tips;
    for (const QByteArray &name : names) {
        Reference ref;
        if (git().git_reference_lookup(ref.out(), repository, name.constData()) != 0 ||
            !git().git_reference_target(ref.get()))
            return std::nullopt;
        tips.append({name, *git().git_reference_target(ref.get())});
    }
    return tips;
}

/// The chains' refs and the commits they point at.
std::optional<QList<std::pair<QByteArray, git_oid>>> chainTips(git_repository *repository)
{
    return refsUnder(repository, chainPrefix);
}

} // namespace

std::optional<QList<DeletedNote>> HistoryRepository::deletedNotes(const QString &baseFolder,
                                                                  QString *error)
{
    const Lock lock(m_path, false);
    if (!lock.held) {
        fail(error, QStringLiteral("履歴をロックできません: ") + lock.error);
        return std::nullopt;
    }
    if (!open(error))
        return std::nullopt;
    const auto tips = chainTips(m_repository);
    if (!tips) {
        fail(error, gitError(QStringLiteral("履歴を読めません")));
        return std::nullopt;
    }
    QList<DeletedNote> deleted;
    for (const auto &[name, id] : *tips) {
        Commit commit;
        if (git().git_commit_lookup(commit.out(), m_repository, &id) != 0) {
            fail(error, gitError(QStringLiteral("履歴を読めません")));
            return std::nullopt;
        }
        const HistoryVersion version = versionOf(commit.get(), id);
        if (version.path.isEmpty() || occupied(baseFolder + u'/' + version.path))
            continue;
        const std::optional<QByteArray> bytes = blobOf(m_repository, commit.get());
        deleted.append(
            {version.path, version.time, bytes ? firstLineOf(*bytes) : QString(), version.id});
    }
    std::stable_sort(deleted.begin(), deleted.end(),
                     [](const DeletedNote &a, const DeletedNote &b) { return a.time > b.time; });
    return deleted;
}

namespace {

/// Which versions of a chain (newest first) thinning keeps.
QList<bool> keptVersions(const QList<ChainCommit> &chain, const QDateTime &now,
                         const QTimeZone &zone)
{
    QList<bool> kept(chain.size(), false);
    QSet<QString> periods;
    const qint64 nowSecs = now.toSecsSinceEpoch();
    for (qsizetype i = 0; i < chain.size(); ++i) {
        const qint64 age = nowSecs - chain[i].time;
        const QDate day = QDateTime::fromSecsSinceEpoch(chain[i].time, zone).date();
        QString period;
        if (i == 0 || age < 24 * 3600) {
            kept[i] = true;
            continue;
        }
        if (age < 7 * 24 * 3600)
            period = QStringLiteral("h") + QString::number(chain[i].time / 3600);
        else if (age < 90 * 24 * 3600)
            period = QStringLiteral("d") + day.toString(Qt::ISODate);
        else
            period = QStringLiteral("m") + QString::number(day.year() * 12 + day.month());
        // The newest version of each period: the chain runs from new to old.
        if (!periods.contains(period)) {
            periods.insert(period);
            kept[i] = true;
        }
    }
    return kept;
}

} // namespace

bool HistoryRepository::thin(const QDateTime &now, const QTimeZone &zone, QString *error)
{
    const Lock lock(m_path, true);
    if (!lock.held)
        return fail(error, QStringLiteral("履歴をロックできません: ") + lock.error);
    if (!open(error))
        return false;
    const auto tips = chainTips(m_repository);
    if (!tips)
        return fail(error, gitError(QStringLiteral("履歴を読めません")));
    for (const auto &[name, tip] : *tips) {
        const std::optional<QList<ChainCommit>> chain = walkChain(m_repository, tip, true);
        if (!chain)
            return fail(error, gitError(QStringLiteral("履歴を読めません")));
        const QList<bool> kept = keptVersions(*chain, now, zone);
        if (!kept.contains(false))
            continue;
        // Oldest first: the versions kept at the start of the chain stay as they are, those
        // after the first left out get a new parent.
        std::optional<git_oid> parent;
        bool rewriting = false;
        for (qsizetype i = chain->size() - 1; i >= 0; --i) {
            if (!kept[i]) {
                rewriting = true;
                continue;
            }
            const ChainCommit &entry = (*chain)[i];
            if (!rewriting) {
                parent = entry.id;
                continue;
            }
            Signature signature;
            Tree tree;
            Commit parentCommit;
            if (git().git_signature_new(signature.out(), "Quillmere", "quillmere@localhost",
                                        entry.time, entry.offset) != 0 ||
                git().git_tree_lookup(tree.out(), m_repository, &entry.tree) != 0 ||
                (parent &&
                 git().git_commit_lookup(parentCommit.out(), m_repository, &*parent) != 0))
                return fail(error, gitError(QStringLiteral("履歴を整理できません")));
            const git_commit *parents[] = {parentCommit.get()};
            git_oid rewritten;
            if (git().git_commit_create(&rewritten, m_repository, nullptr, signature.get(),
                                        signature.get(), nullptr, entry.message.constData(),
                                        tree.get(), parent ? 1 : 0, parents) != 0)
                return fail(error, gitError(QStringLiteral("履歴を整理できません")));
            parent = rewritten;
        }
        Reference updated;
        if (parent &&
            git().git_reference_create_matching(updated.out(), m_repository, name.constData(),
                                                &*parent, 1, &tip, nullptr) != 0)
            return fail(error, gitError(QStringLiteral("履歴を整理できません")));
    }
    return true;
}

bool HistoryRepository::pack(QString *error)
{
    const Lock lock(m_path, true);
    if (!lock.held)
        return fail(error, QStringLiteral("履歴をロックできません: ") + lock.error);
    if (!open(error))
        return false;
    const auto tips = chainTips(m_repository);
    if (!tips)
        return fail(error, gitError(QStringLiteral("履歴を読めません")));
    PackBuilder builder;
    if (git().git_packbuilder_new(builder.out(), m_repository) != 0)
        return fail(error, gitError(QStringLiteral("履歴をまとめられません")));
    git().git_packbuilder_set_threads(builder.get(), 1);
    // Every object still referred to, to check against the pack once it is written.
    QList<git_oid> objects;
    QSet<QByteArray> seen;
    const auto add = [&](const git_oid &id) {
        const QByteArray key(reinterpret_cast<const char *>(id.id), GIT_OID_RAWSZ);
        if (seen.contains(key))
            return false;
        seen.insert(key);
        objects.append(id);
        return true;
    };
    for (const auto &[name, tip] : *tips) {
        git_oid id = tip;
        for (;;) {
            if (!add(id))
                break; // the rest of the chain is in already
            Commit commit;
            if (git().git_commit_lookup(commit.out(), m_repository, &id) != 0)
                return fail(error, gitError(QStringLiteral("履歴を読めません")));
            const git_oid treeId = *git().git_commit_tree_id(commit.get());
            if (add(treeId)) {
                Tree tree;
                if (git().git_tree_lookup(tree.out(), m_repository, &treeId) != 0)
                    return fail(error, gitError(QStringLiteral("履歴を読めません")));
                for (size_t i = 0; i < git().git_tree_entrycount(tree.get()); ++i)
                    add(*git().git_tree_entry_id(git().git_tree_entry_byindex(tree.get(), i)));
            }
            if (git().git_packbuilder_insert_commit(builder.get(), &id) != 0)
                return fail(error, gitError(QStringLiteral("履歴をまとめられません")));
            if (git().git_commit_parentcount(commit.get()) == 0)
                break;
            id = *git().git_commit_parent_id(commit.get(), 0);
        }
    }
    // The blobs that name each path's chain.
    const auto paths = refsUnder(m_repository, pathPrefix);
    if (!paths)
        return fail(error, gitError(QStringLiteral("履歴を読めません")));
    for (const auto &[name, blob] : *paths) {
        if (add(blob) && git().git_packbuilder_insert(builder.get(), &blob, nullptr) != 0)
            return fail(error, gitError(QStringLiteral("履歴をまとめられません")));
    }
    if (objects.isEmpty())
        return true;
    if (git().git_packbuilder_write(builder.get(), nullptr, 0, nullptr, nullptr) != 0)
        return fail(error, gitError(QStringLiteral("履歴をまとめられません")));
    const QString packName =
        QStringLiteral("pack-") + QString::fromLatin1(git().git_packbuilder_name(builder.get()));
    const QString packFolder = m_path + QStringLiteral("/objects/pack/");

    // The new pack alone must hold every object, readable, before anything else goes.
    {
        Odb odb;
        git_odb_backend *backend = nullptr;
        if (git().git_odb_new(odb.out()) != 0 ||
            git().git_odb_backend_one_pack(
                &backend, FileNames::encode(QString(packFolder + packName + QStringLiteral(".idx")))
                              .constData()) != 0)
            return fail(error, gitError(QStringLiteral("まとめた履歴を確かめられません")));
        if (git().git_odb_add_backend(odb.get(), backend, 1) != 0) {
            backend->free(backend);
            return fail(error, gitError(QStringLiteral("まとめた履歴を確かめられません")));
        }
        for (const git_oid &id : objects) {
            OdbObject object;
            if (git().git_odb_read(object.out(), odb.get(), &id) != 0)
                return fail(error, gitError(QStringLiteral("まとめた履歴が正しくありません")));
        }
    }
    close();
    // Loose objects: every one still referred to is in the pack; the others were left out by
    // thinning. Older packs: the new one holds all they hold that is still referred to.
    const QDir objectsDir(m_path + QStringLiteral("/objects"));
    for (const QString &fan : objectsDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (fan.size() != 2)
            continue;
        QDir fanDir(objectsDir.filePath(fan));
        for (const QString &file : fanDir.entryList(QDir::Files))
            fanDir.remove(file);
        objectsDir.rmdir(fan);
    }
    QDir packs(packFolder);
    for (const QString &file : packs.entryList(QDir::Files)) {
        if (file.startsWith(QStringLiteral("pack-")) && !file.startsWith(packName))
            packs.remove(file);
    }
    // The refs too, into one packed-refs file instead of a file each.
    git_refdb *refdb = nullptr;
    if (!open(error) || git().git_repository_refdb(&refdb, m_repository) != 0)
        return fail(error, gitError(QStringLiteral("履歴をまとめられません")));
    const int compressed = git().git_refdb_compress(refdb);
    git().git_refdb_free(refdb);
    if (compressed != 0)
        return fail(error, gitError(QStringLiteral("履歴をまとめられません")));
    return true;
}
