#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <functional>
#include <optional>
#include <vector>

struct sqlite3;

/// The note index: a disposable SQLite cache beside the notes, never inside them, that narrows
/// down which notes a keyword may be in. It never decides a hit: the search reads every
/// candidate and matches it as the full scan does.
///
/// Per note it keeps the path below the base folder (the exact bytes of the name), a stamp of the
/// file it was read from, and the note's searched body (GlobalSearch::searchedBody), case-folded as
/// KeywordMatcher folds, in an FTS5 table with the trigram tokenizer. Note ids stay the same while
/// a note is updated, so tables of other kinds (links, tags) can hang off them.
///
/// The full-text table is contentless and so cannot forget a text: an updated note gets a new
/// text row and the old one is left unreferenced; when such rows outnumber the live ones the
/// index asks to be rebuilt (needsCompaction).
///
/// One object is one connection, for one thread at a time; any number of connections, in this
/// process or others, may use the same file (WAL, busy timeout).
class NoteIndex
{
public:
    /// Bumped whenever the tables or what goes into them change; an index of another version is
    /// rebuilt.
    static constexpr int schemaVersion = 2;

    struct Stamp
    {
        qint64 size = -1;
        qint64 modifiedNs = -1;
        qint64 changedNs = -1;
        qint64 inode = -1;

        bool operator==(const Stamp &) const = default;
    };

    struct Entry
    {
        qint64 id = 0;
        Stamp stamp;
        qint64 textId = 0;
    };

    /// Where the index of `baseFolder` lives:
    /// `$XDG_CACHE_HOME/Quillmere/index/<hash of the folder's path>.sqlite` (by default under
    /// ~/.cache). Empty when that would lie inside the base folder.
    static QString defaultPath(const QString &baseFolder);

    /// The text the index holds for a note's body: each UTF-16 unit case-folded the way
    /// KeywordMatcher folds it, and two line feeds after it, so that every character of the
    /// body, the last included, starts a trigram.
    static QString indexedText(QStringView body);

    NoteIndex();
    ~NoteIndex();
    NoteIndex(const NoteIndex &) = delete;
    NoteIndex &operator=(const NoteIndex &) = delete;

    /// Opens (creating when missing) the index at `path` for `baseFolder`, with its folder made
    /// private (0700). A file that is not this program's index of this folder in this version
    /// (garbage, truncated, another program's, another base folder's) is deleted and started
    /// afresh; `reset`, when given, tells whether that happened. False, with `problem` filled,
    /// when no index can be had.
    bool open(const QString &path, const QString &baseFolder, QString *problem,
              bool *reset = nullptr);
    bool isOpen() const { return m_db != nullptr; }
    void close();
    const QString &path() const { return m_path; }

    /// Drops every note and starts empty.
    bool clear(QString *problem);

    /// Whether every note of the folder has been indexed once (a build ran to its end).
    bool isComplete();
    bool setComplete(bool complete);

    /// Every indexed note by its path below the base folder, as the file system spells it.
    std::optional<QHash<QByteArray, Entry>> entries();

    /// entries() in one block, in the order the notes were first written (for a walk, mostly its
    /// own order): for a walk that looks every note up once.
    struct EntryTable
    {
        /// Every path, one after another.
        QByteArray paths;
        struct Row
        {
            qsizetype offset = 0;
            qsizetype length = 0;
            Entry entry;
        };
        std::vector<Row> rows;

        QByteArrayView path(const Row &row) const
        {
            return QByteArrayView(paths).sliced(row.offset, row.length);
        }
    };
    std::optional<EntryTable> entryTable();

    /// A write transaction; every change below happens inside one. False when the index is
    /// locked beyond the busy timeout or failing.
    bool begin();
    bool commit();
    void rollback();

    /// Adds or replaces the note at `path` with `body` (its searched text). Returns the note's
    /// id (kept when the note was indexed before), or nothing on failure; `textId` receives the
    /// id of its new text.
    /// `header` is the note's front matter, for the hook.
    std::optional<qint64> putNote(const QByteArray &path, const Stamp &stamp, QStringView body,
                                  qint64 *textId = nullptr, QStringView header = {});
    /// Moves the note at `from` to `to` keeping its id and text; false when it is not indexed.
    bool moveNote(const QByteArray &from, const QByteArray &to);
    bool removeNote(const QByteArray &path);

    /// Called inside putNote's transaction with the note's id, body and front matter, and inside
    /// removeNote's with the id of a note going away (both empty): where further tables follow
    /// the notes. By default the links and tags tables (LinkTables).
    using NoteHook =
        std::function<bool(sqlite3 *db, qint64 noteId, QStringView body, QStringView header)>;
    void setNoteHook(NoteHook hook) { m_hook = std::move(hook); }

    /// The ids of the texts (Entry::textId) that may hold `keyword`, a superset of the notes
    /// whose searched body KeywordMatcher finds it in. Nothing when the index cannot narrow the
    /// keyword down (no part of it the index can look up): every note is a candidate. `failed`
    /// tells a failure of the index apart.
    std::optional<QList<qint64>> textCandidates(const QString &keyword, bool *failed);

    /// About `count` paths of indexed notes, spread over them.
    QList<QByteArray> samplePaths(qsizetype count);

    /// Whether textCandidates() looks `keyword` up by the trigrams its pieces start (it has no
    /// piece of three characters or more).
    static bool looksUpByPrefix(const QString &keyword);

    /// Whether unreferenced texts have grown to more than the live ones.
    bool needsCompaction();

    struct Status
    {
        qint64 notes = 0;
        qint64 bytes = 0;
        bool complete = false;
    };
    std::optional<Status> status();

    /// The last error's text.
    const QString &lastError() const { return m_error; }
    /// Whether the last error was the file's damage (not a lock, not a full disk).
    bool lastErrorWasDamage() const { return m_damaged; }
    /// Deletes the index's files; the index must be closed.
    static void remove(const QString &path);
    sqlite3 *handle() const { return m_db; }

private:
    bool exec(const char *sql);
    /// Creates the tables with the version and base, in one transaction.
    bool createSchema(const QString &baseFolder);
    bool checkSchema(const QString &baseFolder);
    bool fail(const QString &what);
    std::optional<qint64> scalar(const char *sql);

    sqlite3 *m_db = nullptr;
    QString m_path;
    QString m_error;
    bool m_damaged = false;
    NoteHook m_hook;
};
